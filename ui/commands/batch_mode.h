#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "ui/commands/app_state.h"

namespace ui {

// Walks the keyword arguments left to right and runs each; failures are reported on standard error.
// Exit status: 0 when every keyword did its work, 1 when any failed.
int RunBatchCommands(const std::vector<std::string>& arguments, AppState& state);

// The same, with the failure lines ("lfqutil: KEYWORD FILE: reason") written to errors.
int RunBatchCommands(const std::vector<std::string>& arguments, AppState& state, std::FILE* errors);

}  // namespace ui
