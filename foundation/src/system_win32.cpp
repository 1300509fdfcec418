#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
// After windows.h, which they build on.
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <memory>
#include <string>
#include <vector>

#include "system.h"
#include "wide_format_win32.h"

namespace foundation_detail {

std::FILE* OpenNamedStream(const wchar_t* name, const char* mode) {
  if (name == nullptr || mode == nullptr) return nullptr;
  // A read-only file is never written, whoever asks: Wine run by the Unix root user would let it be.
  const bool writes = std::strpbrk(mode, "wa+") != nullptr;
  const DWORD attributes = ::GetFileAttributesW(name);
  if (writes && attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0) {
    errno = EACCES;
    return nullptr;
  }
  const std::wstring wideMode(mode, mode + std::char_traits<char>::length(mode));
  return ::_wfopen(name, wideMode.c_str());
}

long long RemainingStreamBytes(std::FILE* stream) {
  struct _stat64 info;
  if (::_fstat64(::_fileno(stream), &info) != 0 || (info.st_mode & _S_IFMT) != _S_IFREG) return -1;
  const long long here = ::_ftelli64(stream);
  if (here < 0 || ::_fseeki64(stream, 0, SEEK_END) != 0) return -1;
  const long long end = ::_ftelli64(stream);
  if (end < 0 || ::_fseeki64(stream, here, SEEK_SET) != 0) return -1;
  return end >= here ? end - here : 0;
}

bool NameExists(const wchar_t* name) { return ::GetFileAttributesW(name) != INVALID_FILE_ATTRIBUTES; }

void ListMatchingFiles(const wchar_t* directory, const wchar_t* pattern,
                       const std::function<void(const wchar_t*)>& add) {
  // The system matches the pattern (letters in any case, * and ?) and may take subfolders in it.
  const std::wstring search = std::wstring(directory) + L"\\" + pattern;
  WIN32_FIND_DATAW found;
  const HANDLE search_handle = ::FindFirstFileW(search.c_str(), &found);
  if (search_handle == INVALID_HANDLE_VALUE) return;
  do {
    if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) add(found.cFileName);
  } while (::FindNextFileW(search_handle, &found));
  ::FindClose(search_handle);
}

bool FormatWide(std::wstring& text, const wchar_t* format, std::va_list args) {
  // MinGW's own printf family (C99 formats, so %s takes a narrow text as everywhere else) measures first.
  const std::wstring written = WithZeroWideCharactersWritten(format, args);
  std::va_list measure;
  va_copy(measure, args);
  const int length = ::vsnwprintf(nullptr, 0, written.c_str(), measure);
  va_end(measure);
  if (length < 0) return false;
  std::vector<wchar_t> buffer(static_cast<std::size_t>(length) + 1);
  if (::vsnwprintf(buffer.data(), buffer.size(), written.c_str(), args) < 0) return false;
  // The text ends at its first 0 character, as a wide memory stream's does.
  text.assign(buffer.data(), ::wcsnlen(buffer.data(), static_cast<std::size_t>(length)));
  return true;
}

bool ReadEnvironment(const wchar_t* name, std::wstring& value) {
  const DWORD needed = ::GetEnvironmentVariableW(name, nullptr, 0);
  if (needed == 0) return false;
  std::vector<wchar_t> buffer(needed);
  const DWORD length = ::GetEnvironmentVariableW(name, buffer.data(), needed);
  if (length >= needed) return false;
  value.assign(buffer.data(), length);
  return true;
}

}  // namespace foundation_detail
