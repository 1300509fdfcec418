#include "vab/split_combine.h"

#include <optional>
#include <string>

#include "core/failure.h"
#include "core/output_file.h"
#include "core/path_names.h"
#include "core/text.h"
#include "vab/vab_io.h"

namespace vab {

namespace {

// Both parts are written to their temporary files before either replaces its target, so a part that cannot
// be started or written leaves no output; only a failed rename of the VB leaves the VH in place.
int WriteSplitParts(VabBank& bank, const std::filesystem::path& vhPath, const std::filesystem::path& vbPath) {
  std::optional<core::OutputFile> vhFile = core::OutputFile::Create(vhPath);
  if (!vhFile) return 0;
  std::optional<core::OutputFile> vbFile = core::OutputFile::Create(vbPath);
  if (!vbFile) return 0;
  if (WriteVh(vhFile->stream(), bank) == 0) return 0;
  WriteVb(vbFile->stream(), bank, 0);
  if (!vhFile->Commit()) return 0;
  return vbFile->Commit() ? 1 : 0;
}

}  // namespace

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
  if (!TryLoadVab(bank, vabPath)) return 0;
  const int result = WriteSplitParts(bank, vhPath, vbPath);
  ReleaseBank(bank);
  return result;
}

int CombineVab(VabBank& bank, const std::filesystem::path& vabPath, const std::filesystem::path& vhPath,
               const std::filesystem::path& vbPath) {
  ReleaseBank(bank);
  if (core::IsSameFile(vabPath, vhPath) || core::IsSameFile(vabPath, vbPath)) {
    core::SetFailureReason(core::FormatText("not written: the VAB is the same file as the %s",
                                            core::IsSameFile(vabPath, vhPath) ? "VH" : "VB"));
    return 0;
  }
  int result = 0;
  if (TryLoadVh(bank, vhPath) && TryLoadVb(bank, vbPath) && WriteVab(bank, vabPath) != 0) result = 1;
  ReleaseBank(bank);
  return result;
}

}  // namespace vab
