#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace core {

// A file dialog's filter list: pairs of a description and a pattern ("*.SEQ"), the first one selected.
// Patterns match file names in any letter case.
struct FileFilter {
  std::vector<std::pair<std::string, std::string>> entries;
};

inline constexpr std::string_view UTILITY_CAPTION = "Lanternfieldquarrystone Utility";
inline constexpr std::string_view VAB_SAVE_DESCRIPTION = "Sony PlayStation File (*.VAB)";
inline constexpr std::string_view VAB_SAVE_PATTERN = "*.VAB";
inline constexpr std::string_view VAB_SAVE_EXTENSION = "VAB";

// What the utility needs from a windowing system: modal file dialogs and message boxes. The Qt window
// implements it; tests script it.
struct Platform {
  virtual ~Platform() = default;
  // Modal open dialog (the file must exist); the chosen path, or "" when the user cancelled.
  virtual std::string ChooseOpenFile(std::string_view defaultExtension, const FileFilter& filter) = 0;
  // Modal save dialog for a VAB ("*.VAB", default extension "VAB"), no overwrite question; "" when cancelled.
  virtual std::string ChooseSaveVabFile() = 0;
  // Modal message box with a single OK button and no icon.
  virtual void ShowMessageBox(std::string_view caption, std::string_view text) = 0;
};

// Shows the text under the utility's caption; always 1.
int ShowUtilityMessage(Platform& platform, std::string_view text);

// Whether a file name matches a dialog pattern such as "*.SEQ" or "*.*", in any letter case.
bool MatchesFilterPattern(std::string_view fileName, std::string_view pattern);

}  // namespace core
