#pragma once

#include "ui/commands/app_state.h"

namespace ui {

// Opens the main window and runs its event loop until it is closed; the exit status.
int RunWindowMode(int argc, char** argv, AppState& state);

}  // namespace ui
