#pragma once

#include <QIcon>
#include <QPixmap>

namespace ui {

// The utility's own 48 x 48 window icon, drawn in code: a lantern-lit note on a dark tile.
QPixmap DrawAppIconPixmap();
QIcon AppIcon();

}  // namespace ui
