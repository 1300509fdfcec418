#pragma once

#include "ui/commands/app_state.h"
#include "ui/commands/window_platform.h"

namespace ui {

class MainWindow;

// The window system as the commands see it: Qt file dialogs and message boxes without an owner window,
// the main window's status bar, the builder dialog. Without a main window (the builder dialog alone) the
// window operations do nothing.
class QtPlatform final : public WindowPlatform {
 public:
  QtPlatform(AppState& state, MainWindow* window) : m_state(state), m_window(window) {}

  std::string ChooseOpenFile(std::string_view defaultExtension, const core::FileFilter& filter) override;
  std::string ChooseSaveVabFile() override;
  void ShowMessageBox(std::string_view caption, std::string_view text) override;
  void SetStatusTexts(std::string_view left, std::string_view right) override;
  void ShowPassingNote(std::string_view text) override;
  void RunBuilderDialog() override;
  void CloseMainWindow() override;

 private:
  AppState& m_state;
  MainWindow* m_window;
};

}  // namespace ui
