#include "ui/app/window_mode.h"

#include <QApplication>
#include <cstdio>
#include <cstdlib>

#include "ui/qt/app_icon.h"
#include "ui/qt/main_window.h"

namespace ui {

namespace {

// Whether a display can be reached at all; without one, Qt would stop the program with an abort.
bool HasDisplay() {
  for (const char* variable : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"}) {
    const char* value = std::getenv(variable);
    if (value != nullptr && *value != '\0') return true;
  }
  return false;
}

}  // namespace

int RunWindowMode(int argc, char** argv, AppState& state) {
  if (!HasDisplay()) {
    std::fputs("lfqutil: cannot open the main window: no display (DISPLAY is not set); see lfqutil --help\n", stderr);
    return 1;
  }
  int arguments = argc;
  QApplication application(arguments, argv);
  QApplication::setApplicationName(QString::fromLatin1(MAIN_WINDOW_TITLE));
  QApplication::setWindowIcon(AppIcon());
  MainWindow window(state);
  window.adjustSize();
  window.CentreOnScreen();
  window.show();
  return QApplication::exec();
}

}  // namespace ui
