#include "seq/sep_split.h"

#include <optional>
#include <string>

#include "core/failure.h"
#include "core/file_io.h"
#include "core/output_file.h"
#include "core/path_names.h"
#include "core/text.h"

namespace seq {

bool WriteSeqRecord(std::int32_t number, const SepRecordHeader& header, std::FILE* sepFile, std::int64_t dataOffset,
                    std::uint32_t dataSize, const SepSplitTarget& target) {
  const std::string name = core::JoinNumberedOutputName(target.directory, target.baseName, number, "seq");
  std::optional<core::OutputFile> output = core::OutputFile::Create(core::TextToPath(name));
  if (!output) return false;
  const std::array<std::uint8_t, SEQ_HEADER_SIZE> seqHeader = EncodeSeqHeader(header);
  if (std::fwrite(seqHeader.data(), 1, seqHeader.size(), output->stream()) != seqHeader.size()) {
    core::SetFailureReason(core::DescribeSystemError("cannot write"));
    return false;
  }
  if (!CopyFileRange(sepFile, dataOffset, dataSize, output->stream())) {
    core::SetFailureReason(core::FormatText("cannot copy sequence %02d", static_cast<int>(number)));
    return false;
  }
  return output->Commit();
}

bool ConvertSepToSeq(const std::filesystem::path& path, std::int32_t& count) {
  core::FileHandle file = core::OpenFile(path, "rb");
  if (!file) {
    core::SetFailureReason(core::DescribeSystemError("cannot open"));
    return false;
  }
  const std::string text = core::PathToText(path);
  SepSplitTarget target{core::GetDirectoryPart(text), core::GetBaseName(text)};
  count = 0;
  if (ScanSepSequences(file.get(), count, &target) == 0) {
    core::SetFailureReason("not a SEP file: bytes 4 to 7 are not zero");
    return false;
  }
  return !target.failed;
}

}  // namespace seq
