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

// The whole stream, read from its start; nothing when it cannot be measured or read.
std::optional<std::vector<std::uint8_t>> ReadWholeStream(std::FILE* file) {
  if (!core::SeekFileStream(file, 0, SEEK_END)) return std::nullopt;
  const std::int64_t size = core::TellFileStream(file);
  if (size < 0 || !core::SeekFileStream(file, 0, SEEK_SET)) return std::nullopt;
  std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size));
  if (std::fread(bytes.data(), 1, bytes.size(), file) != bytes.size()) return std::nullopt;
  return bytes;
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

std::optional<SepLayout> ScanSepRecords(std::span<const std::uint8_t> sep) {
  // A SEP's 2-byte version 0 is followed by the first record's sequence number 0, so its bytes 4 to 7
  // are four zero bytes; a SEQ has its version there. Bytes that are not there are not zero bytes.
  if (sep.size() < 8 || core::LoadU32Be(sep, 4) != 0) return std::nullopt;

  SepLayout layout;
  std::size_t recordOffset = static_cast<std::size_t>(SEP_FIRST_RECORD_OFFSET);
  // Every record takes at least 13 bytes, so the size bounds the number of records.
  while (recordOffset < sep.size() && layout.records.size() < static_cast<std::size_t>(INT32_MAX)) {
    const SepRecordHeader header = DecodeSepRecordHeader(sep.subspan(recordOffset));
    if (header.sequenceNumber != (layout.records.size() & 0xFFFF)) break;
    const std::size_t dataOffset = recordOffset + SEP_RECORD_HEADER_SIZE;
    layout.records.push_back({header, dataOffset});
    // Compared as a length, so that a data size near 4 GiB cannot wrap around.
    if (dataOffset > sep.size() || header.dataSize > sep.size() - dataOffset) {
      layout.cut = true;
      break;
    }
    recordOffset = dataOffset + header.dataSize;
  }
  return layout;
}

std::int32_t ScanSepSequences(std::FILE* file, std::int32_t& count, SepSplitTarget* write) {
  if (file == nullptr) return 0;
  const std::optional<std::vector<std::uint8_t>> bytes = ReadWholeStream(file);
  if (!bytes) return 0;
  const std::optional<SepLayout> layout = ScanSepRecords(*bytes);
  if (!layout) return 0;
  count = static_cast<std::int32_t>(layout->records.size());
  if (write != nullptr) WriteSepSplit(SplitSepBytes(*bytes).value_or(SepSplit{}), *write);
  return count;
}

std::int32_t FindEndOfTrack(std::FILE* file) { return core::FindPatternInFile(file, END_OF_TRACK_MARKER); }

}  // namespace seq
