#include "ui/commands/drop_files.h"

#include "core/platform.h"
#include "core/text.h"
#include "ui/commands/command_line.h"
#include "ui/commands/drop_dispatch.h"
#include "ui/commands/main_menu.h"
#include "ui/commands/menu_commands.h"

namespace ui {

namespace {

// The menu command that does what the drop did with a file of this kind.
int CommandOfKind(DropKind kind) {
  switch (kind) {
    case DropKind::ExeToPsf:
      return COMMAND_EXE_TO_PSF;
    case DropKind::PsfToExe:
      return COMMAND_PSF_TO_EXE;
    case DropKind::SepToSeq:
      return COMMAND_SEP_TO_SEQ;
    case DropKind::SeqToMidi:
      return COMMAND_SEQ_TO_MIDI;
    case DropKind::VabToVags:
      return COMMAND_VAB_TO_VAG;
    case DropKind::None:
      break;
  }
  return MENU_SEPARATOR;
}

}  // namespace

void HandleDroppedFiles(const std::vector<std::string>& paths, AppState& state, WindowPlatform& platform,
                        const std::vector<std::string>& otherUrls) {
  platform.SetStatusTexts(DROP_STATUS_LEFT, DROP_STATUS_RIGHT);
  std::string failures;
  std::string writtenNote;
  int converted = 0;
  for (const std::string& path : paths) {
    if (path.empty()) continue;
    const DropResult result = DispatchDroppedFile(path, state);
    if (result.produced) {
      ++converted;
      writtenNote = WrittenNote(CommandOfKind(result.kind), path);
      continue;
    }
    failures += core::FormatText("%s%s:\n%s", failures.empty() ? "" : "\n\n", path.c_str(), result.reason.c_str());
  }
  for (const std::string& url : otherUrls) {
    failures += core::FormatText("%s%s:\nnot a local file", failures.empty() ? "" : "\n\n", url.c_str());
  }
  // The idle texts come back whatever happened, before anything is said about the files.
  platform.SetStatusTexts(VERSION_TEXT, IDLE_STATUS_RIGHT);
  if (converted > 1) writtenNote = core::FormatText("converted %d dropped files", converted);
  if (converted > 0) platform.ShowPassingNote(writtenNote);
  if (!failures.empty()) core::ShowUtilityMessage(platform, failures);
}

}  // namespace ui
