#pragma once

#include <string>
#include <vector>

#include "core/system_info.h"

namespace ui {

// The split argument list of the command line that the batch keywords walk.
struct CommandLineState {
  std::vector<std::string> arguments;
};

// The application's state records, each created once at start-up and passed to the front ends.
struct AppState {
  core::SystemInfo systemInfo;
  CommandLineState commandLine;
};

// Sets up the records and gathers the machine facts; called once, first thing.
void InitApplicationState(AppState& state);

}  // namespace ui
