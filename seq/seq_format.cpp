#include "seq/seq_format.h"

#include <algorithm>
#include <vector>

#include "core/byte_io.h"
#include "core/failure.h"
#include "core/file_io.h"
#include "core/text.h"
#include "seq/sep_split.h"

namespace seq {

namespace {

// Reads up to buffer.size() bytes at offset; the bytes the file does not hold are zero. Returns how many
// were read.
std::size_t ReadPresent(std::FILE* file, std::int64_t offset, std::span<std::uint8_t> buffer) {
  std::fill(buffer.begin(), buffer.end(), std::uint8_t{0});
  if (!core::SeekFileStream(file, offset, SEEK_SET)) return 0;
  return std::fread(buffer.data(), 1, buffer.size(), file);
}

// The stream's length in bytes, -1 when it cannot be measured.
std::int64_t MeasureFile(std::FILE* file) {
  if (!core::SeekFileStream(file, 0, SEEK_END)) return -1;
  return core::TellFileStream(file);
}

}  // namespace

SeqHeader DecodeSeqHeader(std::span<const std::uint8_t> bytes) {
  SeqHeader header;
  for (std::size_t i = 0; i < header.magic.size(); ++i)
    header.magic[i] = static_cast<std::uint8_t>(core::LoadU8(bytes, i));
  header.version = core::LoadU32Be(bytes, 4);
  header.resolution = static_cast<std::uint16_t>(core::LoadU16Be(bytes, 8));
  header.tempo = core::LoadU24Be(bytes, 10);
  header.rhythmNumerator = static_cast<std::uint8_t>(core::LoadU8(bytes, 13));
  header.rhythmDenominator = static_cast<std::uint8_t>(core::LoadU8(bytes, 14));
  return header;
}

std::array<std::uint8_t, SEQ_HEADER_SIZE> EncodeSeqHeader(const SepRecordHeader& record) {
  std::array<std::uint8_t, SEQ_HEADER_SIZE> bytes{};
  std::copy(SEQ_MAGIC.begin(), SEQ_MAGIC.end(), bytes.begin());
  core::StoreU32Be(bytes, 4, SEQ_VERSION);
  core::StoreU16Be(bytes, 8, record.resolution);
  core::StoreU8(bytes, 10, record.tempo >> 16);
  core::StoreU16Be(bytes, 11, record.tempo);
  core::StoreU8(bytes, 13, record.rhythmNumerator);
  core::StoreU8(bytes, 14, record.rhythmDenominator);
  return bytes;
}

SepRecordHeader DecodeSepRecordHeader(std::span<const std::uint8_t> bytes) {
  SepRecordHeader header;
  header.sequenceNumber = static_cast<std::uint16_t>(core::LoadU16Be(bytes, 0));
  header.resolution = static_cast<std::uint16_t>(core::LoadU16Be(bytes, 2));
  header.tempo = core::LoadU24Be(bytes, 4);
  header.rhythmNumerator = static_cast<std::uint8_t>(core::LoadU8(bytes, 7));
  header.rhythmDenominator = static_cast<std::uint8_t>(core::LoadU8(bytes, 8));
  header.dataSize = core::LoadU32Be(bytes, 9);
  return header;
}

std::int32_t ScanSepSequences(std::FILE* file, std::int32_t& count, SepSplitTarget* write) {
  if (file == nullptr) return 0;

  // A SEP's 2-byte version 0 is followed by the first record's sequence number 0, so its bytes 4 to 7
  // are four zero bytes; a SEQ has its version there. Bytes the file does not hold are not zero bytes.
  std::array<std::uint8_t, 8> start{};
  if (ReadPresent(file, 0, start) < start.size() || core::LoadU32Be(start, 4) != 0) return 0;

  count = 0;
  const std::int64_t fileSize = MeasureFile(file);
  if (fileSize <= 0) return 0;

  std::int64_t recordOffset = SEP_FIRST_RECORD_OFFSET;
  std::uint32_t expected = 0;
  // Every record takes at least 13 bytes, so the file size bounds the number of records.
  for (std::int64_t records = 0; recordOffset < fileSize && records < fileSize; ++records) {
    std::array<std::uint8_t, SEP_RECORD_HEADER_SIZE> headerBytes{};
    ReadPresent(file, recordOffset, headerBytes);
    const SepRecordHeader header = DecodeSepRecordHeader(headerBytes);
    if (header.sequenceNumber != (expected & 0xFFFF)) break;

    const std::int64_t dataOffset = recordOffset + static_cast<std::int64_t>(SEP_RECORD_HEADER_SIZE);
    const std::int64_t recordEnd = dataOffset + header.dataSize;
    const bool complete = recordEnd <= fileSize;
    if (write != nullptr) {
      if (complete) {
        if (WriteSeqRecord(count, header, file, dataOffset, header.dataSize, *write)) {
          ++write->written;
        } else {
          write->failed = true;
        }
      } else {
        write->failed = true;
        core::SetFailureReason(
            core::FormatText("sequence %02d runs past the end of the file", static_cast<int>(count)));
      }
    }
    ++count;
    ++expected;
    if (!complete || count == INT32_MAX) break;
    recordOffset = recordEnd;
  }
  return count;
}

std::int32_t FindEndOfTrack(std::FILE* file) { return core::FindPatternInFile(file, END_OF_TRACK_MARKER); }

bool CopyFileRange(std::FILE* from, std::int64_t offset, std::int64_t count, std::FILE* to) {
  if (from == nullptr || to == nullptr || offset < 0 || count < 0) return false;
  if (count == 0) return true;
  if (!core::SeekFileStream(from, offset, SEEK_SET)) return false;
  constexpr std::int64_t CHUNK = std::int64_t{256} * 1024;
  std::vector<std::uint8_t> buffer(static_cast<std::size_t>(std::min(count, CHUNK)));
  while (count > 0) {
    const std::size_t want = static_cast<std::size_t>(std::min<std::int64_t>(count, CHUNK));
    if (std::fread(buffer.data(), 1, want, from) != want) return false;
    if (std::fwrite(buffer.data(), 1, want, to) != want) return false;
    count -= static_cast<std::int64_t>(want);
  }
  return true;
}

}  // namespace seq
