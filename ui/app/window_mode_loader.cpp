#include <cstdio>
#include <filesystem>
#include <string>

#include "core/platform_system.h"
#include "ui/app/window_mode.h"
#include "ui/app/window_module.h"

namespace ui {

// Loads the window module from the executable's own directory and hands it the application state.
int RunWindowMode(int argc, char** argv, AppState& state) {
  // Only the module beside this executable: a bare name would make the loader search the library path.
  const std::filesystem::path executable(state.systemInfo.modulePath);
  if (!executable.is_absolute()) {
    std::fputs("lfqutil: cannot open the main window: the program's own location is unknown\n", stderr);
    return 1;
  }
  const std::filesystem::path module = executable.parent_path() / WINDOW_MODULE_FILE;
  std::string error;
  auto* entry = reinterpret_cast<WindowModuleEntry>(core::LoadModuleFunction(module, WINDOW_MODULE_ENTRY, error));
  if (entry == nullptr) {
    std::fprintf(stderr, "lfqutil: cannot open the main window: %s\n", error.c_str());
    return 1;
  }
  return entry(argc, argv, &state);
}

}  // namespace ui
