#pragma once

#include <optional>

namespace ui {

// A rectangle on the screen: left and top inclusive, right and bottom exclusive.
struct ScreenRect {
  int left = 0;
  int top = 0;
  int right = 0;
  int bottom = 0;
};

struct WindowPosition {
  int x = 0;
  int y = 0;
};

// Where a window of the given outer size goes to sit in the middle of the desktop. The work area (the
// desktop without task bars) keeps its right and bottom edges inside; when the window system does not
// report one, 0, 0 to the screen size stands in. A position that would be negative becomes 0, yet the
// right and bottom edges win over it: a window wider than the work area may end up left of 0.
WindowPosition CentreWindow(int width, int height, const ScreenRect& desktop, const std::optional<ScreenRect>& workArea,
                            int screenWidth, int screenHeight);

}  // namespace ui
