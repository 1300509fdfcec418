#include <cstdio>

#include "ui/app/window_mode.h"
#include "ui/commands/command_line.h"

namespace ui {

// A build for a system without the window's toolkit: starting without arguments cannot show what the user
// asked for, so it says why, shows the command line instead and fails.
int RunWindowMode(int /*argc*/, char** /*argv*/, AppState& /*state*/) {
  std::fputs("lfqutil: this build has no main window (it needs Qt for Windows); the command line works:\n", stderr);
  PrintUsage(stderr);
  return 1;
}

}  // namespace ui
