#include "ui/commands/batch_mode.h"

namespace ui {

int RunBatchCommands(const std::vector<std::string>& arguments, AppState& state) {
  state.commandLine.arguments = arguments;
  return 0;
}

}  // namespace ui
