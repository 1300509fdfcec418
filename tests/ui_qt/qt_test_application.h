#pragma once

#include <QApplication>
#include <QString>
#include <ostream>

namespace ui_testing {

// The application object the widget tests share: created before the first test (offscreen under ctest)
// and destroyed after the last, before the program's own exit handlers run.
QApplication& TestApplication();

}  // namespace ui_testing

// Readable QString values in test failure messages.
inline void PrintTo(const QString& text, std::ostream* out) { *out << '"' << text.toStdString() << '"'; }
