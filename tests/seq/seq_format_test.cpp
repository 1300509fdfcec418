#include "seq/seq_format.h"

#include <gtest/gtest.h>

#include "core/file_io.h"
#include "seq_test_files.h"
#include "support/temp_dir.h"

namespace {

using seq_testing::Bytes;
using seq_testing::Cat;
using seq_testing::SepRecord;
using seq_testing::SepStart;
using testing_support::TempDir;
using testing_support::WriteBytes;

const Bytes TIMING{0x01, 0xE0, 0x07, 0xA1, 0x20, 0x04, 0x02};  // resolution 480, tempo 500000, 4/4
const Bytes SHORT_TRACK{0x00, 0x90, 0x3C, 0x64, 0x60, 0x80, 0x3C, 0x00, 0x00, 0xFF, 0x2F, 0x00};

class SeqFormatTest : public ::testing::Test {
 protected:
  // Scans the bytes as a file without writing; count starts at the given value.
  std::int32_t Scan(const Bytes& bytes, std::int32_t& count) {
    WriteBytes(m_dir / "in.sep", bytes);
    core::FileHandle file = core::OpenFile(m_dir / "in.sep", "rb");
    return seq::ScanSepSequences(file.get(), count, nullptr);
  }
  std::int32_t Scan(const Bytes& bytes) {
    std::int32_t count = 0;
    return Scan(bytes, count);
  }
  std::int32_t FindEnd(const Bytes& bytes) {
    WriteBytes(m_dir / "in.seq", bytes);
    core::FileHandle file = core::OpenFile(m_dir / "in.seq", "rb");
    return seq::FindEndOfTrack(file.get());
  }

