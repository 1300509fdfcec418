#pragma once

#include <cstdint>

namespace ui {

inline constexpr std::int32_t DEFAULT_CLIENT_WIDTH = 320;
inline constexpr std::int32_t DEFAULT_CLIENT_HEIGHT = 240;
// The status bar's left part ends this far before the right edge of the client area.
inline constexpr std::int32_t STATUS_RIGHT_PART_WIDTH = 42;

struct WindowRect {
  std::int32_t left = 0;
  std::int32_t top = 0;
  std::int32_t right = 0;
  std::int32_t bottom = 0;
};

// The main window's geometry. The window-system objects themselves belong to the window front end.
struct MainWindowState {
  std::int32_t clientWidth = 0;
  std::int32_t clientHeight = 0;
  float width = 0.0f;
  float height = 0.0f;
  float aspectRatio = 0.0f;
  float halfWidth = 0.0f;
  float halfHeight = 0.0f;
  // The client rectangle grown to the outer size of the window (frame and menu bar), once it is known.
  WindowRect windowRect;
};

// Gives a client size of 0 its default of 320 x 240, fills the float fields and sets the window
// rectangle to the client rectangle (the window system grows it later).
void SetUpMainWindowGeometry(MainWindowState& state);

// Where the status bar's left part ends, in client coordinates.
std::int32_t StatusLeftPartEnd(const MainWindowState& state);

}  // namespace ui
