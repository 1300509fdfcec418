#pragma once

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "support/fake_platform.h"
#include "ui/commands/window_platform.h"

namespace ui_testing {

// The window system scripted for the command flows: dialogs answer from dialogs.answers ("" = cancelled)
// and everything shown is recorded, including the order of the file dialogs and every pair of status texts.
struct FakeWindowPlatform : ui::WindowPlatform {
  testing_support::FakePlatform dialogs;
  std::vector<std::string> dialogOrder;  // "open VH", "save", ... in the order the dialogs came up
  std::vector<std::pair<std::string, std::string>> statusTexts;
  std::function<void()> onStatusTexts;  // runs right after each status change
  std::vector<std::string> notes;       // the short-lived notes, in order
  int builderDialogRuns = 0;
  int closeRequests = 0;

  std::string ChooseOpenFile(std::string_view defaultExtension, const core::FileFilter& filter) override {
    dialogOrder.push_back("open " + std::string(defaultExtension));
    return dialogs.ChooseOpenFile(defaultExtension, filter);
  }
  std::string ChooseSaveVabFile() override {
    dialogOrder.emplace_back("save");
    return dialogs.ChooseSaveVabFile();
  }
  void ShowMessageBox(std::string_view caption, std::string_view text) override {
    dialogs.ShowMessageBox(caption, text);
  }
  void SetStatusTexts(std::string_view left, std::string_view right) override {
    statusTexts.emplace_back(std::string(left), std::string(right));
    if (onStatusTexts) onStatusTexts();
  }
  void ShowPassingNote(std::string_view text) override { notes.emplace_back(text); }
  void RunBuilderDialog() override { ++builderDialogRuns; }
  void CloseMainWindow() override { ++closeRequests; }
};

}  // namespace ui_testing
