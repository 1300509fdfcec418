#include <memory>
#include <string>
#include <vector>

#include "core/platform_system.h"
#include "ui/app/window_mode.h"
#include "ui/commands/app_state.h"
#include "ui/commands/command_line.h"

int main(int argc, char** argv) {
  core::PrepareConsoleOutput();
  auto state = std::make_unique<ui::AppState>();
  ui::InitApplicationState(*state);
  // Read from the system, not from argv: argv may hold a narrower encoding than the UTF-8 the commands take.
  const std::vector<std::string> arguments = core::QueryCommandLineArguments(argc, argv);
  if (ui::IsEmptyCommandLine(arguments)) return ui::RunWindowMode(argc, argv, *state);
  return ui::RunCommandLine(arguments, *state);
}
