// Starting without arguments goes to the window, which lives in a module loaded only then.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "support/run_program.h"
#include "support/temp_dir.h"

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
      ::unsetenv(name);
    }
  }
  ~WithoutDisplay() {
    for (const auto& [name, value] : m_saved) {
      if (value) ::setenv(name, value->c_str(), 1);
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
  TempDir dir;
  WithoutDisplay hidden;
  for (const std::vector<std::string>& arguments : {std::vector<std::string>{}, std::vector<std::string>{" ", ""}}) {
    const ProgramRun run = RunProgram(LFQUTIL_PATH, arguments, dir.path());
    if (windowBuilt) {
      // The module loaded and found no display: a clear message instead of Qt's abort.
      EXPECT_EQ(run.status, 1);
      EXPECT_NE(run.err.find("cannot open the main window: no display"), std::string::npos) << run.err;
    } else {
      EXPECT_EQ(run.status, 0);
      EXPECT_NE(run.out.find("Usage: lfqutil"), std::string::npos);
    }
  }
  EXPECT_TRUE(dir.Listing().empty());
}

}  // namespace
