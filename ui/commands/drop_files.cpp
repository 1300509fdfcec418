#include "ui/commands/drop_files.h"

#include <filesystem>

#include "core/failure.h"
#include "core/path_names.h"
#include "core/platform.h"
#include "core/text.h"
#include "psf/exe_psf.h"
#include "seq/sep_split.h"
#include "seq/seq_to_midi.h"
#include "ui/commands/command_line.h"
#include "vab/vag_extract.h"

namespace ui {

namespace {

std::filesystem::path PathFromText(std::string_view text) {
  return std::filesystem::path(std::u8string(text.begin(), text.end()));
}

// Interim dispatch by extension until the shared drop dispatch is in place.
void ConvertByExtension(const std::string& path, AppState& state) {
  const std::string extension = core::ToUpperText(core::GetExtensionPart(path));
  const std::filesystem::path file = PathFromText(path);
  if (extension == "EXE") {
    psf::ConvertExeToPsf(file);
  } else if (extension == "PSF") {
    psf::ConvertPsfToExe(file);
  } else if (extension == "SEP") {
    std::int32_t count = 0;
    seq::ConvertSepToSeq(file, count);
  } else if (extension == "SEQ") {
    seq::ConvertSeqToMidi(file);
  } else if (extension == "VAB") {
    vab::ExtractAllVags(state.sharedBank, file);
  }
}

}  // namespace

void HandleDroppedFiles(const std::vector<std::string>& paths, AppState& state, WindowPlatform& platform) {
  platform.SetStatusTexts(DROP_STATUS_LEFT, DROP_STATUS_RIGHT);
  std::string failures;
  for (const std::string& path : paths) {
    if (path.empty()) continue;
    core::TakeFailureReason();
    ConvertByExtension(path, state);
    const std::string reason = core::TakeFailureReason();
    if (!reason.empty())
      failures += core::FormatText("%s%s:\n%s", failures.empty() ? "" : "\n\n", path.c_str(), reason.c_str());
  }
  platform.SetStatusTexts(VERSION_TEXT, IDLE_STATUS_RIGHT);
  if (!failures.empty()) core::ShowUtilityMessage(platform, failures);
}

}  // namespace ui
