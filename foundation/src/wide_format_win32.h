#pragma once

#include <cstdarg>
#include <string>

namespace foundation_detail {

// The format with every "%lc" (or "%C") whose character argument is 0 turned into "%c". MinGW's printf
// writes nothing for a wide character 0, so the text would run on past it; "%c" writes that 0 and reads the
// same argument (a wide character is passed as an int). A format this cannot follow is returned unchanged.
std::wstring WithZeroWideCharactersWritten(const wchar_t* format, std::va_list args);

}  // namespace foundation_detail
