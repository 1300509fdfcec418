#include "ui/commands/batch_unpack.h"

#include <string>
#include <system_error>

#include "core/failure.h"
#include "core/output_file.h"
#include "core/path_names.h"
#include "core/text.h"
#include "psf/psf_set.h"
#include "psf/unpack.h"

namespace ui {

std::optional<psf::PsfContents> LoadPsfForUnpack(const std::filesystem::path& path) {
  std::optional<psf::PsfSet> set = psf::LoadPsfSetFile(path);
  if (!set) return std::nullopt;
  return psf::PsfContents{std::move(set->program), std::move(set->tags)};
}

void RunUnpack(BatchRun& run, std::size_t index) {
  const std::string& psfPath = run.Argument(index + 1);
  const std::string& dirPath = run.Argument(index + 2);
  if (psfPath.empty() || dirPath.empty()) {
    run.Report("UNPACK", psfPath, "needs a PSF and a directory to write into");
    return;
  }
  core::TakeFailureReason();
  const std::optional<psf::PsfContents> contents = LoadPsfForUnpack(core::TextToPath(psfPath));
  if (!contents) {
    run.ReportNoted("UNPACK", psfPath, "cannot read the PSF");
    return;
  }
  // A PSF named without an extension names its parts after its whole file name.
  std::string name = core::GetBaseName(psfPath);
  if (name.empty()) name = core::PathToText(core::TextToPath(psfPath).filename());
  std::string reason;
  const std::optional<psf::UnpackedPsf> unpacked =
      psf::UnpackPsfProgram(contents->program, contents->tags, name, reason);
  if (!unpacked) {
    run.Report("UNPACK", psfPath, "nothing written: " + reason);
    return;
  }
  const std::filesystem::path directory = core::TextToPath(dirPath);
  std::error_code error;
  std::filesystem::create_directories(directory, error);
  if (error || !std::filesystem::is_directory(directory)) {
    run.Report("UNPACK", dirPath,
               "cannot make the directory: " + (error ? error.message() : std::string("a file of that name exists")));
    return;
  }
  // A part named like the PSF itself (song.vh taken apart into its own directory) would destroy it.
  for (const psf::UnpackedFile& file : unpacked->files) {
    if (core::IsSameFile(directory / core::TextToPath(file.name), core::TextToPath(psfPath))) {
      run.Report("UNPACK", psfPath, "nothing written: " + file.name + " would replace the PSF itself");
      return;
    }
  }
  for (const psf::UnpackedFile& file : unpacked->files) {
    const std::filesystem::path target = directory / core::TextToPath(file.name);
    core::TakeFailureReason();
    if (!core::WriteWholeFile(target, file.bytes)) run.ReportNoted("UNPACK", core::PathToText(target), "cannot write");
  }
  for (const std::string& shortfall : unpacked->shortfalls) run.Warn("UNPACK", psfPath, shortfall);
}

}  // namespace ui
