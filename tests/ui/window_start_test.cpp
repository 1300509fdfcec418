// Starting without arguments goes to the window, which lives in a module loaded only then.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "support/run_program.h"
#include "support/temp_dir.h"
#include "support/test_system.h"

namespace {

using testing_support::ProgramRun;
using testing_support::RunProgram;
using testing_support::TempDir;

// Hides every display from the programs this test starts, so the window cannot open.
class WithoutDisplay {
 public:
  WithoutDisplay() {
    for (const char* name : NAMES) {
      const char* value = std::getenv(name);
      m_saved.emplace_back(name, value != nullptr ? std::optional<std::string>(value) : std::nullopt);
      testing_support::UnsetEnvironment(name);
    }
  }
  ~WithoutDisplay() {
    for (const auto& [name, value] : m_saved) {
      if (value) testing_support::SetEnvironment(name, *value);
    }
  }
  WithoutDisplay(const WithoutDisplay&) = delete;
  WithoutDisplay& operator=(const WithoutDisplay&) = delete;

 private:
  static constexpr const char* NAMES[] = {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"};
  std::vector<std::pair<const char*, std::optional<std::string>>> m_saved;
};

TEST(WindowStart, BlankCommandLineReachesTheWindowModule) {
  const bool windowBuilt =
      std::filesystem::exists(std::filesystem::path(LFQUTIL_PATH).parent_path() / "lfqutil-window.so");
  const bool windowsBuild = std::string_view(LFQUTIL_PATH).ends_with(".exe");
  TempDir dir;
  WithoutDisplay hidden;
  for (const std::vector<std::string>& arguments : {std::vector<std::string>{}, std::vector<std::string>{" ", ""}}) {
    const ProgramRun run = RunProgram(LFQUTIL_PATH, arguments, dir.path());
    if (windowBuilt) {
      // The module loaded and found no display: a clear message instead of Qt's abort.
      EXPECT_EQ(run.status, 1);
      EXPECT_NE(run.err.find("cannot open the main window: no display"), std::string::npos) << run.err;
    } else if (windowsBuild) {
      // Built without Qt for Windows: it says that it has no window, shows the command line and fails.
      EXPECT_EQ(run.status, 1);
      EXPECT_NE(run.err.find("this build has no main window"), std::string::npos) << run.err;
    } else {
      EXPECT_EQ(run.status, 0);
      EXPECT_NE(run.out.find("Usage: lfqutil"), std::string::npos);
    }
  }
  EXPECT_TRUE(dir.Listing().empty());
}

}  // namespace
