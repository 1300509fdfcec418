#pragma once

#include "ui/commands/app_state.h"

// The window lives in a module of its own, lfqutil-window.so (installed in the private folder lib/lfqutil,
// beside the executable in the build tree), loaded only when the program starts without arguments: the
// batch mode then never pays for loading Qt.
inline constexpr const char* WINDOW_MODULE_FILE = "lfqutil-window.so";
inline constexpr const char* WINDOW_MODULE_ENTRY = "lfq_run_window_mode";

extern "C" {
using WindowModuleEntry = int (*)(int argc, char** argv, ui::AppState* state);
}
