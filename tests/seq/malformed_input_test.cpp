// Cut and damaged SEQ and SEP files: no crash, no temporary file left, and every output that appears is
// complete (a MIDI file passes the strict structural check).
#include <gtest/gtest.h>

#include <algorithm>

#include "core/failure.h"
#include "midi_structure.h"
#include "seq/sep_split.h"
#include "seq/seq_to_midi.h"
#include "seq_test_files.h"
#include "support/temp_dir.h"

namespace {

using seq_testing::Bytes;
using seq_testing::Cat;
using seq_testing::CheckMidiStructure;
using seq_testing::SepRecord;
using seq_testing::SepStart;
using testing_support::ReadBytes;
using testing_support::TempDir;
using testing_support::WriteBytes;

const Bytes SONG_SEQ{
    'p',  'Q',  'E',  'S',  0x00, 0x00, 0x00, 0x01, 0x01, 0xE0, 0x07, 0xA1, 0x20, 0x04, 0x02,  // header
    0x00, 0xC0, 0x05, 0x00, 0x90, 0x3C, 0x64, 0x83, 0x60, 0x3C, 0x00,                          // events
    0x00, 0xFF, 0x01, 0x02, 'h',  'i',  0x00, 0xFF, 0x2F, 0x00,                                // text, end
};

Bytes MusicSep() {
  return Cat(
      {SepStart(),
       SepRecord(0, {0x01, 0xE0, 0x07, 0xA1, 0x20, 0x04, 0x02}, {0x00, 0x90, 0x3C, 0x64, 0x00, 0xFF, 0x2F, 0x00}),
       SepRecord(1, {0x00, 0x60, 0x06, 0x1A, 0x80, 0x03, 0x02}, {0x00, 0xFF, 0x2F, 0x00}),
       SepRecord(2, {0x00, 0xC0, 0x0F, 0x42, 0x40, 0x06, 0x03}, {})});
}

// Small deterministic generator, so a failure can be replayed.
struct Lcg {
  std::uint32_t state;
  std::uint32_t Next() { return state = state * 1664525u + 1013904223u; }
};

std::vector<Bytes> Damaged(const Bytes& original) {
  std::vector<Bytes> inputs;
  for (std::size_t length = 0; length < original.size(); ++length)
    inputs.emplace_back(original.begin(), original.begin() + length);
  for (std::size_t at = 0; at < original.size(); ++at) {
    for (std::uint8_t value : {0x00, 0x01, 0x2F, 0x7F, 0x80, 0xFF}) {
      Bytes copy = original;
      copy[at] = value;
      inputs.push_back(copy);
    }
  }
  Lcg random{12345};
  for (int i = 0; i < 300; ++i) {
    Bytes copy = original;
    for (int flips = 1 + random.Next() % 4; flips > 0; --flips) copy[random.Next() % copy.size()] = random.Next() >> 24;
    if (random.Next() % 2) copy.resize(random.Next() % copy.size());
    inputs.push_back(copy);
  }
  return inputs;
}

std::string Hex(const Bytes& bytes) {
  std::string text;
  for (std::uint8_t b : bytes) text += "0123456789ABCDEF"[b >> 4], text += "0123456789ABCDEF"[b & 15], text += ' ';
  return text;
}

TEST(MalformedInputTest, DamagedSeqGivesACompleteMidiOrNothing) {
  int converted = 0;
  for (const Bytes& input : Damaged(SONG_SEQ)) {
    SCOPED_TRACE(Hex(input));
    TempDir dir;
    WriteBytes(dir / "song.seq", input);
    const int result = seq::ConvertSeqToMidi(dir / "song.seq");
    const std::string reason = core::TakeFailureReason();
    const bool isSep =
        input.size() >= 8 && std::all_of(input.begin() + 4, input.begin() + 8, [](auto b) { return b == 0; });
    const Bytes marker{0x00, 0xFF, 0x2F, 0x00};
    const bool markerInHeader =
        std::search(input.begin(), input.end(), marker.begin(), marker.end()) - input.begin() < 15;
    if (result == 0 || isSep || markerInHeader) {
      EXPECT_EQ(result, 0);
      EXPECT_NE(reason, "");
      EXPECT_EQ(dir.Listing(), std::vector<std::string>{"song.seq"});
      continue;
    }
    ++converted;
    EXPECT_EQ(dir.Listing(), (std::vector<std::string>{"song.mid", "song.seq"}));
    const Bytes midi = ReadBytes(dir / "song.mid");
    EXPECT_EQ(CheckMidiStructure(midi), "");
    ASSERT_GE(midi.size(), 45u);
    EXPECT_EQ(Bytes(midi.begin() + 12, midi.begin() + 14), Bytes(input.begin() + 8, input.begin() + 10));
  }
  // Most single-byte damage leaves a playable sequence.
  EXPECT_GT(converted, 200) << "converted";
}

TEST(MalformedInputTest, DamagedSepGivesCompleteSeqFilesOrNone) {
  for (const Bytes& input : Damaged(MusicSep())) {
    SCOPED_TRACE(Hex(input));
    TempDir dir;
    WriteBytes(dir / "music.sep", input);
    std::int32_t count = 0;
    seq::ConvertSepToSeq(dir / "music.sep", count);
    // Walk the records the plain way and list the outputs that must exist.
    std::vector<std::string> expected{"music.sep"};
    if (input.size() >= 8 && std::all_of(input.begin() + 4, input.begin() + 8, [](auto b) { return b == 0; })) {
      std::size_t at = 6;
      for (unsigned n = 0; at + 13 <= input.size(); ++n) {
        if (((input[at] << 8) | input[at + 1]) != static_cast<int>(n)) break;
        const std::size_t size =
            (std::size_t{input[at + 9]} << 24) | (input[at + 10] << 16) | (input[at + 11] << 8) | input[at + 12];
        if (size > input.size() - at - 13) break;
        const std::string name = n < 10 ? "music0" + std::to_string(n) + ".seq" : "music" + std::to_string(n) + ".seq";
        expected.push_back(name);
        Bytes seqBytes{'p', 'Q', 'E', 'S', 0x00, 0x00, 0x00, 0x01};
        seqBytes.insert(seqBytes.end(), input.begin() + at + 2, input.begin() + at + 9);
        seqBytes.insert(seqBytes.end(), input.begin() + at + 13, input.begin() + at + 13 + size);
        EXPECT_EQ(ReadBytes(dir / name), seqBytes) << name;
        at += 13 + size;
      }
    }
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(dir.Listing(), expected);
  }
}

}  // namespace
