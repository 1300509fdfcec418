#include "ui/qt/qt_platform.h"

#include <QFileDialog>
#include <QMessageBox>

#include "ui/qt/builder_dialog.h"
#include "ui/qt/file_dialogs.h"
#include "ui/qt/main_window.h"

namespace ui {

std::string QtPlatform::ChooseOpenFile(std::string_view defaultExtension, const core::FileFilter& filter) {
  const auto dialog = MakeOpenFileDialog(defaultExtension, filter);
  return RunFileDialog(*dialog);
}

std::string QtPlatform::ChooseSaveVabFile() {
  const auto dialog = MakeSaveVabFileDialog();
  return RunFileDialog(*dialog);
}

void QtPlatform::ShowMessageBox(std::string_view caption, std::string_view text) {
  QMessageBox box(QMessageBox::NoIcon, MessageBoxText(caption), MessageBoxText(text), QMessageBox::Ok);
  box.setTextFormat(Qt::PlainText);
  box.exec();
}

void QtPlatform::SetStatusTexts(std::string_view left, std::string_view right) {
  if (m_window != nullptr) m_window->SetStatusTexts(MessageBoxText(left), MessageBoxText(right));
}

void QtPlatform::ShowPassingNote(std::string_view text) {
  if (m_window != nullptr) m_window->ShowPassingNote(MessageBoxText(text));
}

void QtPlatform::RunBuilderDialog() { RunBuilderDialogLoop(m_state.builder, *this); }

void QtPlatform::CloseMainWindow() {
  if (m_window != nullptr) m_window->close();
}

}  // namespace ui
