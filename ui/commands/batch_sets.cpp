#include "ui/commands/batch_sets.h"

#include "core/failure.h"
#include "core/path_names.h"
#include "psf/psf_set.h"

namespace ui {

namespace {

// The file operand of the keyword at index; false (reported) when it is missing.
bool TakeOutputOperand(BatchRun& run, std::string_view keyword, std::size_t index, std::string& path) {
  path = run.Argument(index + 1);
  if (!path.empty()) return true;
  run.Report(keyword, "", "missing file name");
  return false;
}

// Whether the build may be written to path: a driver is held, no step failed, path is no build input.
bool CheckOutput(BatchRun& run, std::string_view keyword, const std::string& path) {
  if (!run.builder().held) {
    run.Report(keyword, path, "no driver loaded (MAKE or OPEN first)");
    return false;
  }
  return run.CheckBuildOutput(keyword, path);
}

}  // namespace

void RunLib(BatchRun& run, std::size_t index) {
  // A minipsf written after a failed LIB would refer to a library the user did not mean.
  run.lastLibrary.reset();
  run.libraryFailed = true;
  std::string path;
  if (!TakeOutputOperand(run, "LIB", index, path) || !CheckOutput(run, "LIB", path)) return;
  core::TakeFailureReason();
  run.lastLibrary = psf::WritePsfLibrary(run.builder(), core::TextToPath(path));
  if (!run.lastLibrary) {
    run.ReportNoted("LIB", path, "cannot write the psflib");
    return;
  }
  run.libraryFailed = false;
}

void RunMini(BatchRun& run, std::size_t index) {
  std::string path;
  if (TakeOutputOperand(run, "MINI", index, path)) WriteBuildAsMinipsf(run, "MINI", path);
}

bool WriteBuildAsMinipsf(BatchRun& run, std::string_view keyword, const std::string& path) {
  if (!CheckOutput(run, keyword, path)) return false;
  if (!run.lastLibrary) {
    run.Report(keyword, path,
               run.libraryFailed ? "not written: the LIB it refers to failed" : "not written: no LIB before it");
    return false;
  }
  core::TakeFailureReason();
  if (!psf::WriteMiniPsf(run.builder(), *run.lastLibrary, run.tagEdits, core::TextToPath(path))) {
    run.ReportNoted(keyword, path, "cannot write the minipsf");
    return false;
  }
  return true;
}

}  // namespace ui
