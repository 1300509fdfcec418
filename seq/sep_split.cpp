#include "seq/sep_split.h"

#include <algorithm>
#include <optional>
#include <string>

#include "core/failure.h"
#include "core/file_io.h"
#include "core/output_file.h"
#include "core/path_names.h"
#include "core/text.h"

namespace seq {

std::vector<std::uint8_t> SeqFromSepRecord(const SepRecordHeader& header, std::span<const std::uint8_t> data) {
  const std::array<std::uint8_t, SEQ_HEADER_SIZE> seqHeader = EncodeSeqHeader(header);
  std::vector<std::uint8_t> seq(seqHeader.size() + data.size());
  std::copy(seqHeader.begin(), seqHeader.end(), seq.begin());
  std::copy(data.begin(), data.end(), seq.begin() + static_cast<std::ptrdiff_t>(seqHeader.size()));
  return seq;
}

std::optional<SepSplit> SplitSepBytes(std::span<const std::uint8_t> sep) {
  const std::optional<SepLayout> layout = ScanSepRecords(sep);
  if (!layout) return std::nullopt;
  SepSplit split;
  split.count = static_cast<std::int32_t>(layout->records.size());
  split.cut = layout->cut;
  const std::size_t complete = layout->records.size() - (layout->cut ? 1 : 0);
  split.seqFiles.reserve(complete);
  for (std::size_t i = 0; i < complete; ++i) {
    const SepRecord& record = layout->records[i];
    split.seqFiles.push_back(SeqFromSepRecord(record.header, sep.subspan(record.dataOffset, record.header.dataSize)));
  }
  return split;
}

bool WriteSeqFile(std::int32_t number, std::span<const std::uint8_t> seq, const SepSplitTarget& target) {
  const std::string name = core::JoinNumberedOutputName(target.directory, target.baseName, number, "seq");
  std::optional<core::OutputFile> output = core::OutputFile::Create(core::TextToPath(name));
  if (!output) return false;
  if (std::fwrite(seq.data(), 1, seq.size(), output->stream()) != seq.size()) {
    core::SetFailureReason(core::DescribeSystemError("cannot write"));
    return false;
  }
  return output->Commit();
}

void WriteSepSplit(const SepSplit& split, SepSplitTarget& target) {
  for (std::size_t i = 0; i < split.seqFiles.size(); ++i) {
    if (WriteSeqFile(static_cast<std::int32_t>(i), split.seqFiles[i], target)) {
      ++target.written;
    } else {
      target.failed = true;
    }
  }
  if (split.cut) {
    target.failed = true;
    core::SetFailureReason(
        core::FormatText("sequence %02d runs past the end of the file", static_cast<int>(split.count - 1)));
  }
}

bool ConvertSepToSeq(const std::filesystem::path& path, std::int32_t& count) {
  const std::optional<std::vector<std::uint8_t>> bytes = core::LoadWholeFile(path);
  if (!bytes) {
    core::SetFailureReason(core::DescribeSystemError("cannot open"));
    return false;
  }
  count = 0;
  const std::optional<SepSplit> split = SplitSepBytes(*bytes);
  if (!split) {
    core::SetFailureReason("not a SEP file: bytes 4 to 7 are not zero");
    return false;
  }
  count = split->count;
  const std::string text = core::PathToText(path);
  SepSplitTarget target{core::GetDirectoryPart(text), core::GetBaseName(text)};
  WriteSepSplit(*split, target);
  return !target.failed;
}

}  // namespace seq
