#include <cstdio>

#include "ui/app/window_mode.h"
#include "ui/commands/command_line.h"

namespace ui {

// Built without a window: starting without arguments explains the command line instead.
int RunWindowMode(int /*argc*/, char** /*argv*/, AppState& /*state*/) {
  PrintUsage(stdout);
  return 0;
}

}  // namespace ui
