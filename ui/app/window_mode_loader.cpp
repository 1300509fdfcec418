#include <cstdio>
#include <filesystem>
#include <string>

#include "core/platform_system.h"
#include "ui/app/window_mode.h"
#include "ui/app/window_module.h"

namespace ui {

namespace {

// Where the module lies relative to the executable: the installed tree's private library folder, else
// beside the executable as in the build tree. Both relative to the executable, so a moved prefix works.
std::filesystem::path FindWindowModule(const std::filesystem::path& executableDir) {
  const std::filesystem::path installed = executableDir / LFQ_WINDOW_MODULE_RELATIVE_DIR / WINDOW_MODULE_FILE;
  std::error_code error;
  if (std::filesystem::exists(installed, error)) return installed.lexically_normal();
  const std::filesystem::path beside = executableDir / WINDOW_MODULE_FILE;
  return std::filesystem::exists(beside, error) ? beside : installed.lexically_normal();
}

}  // namespace

// Loads the window module found relative to the executable and hands it the application state.
int RunWindowMode(int argc, char** argv, AppState& state) {
  // Only a module at a path of our own: a bare name would make the loader search the library path.
  const std::filesystem::path executable(state.systemInfo.modulePath);
  if (!executable.is_absolute()) {
    std::fputs("lfqutil: cannot open the main window: the program's own location is unknown\n", stderr);
    return 1;
  }
  const std::filesystem::path module = FindWindowModule(executable.parent_path());
  std::string error;
  auto* entry = reinterpret_cast<WindowModuleEntry>(core::LoadModuleFunction(module, WINDOW_MODULE_ENTRY, error));
  if (entry == nullptr) {
    std::fprintf(stderr, "lfqutil: cannot open the main window: %s\n", error.c_str());
    return 1;
  }
  return entry(argc, argv, &state);
}

}  // namespace ui
