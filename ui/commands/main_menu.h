#pragma once

#include <span>
#include <string>
#include <string_view>

#include "core/system_info.h"

namespace ui {

// Command ids of the main window's menu.
inline constexpr int COMMAND_ABOUT = 104;
inline constexpr int COMMAND_EXIT = 105;
inline constexpr int COMMAND_PSF = 151;
inline constexpr int COMMAND_EXE_TO_PSF = 7000;
inline constexpr int COMMAND_PSF_TO_EXE = 7001;
inline constexpr int COMMAND_SPLIT_VAB = 7005;
inline constexpr int COMMAND_COMBINE_VAB = 7006;
inline constexpr int COMMAND_VAB_TO_VAG = 7007;
inline constexpr int COMMAND_SEP_TO_SEQ = 7009;
inline constexpr int COMMAND_SEQ_TO_MIDI = 7010;

// A separator in a menu's item list.
inline constexpr int MENU_SEPARATOR = 0;

struct MenuItem {
  std::string_view text;  // empty for a separator
  int commandId = MENU_SEPARATOR;
  char mnemonic = 0;            // the letter of text that the keyboard reaches the item by; 0 for none
  std::string_view shortcut{};  // a key sequence in Qt's portable form, e.g. "Ctrl+Q"; empty for none
};

// One entry of the menu bar: a menu with items, or a top-level item with a command of its own.
struct MenuBarEntry {
  std::string_view title;
  std::span<const MenuItem> items;  // empty for a top-level item
  int commandId = MENU_SEPARATOR;   // the top-level item's command
  char mnemonic = 0;                // the letter of title that Alt reaches the entry by
};

// The menu bar, left to right. The texts are the plain names; each entry names its mnemonic letter apart.
std::span<const MenuBarEntry> MainMenuBar();

// The text as a menu shows it: "&" before the first occurrence of the mnemonic letter ("E&xit"), any "&"
// already in the text doubled; the plain text when the letter is 0 or does not occur.
std::string MenuTextWithMnemonic(std::string_view text, char mnemonic);

// The menu text of a command, e.g. "ToPSF"; empty for an unknown id.
std::string_view MenuTextOf(int commandId);

// The About box's eight lines ("\r\n" between them): framework, its version, a blank line, build date and
// time, a blank line, the computer name and the OS name ("(null)" when the system has none).
std::string AboutText(const core::SystemInfo& info);

}  // namespace ui
