#include "ui/commands/main_menu.h"

#include <array>

#include "core/text.h"

namespace ui {

namespace {

// Mnemonic letters are unique within each menu, and the bar's titles start with five different letters.
constexpr std::array FILE_ITEMS{MenuItem{"About", COMMAND_ABOUT, 'A'}, MenuItem{},
                                MenuItem{"Exit", COMMAND_EXIT, 'x', "Ctrl+Q"}};
constexpr std::array EXE_ITEMS{MenuItem{"ToPSF", COMMAND_EXE_TO_PSF, 'T'},
                               MenuItem{"FromPSF", COMMAND_PSF_TO_EXE, 'F'}};
constexpr std::array SEQUENCE_ITEMS{MenuItem{"SepToSeq", COMMAND_SEP_TO_SEQ, 'S'}, MenuItem{},
                                    MenuItem{"SeqToMid", COMMAND_SEQ_TO_MIDI, 'M'}};
constexpr std::array VAB_ITEMS{MenuItem{"Split", COMMAND_SPLIT_VAB, 'S'}, MenuItem{"Combine", COMMAND_COMBINE_VAB, 'C'},
                               MenuItem{}, MenuItem{"ToVAG", COMMAND_VAB_TO_VAG, 'T'}};

constexpr std::array MENU_BAR{
    MenuBarEntry{"File", FILE_ITEMS, MENU_SEPARATOR, 'F'},
    MenuBarEntry{"EXE", EXE_ITEMS, MENU_SEPARATOR, 'E'},
    MenuBarEntry{"Sequence", SEQUENCE_ITEMS, MENU_SEPARATOR, 'S'},
    MenuBarEntry{"VAB", VAB_ITEMS, MENU_SEPARATOR, 'V'},
    MenuBarEntry{"PSF", {}, COMMAND_PSF, 'P'},
};

// The framework and build facts the About box has always shown.
constexpr const char* ABOUT_FRAMEWORK = "Powered by Mossgate";
constexpr const char* ABOUT_FRAMEWORK_VERSION = "Version 0.8.5.0";
constexpr const char* ABOUT_BUILD_DATE = "May  9 2015";
constexpr const char* ABOUT_BUILD_TIME = "13:00:57";

}  // namespace

std::span<const MenuBarEntry> MainMenuBar() { return MENU_BAR; }

std::string_view MenuTextOf(int commandId) {
  for (const MenuBarEntry& entry : MENU_BAR) {
    if (entry.items.empty() && entry.commandId == commandId) return entry.title;
    for (const MenuItem& item : entry.items) {
      if (item.commandId != MENU_SEPARATOR && item.commandId == commandId) return item.text;
    }
  }
  return {};
}

std::string MenuTextWithMnemonic(std::string_view text, char mnemonic) {
  std::string shown;
  bool marked = mnemonic == 0;
  for (const char c : text) {
    if (c == '&') shown += '&';  // a literal ampersand, not a mnemonic mark
    if (!marked && c == mnemonic) {
      shown += '&';
      marked = true;
    }
    shown += c;
  }
  return shown;
}

std::string AboutText(const core::SystemInfo& info) {
  return core::FormatText("%s\r\n%s\r\n\r\n%s\r\n%s\r\n\r\n%s\r\n%s", ABOUT_FRAMEWORK, ABOUT_FRAMEWORK_VERSION,
                          ABOUT_BUILD_DATE, ABOUT_BUILD_TIME, info.computerName.c_str(),
                          info.osName ? info.osName->c_str() : "(null)");
}

}  // namespace ui
