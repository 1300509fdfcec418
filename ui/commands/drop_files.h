#pragma once

#include <string>
#include <vector>

#include "ui/commands/app_state.h"
#include "ui/commands/window_platform.h"

namespace ui {

// Converts files dropped on the main window one by one, in the order given, each by its extension. The
// status bar reads "WM_DROPFILES" / "WAIT" meanwhile and "4.2.2.0" / "READY" afterwards, whatever happened;
// an empty name is skipped. Then a short-lived note says what was written (one file) or how many files
// were converted. Files that produced no output are then listed in one message box, each with
// the reason, followed by the dropped URLs that name no local file (otherUrls, e.g. a browser's http://).
void HandleDroppedFiles(const std::vector<std::string>& paths, AppState& state, WindowPlatform& platform,
                        const std::vector<std::string>& otherUrls = {});

}  // namespace ui
