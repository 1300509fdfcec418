#pragma once

#include <QString>
#include <memory>
#include <string_view>

#include "core/platform.h"

class QFileDialog;

namespace ui {

// A dialog pattern list such as "*.SEQ;*.SEP" as Qt name-filter patterns that match in any letter case:
// "*.[Ss][Ee][Qq] *.[Ss][Ee][Pp]".
QString CaselessPatterns(std::string_view patterns);

// One filter entry as a Qt name filter: the description as shown, the caseless patterns behind it.
QString QtNameFilter(std::string_view description, std::string_view patterns);

// The modal open dialog: no owner window, the first filter selected, the default extension appended to a
// name typed without one, the file must exist, one file only.
std::unique_ptr<QFileDialog> MakeOpenFileDialog(std::string_view defaultExtension, const core::FileFilter& filter);

// The modal save dialog for a VAB: "*.VAB", default extension "VAB", no question before replacing a file.
std::unique_ptr<QFileDialog> MakeSaveVabFileDialog();

// Runs a dialog made above; the chosen path as UTF-8, or "" when the user cancelled.
std::string RunFileDialog(QFileDialog& dialog);

// Message texts use "\r\n" between lines; Qt wants "\n".
QString MessageBoxText(std::string_view text);

}  // namespace ui
