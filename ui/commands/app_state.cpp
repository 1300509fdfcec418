#include "ui/commands/app_state.h"

namespace ui {

void InitApplicationState(AppState& state) {
  state = AppState{};
  core::GatherSystemInfo(state.systemInfo);
}

}  // namespace ui