  TempDir m_dir;
};

TEST(SeqHeaderTest, DecodesBigEndianFields) {
  const Bytes bytes{
      'p',  'Q',  'E',  'S',   // magic
      0x00, 0x00, 0x00, 0x01,  // version 1
      0x01, 0xE0,              // resolution 480
      0x07, 0xA1, 0x20,        // tempo 500000
      0x03,                    // numerator
      0x03,                    // denominator exponent (eighths)
  };
  const seq::SeqHeader header = seq::DecodeSeqHeader(bytes);
  EXPECT_EQ(header.magic, (std::array<std::uint8_t, 4>{'p', 'Q', 'E', 'S'}));
  EXPECT_EQ(header.version, 1u);
  EXPECT_EQ(header.resolution, 480);
  EXPECT_EQ(header.tempo, 500000u);
  EXPECT_EQ(header.rhythmNumerator, 3);
  EXPECT_EQ(header.rhythmDenominator, 3);
}

TEST(SeqHeaderTest, RecordHeaderDecodesAndItsTimingBytesBecomeTheSeqHeader) {
  const Bytes record{
      0x00, 0x02,              // sequence number 2
      0x00, 0x60,              // resolution 96
      0x06, 0x1A, 0x80,        // tempo 400000
      0x06,                    // numerator
      0x03,                    // denominator exponent
      0x00, 0x00, 0x01, 0x02,  // data size 258
  };
  const seq::SepRecordHeader header = seq::DecodeSepRecordHeader(record);
  EXPECT_EQ(header.sequenceNumber, 2);
  EXPECT_EQ(header.resolution, 96);
  EXPECT_EQ(header.tempo, 400000u);
  EXPECT_EQ(header.rhythmNumerator, 6);
  EXPECT_EQ(header.rhythmDenominator, 3);
  EXPECT_EQ(header.dataSize, 258u);

  const std::array<std::uint8_t, 15> expected{
      'p',  'Q',  'E',  'S',  0x00, 0x00, 0x00, 0x01,  // magic, version 1
      0x00, 0x60, 0x06, 0x1A, 0x80, 0x06, 0x03,        // record bytes 2 to 8, unchanged
  };
  EXPECT_EQ(seq::EncodeSeqHeader(header), expected);
}

TEST_F(SeqFormatTest, SepTestLooksOnlyAtBytes4To7) {
  std::int32_t count = 7;
  // A SEQ of version 1: not a SEP, and the count is left as it was.
  EXPECT_EQ(Scan(Cat({{'p', 'Q', 'E', 'S', 0x00, 0x00, 0x00, 0x01}, TIMING, SHORT_TRACK}), count), 0);
  EXPECT_EQ(count, 7);
  // A SEQ of version 0 is taken for a SEP: bytes 6-7 read as sequence number 0 and its record, whose data
  // size comes from the first event bytes, is accepted once.
  EXPECT_EQ(Scan(Cat({{'p', 'Q', 'E', 'S', 0x00, 0x00, 0x00, 0x00}, TIMING, SHORT_TRACK}), count), 1);
  EXPECT_EQ(count, 1);
  // The magic is never looked at.
  EXPECT_EQ(Scan(Cat({{'X', 'X', 'X', 'X', 0x00, 0x00}, SepRecord(0, TIMING, SHORT_TRACK)})), 1);
  // A first sequence number other than 0 fails the test.
  EXPECT_EQ(Scan(Cat({SepStart(), SepRecord(1, TIMING, SHORT_TRACK)})), 0);
  // Bytes that are not there are not zero bytes.
  EXPECT_EQ(Scan({'p', 'Q', 'E', 'S', 0x00, 0x00, 0x00}), 0);
  EXPECT_EQ(Scan({}), 0);
  count = 0;
  EXPECT_EQ(seq::ScanSepSequences(nullptr, count, nullptr), 0);
}

TEST_F(SeqFormatTest, ScanCountsRecordsWhileTheirNumbersFollowOn) {
  // Numbered 0, 1, 3: the third fails the number check.
  EXPECT_EQ(Scan(Cat({SepStart(), SepRecord(0, TIMING, SHORT_TRACK), SepRecord(1, TIMING, SHORT_TRACK),
                      SepRecord(3, TIMING, SHORT_TRACK)})),
            2);
  // The last record ends exactly at the end of the file.
  EXPECT_EQ(Scan(Cat({SepStart(), SepRecord(0, TIMING, SHORT_TRACK), SepRecord(1, TIMING, {}),
                      SepRecord(2, TIMING, SHORT_TRACK)})),
            3);
  // Records of data size 0 take 13 bytes each.
  const Bytes empties{
      'p',  'Q',  'E',  'S',  0x00, 0x00,                                            // start
      0x00, 0x00, 0x01, 0xE0, 0x07, 0xA1, 0x20, 0x04, 0x02, 0x00, 0x00, 0x00, 0x00,  // #0
      0x00, 0x01, 0x01, 0xE0, 0x07, 0xA1, 0x20, 0x04, 0x02, 0x00, 0x00, 0x00, 0x00,  // #1
  };
  EXPECT_EQ(Scan(empties), 2);
  // Trailing zero padding after the last record stops the scan quietly.
  EXPECT_EQ(Scan(Cat({empties, Bytes(32, 0x00)})), 2);
}

TEST_F(SeqFormatTest, RecordRunningPastTheEndIsCountedOnceAndEndsTheScan) {
  Bytes cut = Cat({SepStart(), SepRecord(0, TIMING, SHORT_TRACK), SepRecord(1, TIMING, SHORT_TRACK),
                   SepRecord(2, TIMING, SHORT_TRACK)});
  cut.resize(cut.size() - 1);  // the third record's data lacks its last byte
  EXPECT_EQ(Scan(cut), 3);
  cut.resize(6 + 25 + 25 + 5);  // the third record's header is cut
  EXPECT_EQ(Scan(cut), 3);
  // A data size near 4 GiB does not wrap around.
  EXPECT_EQ(Scan(Cat({SepStart(), {0x00, 0x00}, TIMING, {0xFF, 0xFF, 0xFF, 0xF3}, SepRecord(1, TIMING, {})})), 1);
}

TEST_F(SeqFormatTest, EndOfTrackIsTheFirstZeroDeltaMarkerAnywhere) {
  const Bytes header{'p', 'Q', 'E', 'S', 0x00, 0x00, 0x00, 0x01, 0x01, 0xE0, 0x07, 0xA1, 0x20, 0x04, 0x02};
  EXPECT_EQ(FindEnd(Cat({header, {0x00, 0xFF, 0x2F, 0x00}})), 15);
  // Two markers: the first wins.
  EXPECT_EQ(FindEnd(Cat({header, SHORT_TRACK, {0x00, 0x90, 0x40, 0x40}, {0x00, 0xFF, 0x2F, 0x00}})), 23);
  // A non-zero delta before FF 2F 00 is not recognised.
  EXPECT_EQ(FindEnd(Cat({header, {0x00, 0x90, 0x3C, 0x64, 0x60, 0xFF, 0x2F, 0x00}})), -1);
  // The header is searched too: resolution 00 FF and a tempo starting 2F 00.
  EXPECT_EQ(FindEnd({'p', 'Q', 'E', 'S', 0x00, 0x00, 0x00, 0x01, 0x00, 0xFF, 0x2F, 0x00, 0x20, 0x04, 0x02}), 8);
  EXPECT_EQ(seq::FindEndOfTrack(nullptr), -1);
}

}  // namespace
