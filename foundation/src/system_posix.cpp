#include <dirent.h>
#include <sys/stat.h>
#include <wchar.h>

#include <cstdlib>
#include <cwctype>
#include <memory>
#include <string>
#include <string_view>

#include "system.h"
#include "unicode.h"

namespace foundation_detail {

namespace {

wchar_t FoldCase(wchar_t c) { return static_cast<wchar_t>(std::towlower(static_cast<std::wint_t>(c))); }

// Wildcard match of a whole name: * any run of characters, ? one character, letters in any case.
bool MatchesPattern(std::wstring_view pattern, std::wstring_view name) {
  if (pattern == L"*.*") return true;
  std::size_t p = 0;
  std::size_t n = 0;
  std::size_t starAt = std::wstring_view::npos;
  std::size_t resumeAt = 0;
  while (n < name.size()) {
    if (p < pattern.size() && pattern[p] == L'*') {
      starAt = p++;
      resumeAt = n;
    } else if (p < pattern.size() && (pattern[p] == L'?' || FoldCase(pattern[p]) == FoldCase(name[n]))) {
      ++p;
      ++n;
    } else if (starAt != std::wstring_view::npos) {
      p = starAt + 1;
      n = ++resumeAt;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == L'*') ++p;
  return p == pattern.size();
}

bool IsDirectory(const std::string& folder, const dirent& entry) {
  if (entry.d_type == DT_DIR) return true;
  if (entry.d_type != DT_UNKNOWN && entry.d_type != DT_LNK) return false;
  // Follows a symbolic link: a link to a directory counts as one; a dangling link does not.
  struct stat info;
  const std::string path = folder + "/" + entry.d_name;
  return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

}  // namespace

std::FILE* OpenNamedStream(const wchar_t* name, const char* mode) {
  if (name == nullptr) return nullptr;
  return std::fopen(NativeName(name).c_str(), mode);
}

long long RemainingStreamBytes(std::FILE* stream) {
  struct stat info;
  if (::fstat(fileno(stream), &info) != 0 || !S_ISREG(info.st_mode)) return -1;
  const off_t here = ftello(stream);
  if (here < 0 || fseeko(stream, 0, SEEK_END) != 0) return -1;
  const off_t end = ftello(stream);
  if (end < 0 || fseeko(stream, here, SEEK_SET) != 0) return -1;
  return end >= here ? end - here : 0;
}

bool NameExists(const wchar_t* name) {
  struct stat info;
  return ::lstat(NativeName(name).c_str(), &info) == 0;
}

void ListMatchingFiles(const wchar_t* directory, const wchar_t* pattern,
                       const std::function<void(const wchar_t*)>& add) {
  // The pattern may name subdirectories: everything up to its last slash is part of the folder searched.
  const std::string search = NativeName(directory) + "/" + NativeName(pattern);
  const std::size_t slash = search.rfind('/');
  const std::string folder = slash == 0 ? std::string("/") : search.substr(0, slash);
  const std::wstring namePattern = Utf8ToWide(std::string_view(search).substr(slash + 1));

  const std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(folder.c_str()), &::closedir);
  if (!dir) return;
  while (const dirent* entry = ::readdir(dir.get())) {
    const std::wstring name = Utf8ToWide(entry->d_name);
    if (!MatchesPattern(namePattern, name) || IsDirectory(folder, *entry)) continue;
    add(name.c_str());
  }
}

bool FormatWide(std::wstring& text, const wchar_t* format, std::va_list args) {
  // A wide memory stream measures and fills in one pass: the result is exactly as long as the formatting.
  wchar_t* buffer = nullptr;
  std::size_t size = 0;
  std::FILE* stream = open_wmemstream(&buffer, &size);
  if (stream == nullptr) return false;
  const int written = std::vfwprintf(stream, format, args);
  std::fclose(stream);
  const std::unique_ptr<wchar_t, decltype(&std::free)> owned(buffer, &std::free);
  if (written < 0 || buffer == nullptr) return false;
  text.assign(buffer, ::wcsnlen(buffer, size));
  return true;
}

bool ReadEnvironment(const wchar_t* name, std::wstring& value) {
  const char* text = std::getenv(NativeName(name).c_str());
  if (text == nullptr) return false;
  value = Utf8ToWide(text);
  return true;
}

}  // namespace foundation_detail
