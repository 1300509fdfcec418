#include "seq/seq_to_midi.h"

#include <gtest/gtest.h>

#include <optional>

#include "core/failure.h"
#include "core/file_io.h"
#include "seq_test_files.h"
#include "support/temp_dir.h"

namespace {

using seq_testing::Bytes;
using seq_testing::Cat;
using seq_testing::ScopedWorkingDirectory;
using testing_support::ReadBytes;
using testing_support::TempDir;
using testing_support::WriteBytes;

using Names = std::vector<std::string>;

const Bytes SEQ_HEADER{
    'p',  'Q',  'E',  'S',   // magic
    0x00, 0x00, 0x00, 0x01,  // version 1
    0x01, 0xE0,              // resolution 480
    0x07, 0xA1, 0x20,        // tempo 500000
    0x04, 0x02,              // 4/4
};
const Bytes SHORT_TRACK{
    0x00, 0x90, 0x3C, 0x64,  // note on C4
    0x60, 0x80, 0x3C, 0x00,  // note off after 96 ticks
    0x00, 0xFF, 0x2F, 0x00,  // end of track
};

TEST(SeqToMidiTest, HeaderFieldsGoIntoTheMidiHeaderAndTheThreeInsertedEvents) {
  TempDir dir;
  WriteBytes(dir / "song.seq", Cat({SEQ_HEADER, SHORT_TRACK}));
  EXPECT_EQ(seq::ConvertSeqToMidi(dir / "song.seq"), 1);
  const Bytes expected{
      'M',  'T',  'h',  'd',  0x00, 0x00, 0x00, 0x06,  // header chunk, length 6
      0x00, 0x00,                                      // format 0
      0x00, 0x01,                                      // one track
      0x01, 0xE0,                                      // division = SEQ resolution
      'M',  'T',  'r',  'k',  0x00, 0x00, 0x00, 0x23,  // track chunk, 12 + 23 bytes
      0x00, 0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20,        // set tempo 500000
      0x00, 0xFF, 0x58, 0x04, 0x04, 0x02, 0x18, 0x08,  // time signature 4/4, 24 clocks, 8 32nds
      0x00, 0xF0, 0x05, 0x7E, 0x7F, 0x09, 0x01, 0xF7,  // GM System On
      0x00, 0x90, 0x3C, 0x64, 0x60, 0x80, 0x3C, 0x00,  // the SEQ's events
      0x00, 0xFF, 0x2F, 0x00,                          // its end of track
  };
  EXPECT_EQ(ReadBytes(dir / "song.mid"), expected);
  EXPECT_EQ(dir.Listing(), (Names{"song.mid", "song.seq"}));
}

TEST(SeqToMidiTest, TrackLengthCountsTheEventDataAndTwentyThree) {
  TempDir dir;
  // 19 bytes: the header and the marker alone.
  WriteBytes(dir / "tiny.seq", Cat({SEQ_HEADER, {0x00, 0xFF, 0x2F, 0x00}}));
  EXPECT_EQ(seq::ConvertSeqToMidi(dir / "tiny.seq"), 1);
  const Bytes tiny{
      'M',  'T',  'h',  'd',  0x00, 0x00, 0x00, 0x06, 0x00, 0x00, 0x00, 0x01, 0x01, 0xE0,  // header chunk
      'M',  'T',  'r',  'k',  0x00, 0x00, 0x00, 0x1B,                                      // length 27
      0x00, 0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20,                                            // tempo
      0x00, 0xFF, 0x58, 0x04, 0x04, 0x02, 0x18, 0x08,                                      // time signature
      0x00, 0xF0, 0x05, 0x7E, 0x7F, 0x09, 0x01, 0xF7,                                      // GM System On
      0x00, 0xFF, 0x2F, 0x00,                                                              // end of track
  };
  EXPECT_EQ(ReadBytes(dir / "tiny.mid"), tiny);

  // 100 bytes of event data, marker included: 145 bytes, track length 123.
  Bytes events;
  for (int i = 0; i < 24; ++i) events = Cat({events, {0x00, 0x90, static_cast<std::uint8_t>(0x30 + i), 0x40}});
  events = Cat({events, {0x00, 0xFF, 0x2F, 0x00}});
  ASSERT_EQ(events.size(), 100u);
  WriteBytes(dir / "long.seq", Cat({SEQ_HEADER, events}));
  EXPECT_EQ(seq::ConvertSeqToMidi(dir / "long.seq"), 1);
  const Bytes midi = ReadBytes(dir / "long.mid");
  ASSERT_EQ(midi.size(), 145u);
  EXPECT_EQ(Bytes(midi.begin() + 18, midi.begin() + 22), (Bytes{0x00, 0x00, 0x00, 0x7B}));
  EXPECT_EQ(Bytes(midi.begin() + 45, midi.end()), events);
}

TEST(SeqToMidiTest, OnlyTheBytesUpToTheFirstMarkerAreCopied) {
  TempDir dir;
  // Anything may follow the first marker, a second marker included; the magic is not checked.
  Bytes seqBytes = Cat({SEQ_HEADER, SHORT_TRACK, {0x00, 0x90, 0x40, 0x40, 0x00, 0xFF, 0x2F, 0x00, 0x12}});
  seqBytes[0] = 'X';
  WriteBytes(dir / "song.seq", seqBytes);
  EXPECT_EQ(seq::ConvertSeqToMidi(dir / "song.seq"), 1);
  const Bytes midi = ReadBytes(dir / "song.mid");
  ASSERT_EQ(midi.size(), 45u + 12u);
  EXPECT_EQ(Bytes(midi.begin() + 45, midi.end()), SHORT_TRACK);
}

TEST(SeqToMidiTest, TempoEventsAreWrittenWithTheirLengthAndStatusAfterThem) {
  const Bytes expected{
      'M',  'T',  'h',  'd',  0x00, 0x00, 0x00, 0x06, 0x00, 0x00, 0x00, 0x01, 0x01, 0xE0,  // header chunk
      'M',  'T',  'r',  'k',  0x00, 0x00, 0x00, 0x3B,                                      // 23 + 36 bytes
      0x00, 0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20,                                            // tempo
      0x00, 0xFF, 0x58, 0x04, 0x04, 0x02, 0x18, 0x08,                                      // time signature
      0x00, 0xF0, 0x05, 0x7E, 0x7F, 0x09, 0x01, 0xF7,                                      // GM System On
      0x00, 0xC0, 0x05,                                                                    // program 5
      0x00, 0x90, 0x3C, 0x64,                                                              // C4 on
      0x83, 0x60, 0x3C, 0x00,                                                              // C4 off, running
      0x00, 0xFF, 0x51, 0x03, 0x09, 0x27, 0xC0,                                            // tempo 600000
      0x00, 0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20,                                            // tempo 500000
      0x00, 0x90, 0x3E, 0x64,                                                              // D4 on
      0x60, 0x3E, 0x00,                                                                    // D4 off, running
      0x60, 0xFF, 0x2F, 0x00,                                                              // end of track
  };
  EXPECT_EQ(seq::MidiFromSeq(seq_testing::TEMPO_SEQ), expected);
}

TEST(SeqToMidiTest, EventsThatEndTheTrackAreWrittenAsEndOfTrack) {
  struct Case {
    const char* what;
    Bytes events;
    Bytes written;
  };
  const Case cases[] = {
      {"a text event",
       {0x00, 0x90, 0x3C, 0x64, 0x60, 0xFF, 0x01, 0x05, 'h',  'e', 'l',
        'l',  'o',  0x00, 0x80, 0x3C, 0x00, 0x00, 0xFF, 0x2F, 0x00},
       {0x00, 0x90, 0x3C, 0x64, 0x60, 0xFF, 0x2F, 0x00}},
      {"a system-exclusive message",
       {0x00, 0x90, 0x3C, 0x64, 0x10, 0xF0, 0x05, 0x7E, 0x7F, 0x09, 0x01, 0xF7, 0x00, 0xFF, 0x2F, 0x00},
       {0x00, 0x90, 0x3C, 0x64, 0x10, 0xFF, 0x2F, 0x00}},
      {"a bare data byte other than 51 under the meta status",
       {0x00, 0xFF, 0x51, 0x07, 0xA1, 0x20, 0x00, 0x3C, 0x64, 0x00, 0xFF, 0x2F, 0x00},
       {0x00, 0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20, 0x00, 0xFF, 0x2F, 0x00}},
      {"00 FF 2F 00 inside a tempo is no end of track",
       {0x00, 0xFF, 0x51, 0x00, 0xFF, 0x2F, 0x00, 0x90, 0x3C, 0x40, 0x00, 0xFF, 0x2F, 0x00},
       {0x00, 0xFF, 0x51, 0x03, 0x00, 0xFF, 0x2F, 0x00, 0x90, 0x3C, 0x40, 0x00, 0xFF, 0x2F, 0x00}},
      {"data bytes with the high bit set",
       {0x00, 0x90, 0xBC, 0xC0, 0x00, 0xFF, 0x2F, 0x00},
       {0x00, 0x90, 0x3C, 0x40, 0x00, 0xFF, 0x2F, 0x00}},
      {"an end of track without its length byte",
       {0x00, 0x90, 0x3C, 0x64, 0x00, 0xFF, 0x2F},
       {0x00, 0x90, 0x3C, 0x64, 0x00, 0xFF, 0x2F, 0x00}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::optional<Bytes> midi = seq::MidiFromSeq(Cat({SEQ_HEADER, c.events}));
    ASSERT_TRUE(midi.has_value());
    ASSERT_EQ(midi->size(), 45 + c.written.size());
    EXPECT_EQ(Bytes(midi->begin() + 18, midi->begin() + 22),
              (Bytes{0x00, 0x00, 0x00, static_cast<std::uint8_t>(23 + c.written.size())}));
    EXPECT_EQ(Bytes(midi->begin() + 45, midi->end()), c.written);
  }
}

TEST(SeqToMidiTest, RefusedInputsWriteNothingAndLeaveAnExistingMidiAlone) {
  TempDir dir;
  const Bytes old{'o', 'l', 'd'};
  struct Case {
    const char* what;
    Bytes seqBytes;
    const char* reason;
  };
  const Case cases[] = {
      {"SEP",
       {'p',  'Q',  'E',  'S',  0x00, 0x00, 0x00, 0x00, 0x01, 0xE0, 0x07, 0xA1, 0x20, 0x04, 0x02,  // #0 header
        0x00, 0x00, 0x00, 0x04, 0x00, 0xFF, 0x2F, 0x00},                                           // size 4, data
       "a SEP file, not a SEQ: bytes 4 to 7 are zero"},
      {"SEQ of version 0",
       Cat({{'p', 'Q', 'E', 'S', 0x00, 0x00, 0x00, 0x00},
            Bytes(SEQ_HEADER.begin() + 8, SEQ_HEADER.end()),
            SHORT_TRACK}),
       "a SEP file, not a SEQ: bytes 4 to 7 are zero"},
      {"events that stop inside an event", Cat({SEQ_HEADER, {0x00, 0x90, 0x3C, 0x64, 0x60, 0x80, 0x3C}}),
       "no end of track: the events stop at byte 19"},
      {"events that stop between events", Cat({SEQ_HEADER, {0x00, 0x90, 0x3C, 0x64}}),
       "no end of track: the events stop at byte 19"},
      {"data byte before any status", Cat({SEQ_HEADER, {0x00, 0x3C, 0x64, 0x00, 0xFF, 0x2F, 0x00}}),
       "a data byte without a status at byte 15"},
      {"five-byte delta time", Cat({SEQ_HEADER, {0x80, 0x80, 0x80, 0x80, 0x00, 0x90, 0x3C, 0x64, 0x00, 0xFF, 0x2F}}),
       "a delta time longer than four bytes at byte 15"},
      {"empty file", {}, "shorter than the 15-byte SEQ header"},
      {"marker inside the header",
       {'p',  'Q',  'E',  'S',  0x00, 0x00, 0x00, 0x01, 0x00, 0xFF, 0x2F, 0x00, 0x20, 0x04, 0x02,  // 00 FF 2F 00 at 8
        0x00, 0x90, 0x3C, 0x64, 0x00, 0xFF, 0x2F, 0x00},
       "the end-of-track marker 00 FF 2F 00 lies inside the 15-byte header"},
      {"marker across the end of the header",
       {'p', 'Q', 'E', 'S', 0x00, 0x00, 0x00, 0x01, 0x01, 0xE0, 0x07, 0xA1, 0x00, 0xFF, 0x2F,  // 00 FF 2F 00 at 12
        0x00, 0x90, 0x3C, 0x64},
       "the end-of-track marker 00 FF 2F 00 lies inside the 15-byte header"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    WriteBytes(dir / "song.seq", c.seqBytes);
    WriteBytes(dir / "song.mid", old);
    EXPECT_EQ(seq::ConvertSeqToMidi(dir / "song.seq"), 0);
    EXPECT_EQ(core::TakeFailureReason(), c.reason);
    EXPECT_EQ(ReadBytes(dir / "song.mid"), old);
    EXPECT_EQ(dir.Listing(), (Names{"song.mid", "song.seq"}));
  }
  EXPECT_EQ(seq::ConvertSeqToMidi(dir / "none.seq"), 0);
  EXPECT_EQ(core::TakeFailureReason(), "cannot open: No such file or directory");
  EXPECT_EQ(seq::WriteMidiFromSeq(nullptr, dir / "x.mid"), 0);
}

TEST(SeqToMidiTest, ExistingMidiIsReplaced) {
  TempDir dir;
  WriteBytes(dir / "song.seq", Cat({SEQ_HEADER, SHORT_TRACK}));
  WriteBytes(dir / "song.mid", Bytes(1000, 0xEE));
  EXPECT_EQ(seq::ConvertSeqToMidi(dir / "song.seq"), 1);
  EXPECT_EQ(ReadBytes(dir / "song.mid").size(), 45u + 12u);
  EXPECT_EQ(dir.Listing(), (Names{"song.mid", "song.seq"}));
}

TEST(SeqToMidiTest, WritingFromAnOpenFileIgnoresItsPosition) {
  TempDir dir;
  WriteBytes(dir / "song.seq", Cat({SEQ_HEADER, SHORT_TRACK}));
  core::FileHandle file = core::OpenFile(dir / "song.seq", "rb");
  std::fseek(file.get(), 17, SEEK_SET);
  EXPECT_EQ(seq::WriteMidiFromSeq(file.get(), dir / "other.mid"), 1);
  EXPECT_EQ(ReadBytes(dir / "other.mid").size(), 45u + 12u);
}

TEST(SeqToMidiTest, UsersSequenceMidInTheWorkingDirectoryIsLeftAlone) {
  TempDir work;
  TempDir songs;
  WriteBytes(work / "sequence.mid", {'m', 'i', 'n', 'e'});
  WriteBytes(songs / "song.seq", Cat({SEQ_HEADER, SHORT_TRACK}));
  {
    ScopedWorkingDirectory inWork(work.path());
    EXPECT_EQ(seq::ConvertSeqToMidi(songs / "song.seq"), 1);
  }
  EXPECT_EQ(work.Listing(), (Names{"sequence.mid"}));
  EXPECT_EQ(ReadBytes(work / "sequence.mid"), (Bytes{'m', 'i', 'n', 'e'}));
  EXPECT_EQ(songs.Listing(), (Names{"song.mid", "song.seq"}));

  // A bare name is read from and written into the working directory.
  WriteBytes(work / "bare.seq", Cat({SEQ_HEADER, SHORT_TRACK}));
  ScopedWorkingDirectory inWork(work.path());
  EXPECT_EQ(seq::ConvertSeqToMidi("bare.seq"), 1);
  EXPECT_EQ(work.Listing(), (Names{"bare.mid", "bare.seq", "sequence.mid"}));
}

}  // namespace
