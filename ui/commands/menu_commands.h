#pragma once

#include <string>
#include <string_view>

#include "ui/commands/app_state.h"
#include "ui/commands/window_platform.h"

namespace ui {

// Runs a command of the main window's menu: its file dialogs in order, then the converter the command line
// uses, on the application's state. A cancelled dialog ends ToPSF, FromPSF, Split, ToVAG, SepToSeq and
// SeqToMid without output; Combine shows its three dialogs whatever the answers. A conversion that
// produced no output from the files the user chose is reported in a message box naming the file and the
// reason; one that succeeded says in a short-lived note what it wrote. False for an id that is not a menu command.
bool RunMenuCommand(int commandId, AppState& state, WindowPlatform& platform);

// What a successful conversion wrote, by file name, for the status bar's short-lived note: "wrote town.mid",
// "wrote town.vh and town.vb", "wrote bank00.vag to bank11.vag". count is the number of numbered files that
// SepToSeq and ToVAG wrote; when it is not known (0) they read "wrote the SEQ files of town.sep". Combine
// takes the VAB it wrote as inputPath. Empty for a command that writes no file.
std::string WrittenNote(int commandId, std::string_view inputPath, int count = 0);

// Tells the user in a message box that a command wrote nothing: "what" names the command and its file.
void ReportFailure(core::Platform& platform, std::string_view what, std::string_view reason);

}  // namespace ui
