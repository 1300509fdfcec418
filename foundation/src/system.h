#pragma once

#include <cstdarg>
#include <cstdio>
#include <functional>
#include <string>

// The operating-system calls of the text-file functions and of GString, one implementation per platform
// (system_posix.cpp, system_win32.cpp). Internal to the library.
namespace foundation_detail {

// Opens a C stream on a wide name with a mode such as "rb"; null when the name is null or cannot be opened.
std::FILE* OpenNamedStream(const wchar_t* name, const char* mode);

// The number of bytes from the stream's position to its end, the position kept; -1 when the stream is no
// regular file or cannot be measured.
long long RemainingStreamBytes(std::FILE* stream);

// Whether a file or directory of that name exists (a link counts, even one that leads nowhere).
bool NameExists(const wchar_t* name);

// Hands the bare name of every file (no directory) in the directory that matches the pattern (* and ?, the
// pattern may name subfolders) to add, in the order in which the system lists them.
void ListMatchingFiles(const wchar_t* directory, const wchar_t* pattern,
                       const std::function<void(const wchar_t*)>& add);

// printf-style wide formatting (%s takes a narrow text, %ls a wide one); false when the format fails.
bool FormatWide(std::wstring& text, const wchar_t* format, std::va_list args);

// The value of an environment variable; false when it is not set.
bool ReadEnvironment(const wchar_t* name, std::wstring& value);

}  // namespace foundation_detail
