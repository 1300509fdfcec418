#include "core/platform.h"

#include <algorithm>

#include "core/text.h"

namespace core {

int ShowUtilityMessage(Platform& platform, std::string_view text) {
  platform.ShowMessageBox(UTILITY_CAPTION, text);
  return 1;
}

namespace {

// Glob match with '*' and '?', letters compared without case.
bool GlobMatch(std::string_view name, std::string_view pattern) {
  std::size_t n = 0;
  std::size_t p = 0;
  std::size_t starPattern = std::string_view::npos;
  std::size_t starName = 0;
  while (n < name.size()) {
    if (p < pattern.size() &&
        (pattern[p] == '?' || ToUpperText(pattern.substr(p, 1)) == ToUpperText(name.substr(n, 1)))) {
      ++n;
      ++p;
    } else if (p < pattern.size() && pattern[p] == '*') {
      starPattern = p++;
      starName = n;
    } else if (starPattern != std::string_view::npos) {
      p = starPattern + 1;
      n = ++starName;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

}  // namespace

bool MatchesFilterPattern(std::string_view fileName, std::string_view pattern) {
  // A pattern may list several globs separated by ';'.
  std::size_t start = 0;
  while (start <= pattern.size()) {
    const std::size_t end = std::min(pattern.find(';', start), pattern.size());
    const std::string_view glob = pattern.substr(start, end - start);
    // As on the desktop, "*.*" stands for every file, with or without an extension.
    if (glob == "*.*" || GlobMatch(fileName, glob)) return true;
    start = end + 1;
  }
  return false;
}

}  // namespace core
