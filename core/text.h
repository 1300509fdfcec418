#pragma once

#include <cstdarg>
#include <string>
#include <string_view>

// Checks printf-style arguments against their format. MinGW's plain "printf" means the Microsoft runtime's
// formats (no %zu); the program formats with the C99 ones there too.
#ifdef __MINGW32__
#define LFQ_PRINTF_FORMAT(formatIndex, firstArgument) __attribute__((format(gnu_printf, formatIndex, firstArgument)))
#else
#define LFQ_PRINTF_FORMAT(formatIndex, firstArgument) __attribute__((format(printf, formatIndex, firstArgument)))
#endif

namespace core {

// printf-style formatting into a new text. Data texts (paths, names) always go in as the argument of "%s".
std::string FormatText(const char* format, ...) LFQ_PRINTF_FORMAT(1, 2);
std::string FormatTextV(const char* format, std::va_list args);

// Wide printf-style formatting ("%ls" takes a wide text).
std::wstring FormatWideText(const wchar_t* format, ...);

// Formats a wide text and converts it to narrow UTF-8; lossless, so a path never loses characters.
std::string ToAnsiText(const wchar_t* format, ...);

// Converts between wide text (one character per wchar_t, or UTF-16 where wchar_t is 16 bits) and UTF-8.
std::string WideToUtf8(std::wstring_view wide);
std::wstring Utf8ToWide(std::string_view narrow);

// Bytes of the well-formed UTF-8 sequence that starts at index at (no overlong forms, surrogates or values
// above U+10FFFF); 0 when the bytes there are not one.
std::size_t Utf8SequenceLength(std::string_view text, std::size_t at);

// Whether the whole text is well-formed UTF-8.
bool IsValidUtf8(std::string_view text);

// Copy of the text with a-z turned to A-Z; every other byte, 0x80 and above included, unchanged.
std::string ToUpperText(std::string_view text);

}  // namespace core
