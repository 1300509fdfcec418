#include "ui/commands/drop_files.h"

#include "core/platform.h"
#include "core/text.h"
#include "ui/commands/command_line.h"
#include "ui/commands/drop_dispatch.h"

namespace ui {

void HandleDroppedFiles(const std::vector<std::string>& paths, AppState& state, WindowPlatform& platform,
                        const std::vector<std::string>& otherUrls) {
  platform.SetStatusTexts(DROP_STATUS_LEFT, DROP_STATUS_RIGHT);
  std::string failures;
  for (const std::string& path : paths) {
    if (path.empty()) continue;
    const DropResult result = DispatchDroppedFile(path, state);
    if (result.produced) continue;
    failures += core::FormatText("%s%s:\n%s", failures.empty() ? "" : "\n\n", path.c_str(), result.reason.c_str());
  }
  for (const std::string& url : otherUrls) {
    failures += core::FormatText("%s%s:\nnot a local file", failures.empty() ? "" : "\n\n", url.c_str());
  }
  // The idle texts come back whatever happened, before anything is said about the files.
  platform.SetStatusTexts(VERSION_TEXT, IDLE_STATUS_RIGHT);
  if (!failures.empty()) core::ShowUtilityMessage(platform, failures);
}

}  // namespace ui
