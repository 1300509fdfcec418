#include "seq/sep_split.h"

#include <gtest/gtest.h>

#include "core/failure.h"
#include "core/text.h"
#include "seq/seq_to_midi.h"
#include "seq_test_files.h"
#include "support/temp_dir.h"

namespace {

using seq_testing::Bytes;
using seq_testing::Cat;
using seq_testing::ScopedWorkingDirectory;
using seq_testing::SepRecord;
using seq_testing::SepStart;
using testing_support::ReadBytes;
using testing_support::TempDir;
using testing_support::WriteBytes;

using Names = std::vector<std::string>;

// music.sep: three sequences with different timing bytes, the last one empty.
const Bytes MUSIC_SEP{
    'p',  'Q',  'E',  'S',  0x00, 0x00,                                      // magic, version 0
    0x00, 0x00,                                                              // #0
    0x01, 0xE0, 0x07, 0xA1, 0x20, 0x04, 0x02,                                //   timing
    0x00, 0x00, 0x00, 0x0C,                                                  //   data size 12
    0x00, 0x90, 0x3C, 0x64, 0x60, 0x80, 0x3C, 0x00, 0x00, 0xFF, 0x2F, 0x00,  //   data
    0x00, 0x01,                                                              // #1
    0x00, 0x60, 0x06, 0x1A, 0x80, 0x03, 0x02,                                //   timing
    0x00, 0x00, 0x00, 0x04,                                                  //   data size 4
    0x00, 0xFF, 0x2F, 0x00,                                                  //   data
    0x00, 0x02,                                                              // #2
    0x00, 0xC0, 0x0F, 0x42, 0x40, 0x06, 0x03,                                //   timing
    0x00, 0x00, 0x00, 0x00,                                                  //   data size 0
};
const Bytes MUSIC00_SEQ{
    'p',  'Q',  'E',  'S',  0x00, 0x00, 0x00, 0x01,                          // magic, version 1
    0x01, 0xE0, 0x07, 0xA1, 0x20, 0x04, 0x02,                                // timing of #0
    0x00, 0x90, 0x3C, 0x64, 0x60, 0x80, 0x3C, 0x00, 0x00, 0xFF, 0x2F, 0x00,  // data of #0
};
const Bytes MUSIC01_SEQ{
    'p',  'Q',  'E',  'S',  0x00, 0x00, 0x00, 0x01, 0x00, 0x60, 0x06, 0x1A, 0x80, 0x03, 0x02,  // header
    0x00, 0xFF, 0x2F, 0x00,                                                                    // data of #1
};
const Bytes MUSIC02_SEQ{
    'p', 'Q', 'E', 'S', 0x00, 0x00, 0x00, 0x01, 0x00, 0xC0, 0x0F, 0x42, 0x40, 0x06, 0x03,  // header only
};
const Bytes TIMING{0x01, 0xE0, 0x07, 0xA1, 0x20, 0x04, 0x02};
const Bytes END{0x00, 0xFF, 0x2F, 0x00};

TEST(SepSplitTest, EachSequenceBecomesANumberedSeqBesideTheSep) {
  TempDir dir;
  WriteBytes(dir / "music.sep", MUSIC_SEP);
  std::int32_t count = -1;
  EXPECT_TRUE(seq::ConvertSepToSeq(dir / "music.sep", count));
  EXPECT_EQ(count, 3);
  EXPECT_EQ(dir.Listing(), (Names{"music.sep", "music00.seq", "music01.seq", "music02.seq"}));
  EXPECT_EQ(ReadBytes(dir / "music00.seq"), MUSIC00_SEQ);
  EXPECT_EQ(ReadBytes(dir / "music01.seq"), MUSIC01_SEQ);
  EXPECT_EQ(ReadBytes(dir / "music02.seq"), MUSIC02_SEQ);  // data size 0: 15 bytes
}

TEST(SepSplitTest, HundredAndOneSequencesTakeThreeDigitsFrom100) {
  TempDir dir;
  Bytes sep = SepStart();
  for (std::uint16_t n = 0; n <= 100; ++n)
    sep = Cat({sep, SepRecord(n, TIMING, {0x00, static_cast<std::uint8_t>(n), 0x00, 0xFF, 0x2F, 0x00})});
  WriteBytes(dir / "music.sep", sep);
  std::int32_t count = 0;
  EXPECT_TRUE(seq::ConvertSepToSeq(dir / "music.sep", count));
  EXPECT_EQ(count, 101);
  Names expected{"music.sep"};
  for (int n = 0; n <= 100; ++n) expected.push_back(core::FormatText("music%02d.seq", n));
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(dir.Listing(), expected);
  EXPECT_EQ(ReadBytes(dir / "music100.seq"),
            (Bytes{'p',  'Q',  'E',  'S',  0x00, 0x00, 0x00, 0x01, 0x01, 0xE0, 0x07, 0xA1, 0x20, 0x04, 0x02,  // header
                   0x00, 0x64, 0x00, 0xFF, 0x2F, 0x00}));                                                     // data
}

TEST(SepSplitTest, ExistingOutputsAreReplacedOnlyByCompleteNewOnes) {
  TempDir dir;
  WriteBytes(dir / "music.sep", MUSIC_SEP);
  WriteBytes(dir / "music00.seq", {'o', 'l', 'd'});
  std::int32_t count = 0;
  EXPECT_TRUE(seq::ConvertSepToSeq(dir / "music.sep", count));
  EXPECT_EQ(ReadBytes(dir / "music00.seq"), MUSIC00_SEQ);

  // A SEQ given as input (bytes 4 to 7 are 00 00 00 01) writes nothing and deletes nothing.
  WriteBytes(dir / "music.sep", MUSIC00_SEQ);
  WriteBytes(dir / "music00.seq", {'o', 'l', 'd'});
  count = 5;
  EXPECT_FALSE(seq::ConvertSepToSeq(dir / "music.sep", count));
  EXPECT_EQ(count, 0);
  EXPECT_EQ(core::TakeFailureReason(), "not a SEP file: bytes 4 to 7 are not zero");
  EXPECT_EQ(ReadBytes(dir / "music00.seq"), (Bytes{'o', 'l', 'd'}));
  EXPECT_EQ(dir.Listing(), (Names{"music.sep", "music00.seq", "music01.seq", "music02.seq"}));
}

TEST(SepSplitTest, MissingInputLeavesTheCountAlone) {
  TempDir dir;
  std::int32_t count = 9;
  EXPECT_FALSE(seq::ConvertSepToSeq(dir / "none.sep", count));
  EXPECT_EQ(count, 9);
  EXPECT_EQ(core::TakeFailureReason(), "cannot open: No such file or directory");
  EXPECT_TRUE(dir.Listing().empty());
}

TEST(SepSplitTest, NumberOutOfOrderEndsTheSplitQuietly) {
  TempDir dir;
  WriteBytes(dir / "music.sep",
             Cat({SepStart(), SepRecord(0, TIMING, END), SepRecord(1, TIMING, END), SepRecord(3, TIMING, END)}));
  std::int32_t count = 0;
  EXPECT_TRUE(seq::ConvertSepToSeq(dir / "music.sep", count));
  EXPECT_EQ(count, 2);
  EXPECT_EQ(dir.Listing(), (Names{"music.sep", "music00.seq", "music01.seq"}));
}

TEST(SepSplitTest, RecordRunningPastTheEndIsNotWrittenButThoseBeforeItAre) {
  TempDir dir;
  Bytes sep = Cat({SepStart(), SepRecord(0, TIMING, END), SepRecord(1, TIMING, END), SepRecord(2, TIMING, END)});
  sep.pop_back();
  WriteBytes(dir / "music.sep", sep);
  WriteBytes(dir / "music02.seq", {'o', 'l', 'd'});
  std::int32_t count = 0;
  EXPECT_FALSE(seq::ConvertSepToSeq(dir / "music.sep", count));
  EXPECT_EQ(count, 3);
  EXPECT_EQ(core::TakeFailureReason(), "sequence 02 runs past the end of the file");
  EXPECT_EQ(dir.Listing(), (Names{"music.sep", "music00.seq", "music01.seq", "music02.seq"}));
  EXPECT_EQ(ReadBytes(dir / "music01.seq"), Cat({{'p', 'Q', 'E', 'S', 0x00, 0x00, 0x00, 0x01}, TIMING, END}));
  EXPECT_EQ(ReadBytes(dir / "music02.seq"), (Bytes{'o', 'l', 'd'}));

  // Only the start and a cut first header: counted, nothing written.
  WriteBytes(dir / "short.sep", {'p', 'Q', 'E', 'S', 0x00, 0x00, 0x00, 0x00, 0x01});
  EXPECT_FALSE(seq::ConvertSepToSeq(dir / "short.sep", count));
  EXPECT_EQ(count, 1);
  EXPECT_EQ(core::TakeFailureReason(), "sequence 00 runs past the end of the file");
  EXPECT_EQ(dir.Listing(), (Names{"music.sep", "music00.seq", "music01.seq", "music02.seq", "short.sep"}));
}

TEST(SepSplitTest, UsersFilesInTheWorkingDirectoryAreLeftAlone) {
  TempDir work;
  TempDir songs;
  WriteBytes(work / "00.seq", {'m', 'i', 'n', 'e'});
  WriteBytes(work / "sequence.mid", {'m', 'i', 'n', 'e', '2'});
  WriteBytes(songs / "music.sep", MUSIC_SEP);
  {
    ScopedWorkingDirectory inWork(work.path());
    std::int32_t count = 0;
    EXPECT_TRUE(seq::ConvertSepToSeq(songs / "music.sep", count));
    EXPECT_EQ(seq::ConvertSeqToMidi(songs / "music00.seq"), 1);
  }
  EXPECT_EQ(work.Listing(), (Names{"00.seq", "sequence.mid"}));
  EXPECT_EQ(ReadBytes(work / "00.seq"), (Bytes{'m', 'i', 'n', 'e'}));
  EXPECT_EQ(ReadBytes(work / "sequence.mid"), (Bytes{'m', 'i', 'n', 'e', '2'}));
  EXPECT_EQ(songs.Listing(), (Names{"music.sep", "music00.mid", "music00.seq", "music01.seq", "music02.seq"}));
}

TEST(SepSplitTest, SequenceThatCannotBeWrittenIsReportedAndTheOthersAreWritten) {
  TempDir dir;
  WriteBytes(dir / "music.sep", MUSIC_SEP);
  std::filesystem::create_directory(dir / "music01.seq");  // no file can replace a directory
  std::int32_t count = 0;
  EXPECT_FALSE(seq::ConvertSepToSeq(dir / "music.sep", count));
  EXPECT_EQ(count, 3);
  EXPECT_EQ(core::TakeFailureReason(), "cannot replace output: Is a directory");
  EXPECT_EQ(dir.Listing(), (Names{"music.sep", "music00.seq", "music01.seq", "music02.seq"}));
  EXPECT_TRUE(std::filesystem::is_directory(dir / "music01.seq"));
  EXPECT_EQ(ReadBytes(dir / "music02.seq"), MUSIC02_SEQ);
}

TEST(SeqToMidiOutputTest, MidiThatCannotReplaceItsTargetLeavesNothing) {
  TempDir dir;
  WriteBytes(dir / "song.seq", MUSIC00_SEQ);
  std::filesystem::create_directory(dir / "song.mid");
  EXPECT_EQ(seq::ConvertSeqToMidi(dir / "song.seq"), 0);
  EXPECT_EQ(core::TakeFailureReason(), "cannot replace output: Is a directory");
  EXPECT_EQ(dir.Listing(), (Names{"song.mid", "song.seq"}));
}

TEST(SplitSepBytes, GivesEachSequenceAsASeqFile) {
  const std::optional<seq::SepSplit> split = seq::SplitSepBytes(MUSIC_SEP);
  ASSERT_TRUE(split.has_value());
  EXPECT_EQ(split->count, 3);
  EXPECT_FALSE(split->cut);
  EXPECT_EQ(split->seqFiles, (std::vector<Bytes>{MUSIC00_SEQ, MUSIC01_SEQ, MUSIC02_SEQ}));
  // Bytes after the last record that do not number on are left alone.
  EXPECT_EQ(seq::SplitSepBytes(Cat({MUSIC_SEP, Bytes(20, 0x00)}))->seqFiles.size(), 3U);
}

TEST(SplitSepBytes, CutRecordIsCountedButNotGiven) {
  Bytes cut = MUSIC_SEP;
  cut.resize(6 + 25 + 2);  // the second record's header holds only its number
  const std::optional<seq::SepSplit> split = seq::SplitSepBytes(cut);
  ASSERT_TRUE(split.has_value());
  EXPECT_EQ(split->count, 2);
  EXPECT_TRUE(split->cut);
  EXPECT_EQ(split->seqFiles, (std::vector<Bytes>{MUSIC00_SEQ}));
  // Not a SEP: bytes 4 to 7 hold a SEQ's version, or are not there.
  EXPECT_FALSE(seq::SplitSepBytes(MUSIC00_SEQ).has_value());
  EXPECT_FALSE(seq::SplitSepBytes(Bytes{'p', 'Q', 'E', 'S', 0x00, 0x00, 0x00}).has_value());
}

TEST(ScanSepRecords, RecordsTellWhereTheirDataLies) {
  const std::optional<seq::SepLayout> layout = seq::ScanSepRecords(MUSIC_SEP);
  ASSERT_TRUE(layout.has_value());
  ASSERT_EQ(layout->records.size(), 3U);
  EXPECT_EQ(layout->records[0].dataOffset, 19U);
  EXPECT_EQ(layout->records[1].dataOffset, 19U + 12 + 13);
  EXPECT_EQ(layout->records[2].dataOffset, 19U + 12 + 13 + 4 + 13);
  EXPECT_EQ(layout->records[1].header.resolution, 0x60);
  EXPECT_EQ(layout->records[2].header.dataSize, 0U);
  EXPECT_FALSE(layout->cut);
}

}  // namespace
