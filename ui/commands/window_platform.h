#pragma once

#include <string_view>

#include "core/platform.h"

namespace ui {

inline constexpr std::string_view IDLE_STATUS_RIGHT = "READY";
inline constexpr std::string_view DROP_STATUS_LEFT = "WM_DROPFILES";
inline constexpr std::string_view DROP_STATUS_RIGHT = "WAIT";

// What the main window's commands need from the window system beyond dialogs and message boxes.
// The Qt window implements it; tests script it.
struct WindowPlatform : core::Platform {
  // Sets both parts of the status bar and lets it repaint at once, before the caller goes on working.
  virtual void SetStatusTexts(std::string_view left, std::string_view right) = 0;
  // Shows a short-lived note over the status bar (what a command wrote); the status texts return after it.
  virtual void ShowPassingNote(std::string_view text) = 0;
  // Runs the builder dialog without an owner window and returns when it has been closed.
  virtual void RunBuilderDialog() = 0;
  // Closes the main window, which ends the program.
  virtual void CloseMainWindow() = 0;
};

}  // namespace ui
