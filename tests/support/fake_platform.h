#pragma once

#include <deque>
#include <string>
#include <utility>
#include <vector>

#include "core/platform.h"

namespace testing_support {

// A scripted stand-in for the window system: dialogs answer from a queue ("" = cancelled when it runs
// dry) and every dialog and message box is recorded.
struct FakePlatform : core::Platform {
  struct OpenRequest {
    std::string defaultExtension;
    core::FileFilter filter;
  };

  std::deque<std::string> answers;
  std::vector<OpenRequest> openRequests;
  int saveRequests = 0;
  std::vector<std::pair<std::string, std::string>> messages;  // caption, text

  std::string ChooseOpenFile(std::string_view defaultExtension, const core::FileFilter& filter) override {
    openRequests.push_back({std::string(defaultExtension), filter});
    return NextAnswer();
  }
  std::string ChooseSaveVabFile() override {
    ++saveRequests;
    return NextAnswer();
  }
  void ShowMessageBox(std::string_view caption, std::string_view text) override {
    messages.emplace_back(std::string(caption), std::string(text));
  }

 private:
  std::string NextAnswer() {
    if (answers.empty()) return {};
    std::string answer = std::move(answers.front());
    answers.pop_front();
    return answer;
  }
};

}  // namespace testing_support
