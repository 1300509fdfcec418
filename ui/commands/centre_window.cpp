#include "ui/commands/centre_window.h"

namespace ui {

WindowPosition CentreWindow(int width, int height, const ScreenRect& desktop, const std::optional<ScreenRect>& workArea,
                            int screenWidth, int screenHeight) {
  const ScreenRect work = workArea.value_or(ScreenRect{0, 0, screenWidth, screenHeight});
  // Integer division rounds the halves towards zero.
  WindowPosition position{(desktop.right - desktop.left - width) / 2 + desktop.left,
                          (desktop.bottom - desktop.top - height) / 2 + desktop.top};
  // The lower clamp is 0, not the work area's own left or top edge.
  if (position.x < 0) {
    position.x = 0;
  } else if (position.x + width > work.right) {
    position.x = work.right - width;
  }
  if (position.y < 0) {
    position.y = 0;
  } else if (position.y + height > work.bottom) {
    position.y = work.bottom - height;
  }
  return position;
}

}  // namespace ui
