#include "vab/split_combine.h"

#include <optional>
#include <string>

#include "core/failure.h"
#include "core/file_io.h"
#include "core/output_file.h"
#include "core/path_names.h"
#include "core/text.h"
#include "vab/vab_io.h"

namespace vab {

namespace {

std::optional<std::vector<std::uint8_t>> ReadInput(const std::filesystem::path& path) {
  std::optional<std::vector<std::uint8_t>> bytes = core::LoadWholeFile(path);
  if (!bytes) core::SetFailureReason(core::DescribeSystemError("cannot open"));
  return bytes;
}

// Both parts are written to their temporary files before either replaces its target, so a part that cannot
// be started or written leaves no output; only a failed rename of the VB leaves the VH in place.
int WriteSplitParts(const VabParts& parts, const std::filesystem::path& vhPath, const std::filesystem::path& vbPath) {
  std::optional<core::OutputFile> vhFile = core::OutputFile::Create(vhPath);
  if (!vhFile) return 0;
  std::optional<core::OutputFile> vbFile = core::OutputFile::Create(vbPath);
  if (!vbFile) return 0;
  // An empty part has no buffer to hand to fwrite.
  if (!parts.vh.empty()) std::fwrite(parts.vh.data(), 1, parts.vh.size(), vhFile->stream());
  if (!parts.vb.empty()) std::fwrite(parts.vb.data(), 1, parts.vb.size(), vbFile->stream());
  if (!vhFile->Commit()) return 0;
  return vbFile->Commit() ? 1 : 0;
}

}  // namespace

std::optional<VabParts> SplitVabBytes(std::span<const std::uint8_t> vab) {
  VabBank bank;
  const std::optional<std::size_t> vhSize = TryParseVh(bank, vab);
  if (!vhSize || !TryParseVb(bank, vab.subspan(*vhSize))) return std::nullopt;
  return VabParts{*BuildVhImage(bank), *BuildVbImage(bank)};
}

std::optional<std::vector<std::uint8_t>> CombineVabBytes(std::span<const std::uint8_t> vh,
                                                         std::span<const std::uint8_t> vb) {
  VabBank bank;
  if (!TryParseVh(bank, vh) || !TryParseVb(bank, vb)) return std::nullopt;
  std::vector<std::uint8_t> vab = *BuildVhImage(bank);
  const std::vector<std::uint8_t> samples = *BuildVbImage(bank);
  vab.insert(vab.end(), samples.begin(), samples.end());
  return vab;
}

int SplitVab(VabBank& bank, const std::filesystem::path& vabPath) {
  ReleaseBank(bank);
  const std::string input = core::PathToText(vabPath);
  const std::filesystem::path vhPath = core::TextToPath(core::OutputNameBeside(input, "vh"));
  const std::filesystem::path vbPath = core::TextToPath(core::OutputNameBeside(input, "vb"));
  // A VAB named BANK.vh (or linked there) would be replaced by its own VH part.
  for (const std::filesystem::path& part : {vhPath, vbPath}) {
    if (core::IsSameFile(part, vabPath)) {
      core::SetFailureReason(
          core::FormatText("not written: %s is the same file as the VAB", core::PathToText(part).c_str()));
      return 0;
    }
  }
  const std::optional<std::vector<std::uint8_t>> vab = ReadInput(vabPath);
  if (!vab) return 0;
  const std::optional<VabParts> parts = SplitVabBytes(*vab);
  return parts ? WriteSplitParts(*parts, vhPath, vbPath) : 0;
}

int CombineVab(VabBank& bank, const std::filesystem::path& vabPath, const std::filesystem::path& vhPath,
               const std::filesystem::path& vbPath) {
  ReleaseBank(bank);
  if (core::IsSameFile(vabPath, vhPath) || core::IsSameFile(vabPath, vbPath)) {
    core::SetFailureReason(core::FormatText("not written: the VAB is the same file as the %s",
                                            core::IsSameFile(vabPath, vhPath) ? "VH" : "VB"));
    return 0;
  }
  const std::optional<std::vector<std::uint8_t>> vh = ReadInput(vhPath);
  if (!vh) return 0;
  const std::optional<std::vector<std::uint8_t>> vb = ReadInput(vbPath);
  if (!vb) return 0;
  const std::optional<std::vector<std::uint8_t>> vab = CombineVabBytes(*vh, *vb);
  return vab && core::WriteWholeFile(vabPath, *vab) ? 1 : 0;
}

}  // namespace vab
