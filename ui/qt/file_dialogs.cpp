#include "ui/qt/file_dialogs.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QStringList>

#include "ui/qt/file_names.h"

namespace ui {

namespace {

QString ToQString(std::string_view text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

QString CaselessGlob(const QString& glob) {
  QString out;
  for (const QChar c : glob) {
    const QChar upper = c.toUpper();
    const QChar lower = c.toLower();
    if (upper != lower) {
      out += QLatin1Char('[') + upper + lower + QLatin1Char(']');
    } else {
      out += c;
    }
  }
  return out;
}

void Configure(QFileDialog& dialog, const core::FileFilter& filter) {
  // Qt's own dialog, so that the patterns behave the same on every desktop.
  dialog.setOption(QFileDialog::DontUseNativeDialog, true);
  // The descriptions already show their patterns.
  dialog.setOption(QFileDialog::HideNameFilterDetails, true);
  QStringList filters;
  for (const auto& [description, patterns] : filter.entries) filters << QtNameFilter(description, patterns);
  dialog.setNameFilters(filters);
  if (!filters.isEmpty()) dialog.selectNameFilter(filters.front());
}

// What an open dialog asks for, by the default extension its command gives: "Open VH file (voice header)".
QString OpenCaption(std::string_view defaultExtension) {
  QString caption = QStringLiteral("Open %1 file").arg(ToQString(defaultExtension));
  const QString upper = ToQString(defaultExtension).toUpper();
  // The two halves of a split VAB look alike in a file list; the title tells which one is asked for.
  if (upper == QLatin1String("VH")) caption += QStringLiteral(" (voice header)");
  if (upper == QLatin1String("VB")) caption += QStringLiteral(" (voice samples)");
  return caption;
}

}  // namespace

FileDialog::FileDialog(const QString& caption, std::string_view defaultExtension)
    : QFileDialog(nullptr, caption), m_defaultExtension(ToQString(defaultExtension)) {
  // Names this program writes carry lower-case extensions; an open dialog finds any letter case.
  setDefaultSuffix(m_defaultExtension.toLower());
}

// Qt's own acceptance looks a name up as Qt shows it, which misses a name that is not UTF-8 on disk and an
// extension in another letter case; a file found here ends the dialog directly.
void FileDialog::accept() {
  const QStringList files = selectedFiles();
  // A directory typed or chosen: Qt goes into it.
  if (files.size() != 1 || QFileInfo(files.front()).isDir()) {
    QFileDialog::accept();
    return;
  }
  const QString& shown = files.front();
  if (acceptMode() == QFileDialog::AcceptSave) {
    m_chosenPath = FileToSave(shown);
    done(QDialog::Accepted);
    return;
  }
  if (const auto found = FindFileToOpen(shown)) {
    m_chosenPath = *found;
    done(QDialog::Accepted);
    return;
  }
  // Qt tells the user that the file does not exist.
  QFileDialog::accept();
}

QString CaselessPatterns(std::string_view patterns) {
  QStringList globs;
  for (const QString& glob : ToQString(patterns).split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
    globs << CaselessGlob(glob.trimmed());
  }
  return globs.join(QLatin1Char(' '));
}

QString QtNameFilter(std::string_view description, std::string_view patterns) {
  return ToQString(description) + QStringLiteral(" (") + CaselessPatterns(patterns) + QLatin1Char(')');
}

std::unique_ptr<FileDialog> MakeOpenFileDialog(std::string_view defaultExtension, const core::FileFilter& filter) {
  auto dialog = std::make_unique<FileDialog>(OpenCaption(defaultExtension), defaultExtension);
  dialog->setAcceptMode(QFileDialog::AcceptOpen);
  dialog->setFileMode(QFileDialog::ExistingFile);
  Configure(*dialog, filter);
  return dialog;
}

std::unique_ptr<FileDialog> MakeSaveVabFileDialog() {
  auto dialog = std::make_unique<FileDialog>(QStringLiteral("Save VAB file as"), core::VAB_SAVE_EXTENSION);
  dialog->setAcceptMode(QFileDialog::AcceptSave);
  dialog->setFileMode(QFileDialog::AnyFile);
  dialog->setOption(QFileDialog::DontConfirmOverwrite, true);
  core::FileFilter filter;
  filter.entries.emplace_back(core::VAB_SAVE_DESCRIPTION, core::VAB_SAVE_PATTERN);
  Configure(*dialog, filter);
  return dialog;
}

std::string RunFileDialog(FileDialog& dialog) {
  dialog.setWindowModality(Qt::ApplicationModal);
  if (dialog.exec() != QDialog::Accepted) return {};
  if (!dialog.chosenPath().empty()) return dialog.chosenPath();
  // Accepted by Qt itself (a file that is not a regular one): the name as Qt has it.
  const QStringList files = dialog.selectedFiles();
  if (files.isEmpty()) return {};
  return PathFromQString(files.front());
}

QString MessageBoxText(std::string_view text) {
  QString out = ToQString(text);
  out.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  return out;
}

}  // namespace ui
