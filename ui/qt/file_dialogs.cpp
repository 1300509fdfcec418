#include "ui/qt/file_dialogs.h"

#include <QFileDialog>
#include <QStringList>

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

void Configure(QFileDialog& dialog, std::string_view defaultExtension, const core::FileFilter& filter) {
  // Qt's own dialog, so that the patterns behave the same on every desktop.
  dialog.setOption(QFileDialog::DontUseNativeDialog, true);
  // The descriptions already show their patterns.
  dialog.setOption(QFileDialog::HideNameFilterDetails, true);
  QStringList filters;
  for (const auto& [description, patterns] : filter.entries) filters << QtNameFilter(description, patterns);
  dialog.setNameFilters(filters);
  if (!filters.isEmpty()) dialog.selectNameFilter(filters.front());
  dialog.setDefaultSuffix(ToQString(defaultExtension));
}

}  // namespace

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

std::unique_ptr<QFileDialog> MakeOpenFileDialog(std::string_view defaultExtension, const core::FileFilter& filter) {
  auto dialog = std::make_unique<QFileDialog>(nullptr, QStringLiteral("Open"));
  dialog->setAcceptMode(QFileDialog::AcceptOpen);
  dialog->setFileMode(QFileDialog::ExistingFile);
  Configure(*dialog, defaultExtension, filter);
  return dialog;
}

std::unique_ptr<QFileDialog> MakeSaveVabFileDialog() {
  auto dialog = std::make_unique<QFileDialog>(nullptr, QStringLiteral("Save As"));
  dialog->setAcceptMode(QFileDialog::AcceptSave);
  dialog->setFileMode(QFileDialog::AnyFile);
  dialog->setOption(QFileDialog::DontConfirmOverwrite, true);
  core::FileFilter filter;
  filter.entries.emplace_back(core::VAB_SAVE_DESCRIPTION, core::VAB_SAVE_PATTERN);
  Configure(*dialog, core::VAB_SAVE_EXTENSION, filter);
  return dialog;
}

std::string RunFileDialog(QFileDialog& dialog) {
  dialog.setWindowModality(Qt::ApplicationModal);
  if (dialog.exec() != QDialog::Accepted) return {};
  const QStringList files = dialog.selectedFiles();
  if (files.isEmpty()) return {};
  return files.front().toStdString();
}

QString MessageBoxText(std::string_view text) {
  QString out = ToQString(text);
  out.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  return out;
}

}  // namespace ui
