#pragma once

#include <QFileDialog>
#include <QString>
#include <memory>
#include <string>
#include <string_view>

#include "core/platform.h"

namespace ui {

// Qt's file dialog that answers with the bytes of the file on disk. A name typed without an extension gets
// the default extension in lower case; an open dialog then finds the file with that extension in any
// letter case (song -> song.seq or song.SEQ) and reports a name that does not exist in lower case. A name
// that Qt shows with U+FFFD (not UTF-8 on disk) is found again by its directory's entries.
class FileDialog : public QFileDialog {
 public:
  FileDialog(const QString& caption, std::string_view defaultExtension);

  // The default extension as the command asked for it ("SEQ", "VAB").
  const QString& defaultExtension() const { return m_defaultExtension; }
  // The accepted answer's bytes; "" before the dialog has been accepted.
  const std::string& chosenPath() const { return m_chosenPath; }

  void accept() override;

 private:
  QString m_defaultExtension;
  std::string m_chosenPath;
};

// A dialog pattern list such as "*.SEQ;*.SEP" as Qt name-filter patterns that match in any letter case:
// "*.[Ss][Ee][Qq] *.[Ss][Ee][Pp]".
QString CaselessPatterns(std::string_view patterns);

// One filter entry as a Qt name filter: the description as shown, the caseless patterns behind it.
QString QtNameFilter(std::string_view description, std::string_view patterns);

// The modal open dialog, titled by what it asks for ("Open SEQ file"; VH and VB say which half of a VAB):
// no owner window, the first filter selected, the default extension appended to a
// name typed without one, the file must exist, one file only.
std::unique_ptr<FileDialog> MakeOpenFileDialog(std::string_view defaultExtension, const core::FileFilter& filter);

// The modal save dialog for a VAB, titled "Save VAB file as": "*.VAB", default extension "VAB" (written ".vab"), no
// question before replacing a file.
std::unique_ptr<FileDialog> MakeSaveVabFileDialog();

// Runs a dialog made above; the chosen path's bytes, or "" when the user cancelled.
std::string RunFileDialog(FileDialog& dialog);

// Message texts use "\r\n" between lines; Qt wants "\n".
QString MessageBoxText(std::string_view text);

}  // namespace ui
