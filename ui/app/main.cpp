#include <memory>
#include <string>
#include <vector>

#include "ui/app/window_mode.h"
#include "ui/commands/app_state.h"
#include "ui/commands/command_line.h"

int main(int argc, char** argv) {
  auto state = std::make_unique<ui::AppState>();
  ui::InitApplicationState(*state);
  const std::vector<std::string> arguments(argv + 1, argv + argc);
  if (ui::IsEmptyCommandLine(arguments)) return ui::RunWindowMode(argc, argv, *state);
  return ui::RunCommandLine(arguments, *state);
}
