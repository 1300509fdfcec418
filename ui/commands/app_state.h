#pragma once

#include <string>
#include <vector>

#include "core/system_info.h"
#include "psf/psf_builder.h"
#include "ui/commands/main_window_state.h"
#include "vab/vab_bank.h"

namespace ui {

// The split argument list of the command line that the batch keywords walk.
struct CommandLineState {
  std::vector<std::string> arguments;
};

// The application's state records, each created once at start-up and passed to the front ends.
struct AppState {
  core::SystemInfo systemInfo;
  CommandLineState commandLine;
  vab::VabBank sharedBank;     // the bank of the window's VAB commands and the drop dispatch
  psf::PsfBuilder builder;     // the PSF builder's driver, parameters, bank and tag text
  MainWindowState mainWindow;  // the main window's geometry
};

// Sets up the records and gathers the machine facts; called once, first thing.
void InitApplicationState(AppState& state);

}  // namespace ui
