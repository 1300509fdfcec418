#pragma once

#include <QApplication>
#include <QString>
#include <ostream>

namespace ui_testing {

// The one application object the widget tests share, created on first use (offscreen under ctest).
inline QApplication& TestApplication() {
  static int argc = 1;
  static char name[] = "ui_qt_tests";
  static char* argv[] = {name, nullptr};
  static QApplication application(argc, argv);
  return application;
}

}  // namespace ui_testing

// Readable QString values in test failure messages.
inline void PrintTo(const QString& text, std::ostream* out) { *out << '"' << text.toStdString() << '"'; }
