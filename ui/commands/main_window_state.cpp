#include "ui/commands/main_window_state.h"

namespace ui {

void SetUpMainWindowGeometry(MainWindowState& state) {
  if (state.clientWidth == 0) state.clientWidth = DEFAULT_CLIENT_WIDTH;
  if (state.clientHeight == 0) state.clientHeight = DEFAULT_CLIENT_HEIGHT;
  state.width = static_cast<float>(state.clientWidth);
  state.height = static_cast<float>(state.clientHeight);
  state.aspectRatio = state.width / state.height;
  state.halfWidth = state.width * 0.5f;
  state.halfHeight = state.height * 0.5f;
  state.windowRect = WindowRect{0, 0, state.clientWidth, state.clientHeight};
}

std::int32_t StatusLeftPartEnd(const MainWindowState& state) { return state.clientWidth - STATUS_RIGHT_PART_WIDTH; }

}  // namespace ui
