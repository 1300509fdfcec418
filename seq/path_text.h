#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace seq {

// Paths go through the name helpers as UTF-8 text and come back without losing a character.
inline std::string PathToText(const std::filesystem::path& path) {
  const std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
}

inline std::filesystem::path TextToPath(std::string_view text) {
  return std::filesystem::path(std::u8string(text.begin(), text.end()));
}

}  // namespace seq
