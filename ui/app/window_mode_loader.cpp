#include <cstdio>
#include <filesystem>
#include <string>

#include "core/platform_system.h"
#include "ui/app/window_mode.h"
#include "ui/app/window_module.h"

namespace ui {

// Loads the window module from the executable's own directory and hands it the application state.
int RunWindowMode(int argc, char** argv, AppState& state) {
  const std::filesystem::path module =
      std::filesystem::path(state.systemInfo.modulePath).parent_path() / WINDOW_MODULE_FILE;
  std::string error;
  auto* entry = reinterpret_cast<WindowModuleEntry>(core::LoadModuleFunction(module, WINDOW_MODULE_ENTRY, error));
  if (entry == nullptr) {
    std::fprintf(stderr, "lfqutil: cannot open the main window: %s\n", error.c_str());
    return 1;
  }
  return entry(argc, argv, &state);
}

}  // namespace ui
