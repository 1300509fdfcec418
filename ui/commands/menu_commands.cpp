#include "ui/commands/menu_commands.h"

#include <cstdint>
#include <filesystem>
#include <string>

#include "core/failure.h"
#include "core/path_names.h"
#include "core/text.h"
#include "psf/exe_psf.h"
#include "seq/sep_split.h"
#include "seq/seq_to_midi.h"
#include "ui/commands/drop_dispatch.h"
#include "ui/commands/main_menu.h"
#include "vab/split_combine.h"
#include "vab/vab_bank.h"
#include "vab/vag_extract.h"

namespace ui {

namespace {

constexpr std::string_view NO_OUTPUT = "no output was written";

std::string ChooseFile(core::Platform& platform, std::string_view defaultExtension, std::string_view description,
                       std::string_view pattern) {
  core::FileFilter filter;
  filter.entries.emplace_back(description, pattern);
  return platform.ChooseOpenFile(defaultExtension, filter);
}

// Reports a failed conversion of one chosen file, with the reason the converter noted; true when it did.
bool ReportIfFailed(core::Platform& platform, int commandId, const std::string& path, bool succeeded) {
  std::string reason = core::TakeFailureReason();
  if (succeeded && reason.empty()) return false;
  if (reason.empty()) reason = commandId == COMMAND_SEP_TO_SEQ ? "no sequence found" : NO_OUTPUT;
  ReportFailure(platform, core::FormatText("%s %s", std::string(MenuTextOf(commandId)).c_str(), path.c_str()), reason);
  return true;
}

// The last part of a path, as its bytes.
std::string FileNameOf(std::string_view path) { return core::PathToText(core::TextToPath(path).filename()); }

std::string NumberedNote(std::string_view inputPath, int count, std::string_view extension) {
  const std::string directory = core::GetDirectoryPart(inputPath);
  const std::string baseName = core::GetBaseName(inputPath);
  const std::string first = FileNameOf(core::JoinNumberedOutputName(directory, baseName, 0, extension));
  if (count == 1) return "wrote " + first;
  const std::string last = FileNameOf(core::JoinNumberedOutputName(directory, baseName, count - 1, extension));
  return core::FormatText("wrote %s to %s", first.c_str(), last.c_str());
}

void RunConversion(int commandId, AppState& state, WindowPlatform& platform) {
  std::string path;
  switch (commandId) {
    case COMMAND_EXE_TO_PSF:
      path = ChooseFile(platform, "EXE", "Sony PlayStation File (*.EXE)", "*.EXE");
      break;
    case COMMAND_PSF_TO_EXE:
      path = ChooseFile(platform, "PSF", "Portable Sound Format (*.PSF;*.MINIPSF)", "*.PSF;*.MINIPSF");
      break;
    case COMMAND_SPLIT_VAB:
    case COMMAND_VAB_TO_VAG:
      path = ChooseFile(platform, "VAB", "Sony PlayStation File (*.VAB)", "*.VAB");
      break;
    case COMMAND_SEP_TO_SEQ:
      path = ChooseFile(platform, "SEP", "Sony PlayStation File (*.SEP)", "*.SEP");
      break;
    case COMMAND_SEQ_TO_MIDI:
      path = ChooseFile(platform, "SEQ", "Sony PlayStation File (*.SEQ)", "*.SEQ");
      break;
    default:
      return;
  }
  // A cancelled dialog: the user chose not to convert anything.
  if (path.empty()) return;

  core::TakeFailureReason();
  bool succeeded = false;
  int written = 0;  // numbered files written
  switch (commandId) {
    case COMMAND_EXE_TO_PSF:
      succeeded = psf::ConvertExeToPsf(core::TextToPath(path));
      break;
    case COMMAND_PSF_TO_EXE:
      succeeded = psf::ConvertPsfToExe(core::TextToPath(path));
      break;
    case COMMAND_SPLIT_VAB:
      succeeded = vab::SplitVab(state.sharedBank, core::TextToPath(path)) != 0;
      vab::ReleaseBank(state.sharedBank);
      break;
    case COMMAND_VAB_TO_VAG: {
      const vab::VagExtraction done = vab::ExtractVagsBeside(state.sharedBank, core::TextToPath(path));
      vab::ReleaseBank(state.sharedBank);
      succeeded = done.loaded && done.written == done.sampleCount;
      written = done.written;
      // A bank without samples rightly writes no file; the user is told why nothing appeared.
      if (done.loaded && done.sampleCount == 0) {
        core::TakeFailureReason();
        ReportFailure(platform, core::FormatText("%s %s", std::string(MenuTextOf(commandId)).c_str(), path.c_str()),
                      VAB_WITHOUT_SAMPLES);
        return;
      }
      break;
    }
    case COMMAND_SEP_TO_SEQ: {
      std::int32_t count = 0;
      // A file that holds no sequence writes nothing, and says so.
      succeeded = seq::ConvertSepToSeq(core::TextToPath(path), count) && count > 0;
      written = count;
      break;
    }
    case COMMAND_SEQ_TO_MIDI:
      succeeded = seq::ConvertSeqToMidi(core::TextToPath(path)) != 0;
      break;
    default:
      break;
  }
  if (ReportIfFailed(platform, commandId, path, succeeded)) return;
  platform.ShowPassingNote(WrittenNote(commandId, path, written));
}

void CombineFiles(AppState& state, WindowPlatform& platform) {
  // All three dialogs come up, one after the other, whatever the earlier answers.
  const std::string vhPath = ChooseFile(platform, "VH", "Sony PlayStation File (*.VH)", "*.VH");
  const std::string vbPath = ChooseFile(platform, "VB", "Sony PlayStation File (*.VB)", "*.VB");
  const std::string vabPath = platform.ChooseSaveVabFile();
  core::TakeFailureReason();
  const bool succeeded = vab::CombineVab(state.sharedBank, core::TextToPath(vabPath), core::TextToPath(vhPath),
                                         core::TextToPath(vbPath)) != 0;
  vab::ReleaseBank(state.sharedBank);
  std::string reason = core::TakeFailureReason();
  if (succeeded) {
    platform.ShowPassingNote(WrittenNote(COMMAND_COMBINE_VAB, vabPath));
    return;
  }
  // A cancelled dialog leaves nothing to report: the user chose not to combine.
  if (vhPath.empty() || vbPath.empty() || vabPath.empty()) return;
  if (reason.empty()) reason = NO_OUTPUT;
  ReportFailure(platform,
                core::FormatText("Combine %s and %s into %s", vhPath.c_str(), vbPath.c_str(), vabPath.c_str()), reason);
}

}  // namespace

std::string WrittenNote(int commandId, std::string_view inputPath, int count) {
  const std::string input(inputPath);
  const auto beside = [&input](std::string_view extension) {
    return FileNameOf(core::OutputNameBeside(input, extension));
  };
  switch (commandId) {
    case COMMAND_EXE_TO_PSF:
      return "wrote " + beside("psf");
    case COMMAND_PSF_TO_EXE:
      return "wrote " + beside("exe");
    case COMMAND_SEQ_TO_MIDI:
      return "wrote " + beside("mid");
    case COMMAND_SPLIT_VAB:
      return core::FormatText("wrote %s and %s", beside("vh").c_str(), beside("vb").c_str());
    case COMMAND_COMBINE_VAB:
      return "wrote " + FileNameOf(input);
    case COMMAND_SEP_TO_SEQ:
      return count > 0 ? NumberedNote(input, count, "seq") : "wrote the SEQ files of " + FileNameOf(input);
    case COMMAND_VAB_TO_VAG:
      return count > 0 ? NumberedNote(input, count, "vag") : "wrote the VAG files of " + FileNameOf(input);
    default:
      return {};
  }
}

void ReportFailure(core::Platform& platform, std::string_view what, std::string_view reason) {
  core::ShowUtilityMessage(platform,
                           core::FormatText("%s:\n%s", std::string(what).c_str(), std::string(reason).c_str()));
}

bool RunMenuCommand(int commandId, AppState& state, WindowPlatform& platform) {
  switch (commandId) {
    case COMMAND_ABOUT:
      platform.ShowMessageBox(core::UTILITY_CAPTION, AboutText(state.systemInfo));
      return true;
    case COMMAND_EXIT:
      platform.CloseMainWindow();
      return true;
    case COMMAND_PSF:
      platform.RunBuilderDialog();
      return true;
    case COMMAND_COMBINE_VAB:
      CombineFiles(state, platform);
      return true;
    case COMMAND_EXE_TO_PSF:
    case COMMAND_PSF_TO_EXE:
    case COMMAND_SPLIT_VAB:
    case COMMAND_VAB_TO_VAG:
    case COMMAND_SEP_TO_SEQ:
    case COMMAND_SEQ_TO_MIDI:
      RunConversion(commandId, state, platform);
      return true;
    default:
      return false;
  }
}

}  // namespace ui
