#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// Conversions between the library's wide characters, UTF-8 and UTF-16. Internal to the library.
namespace foundation_detail {

// Every character that is no Unicode scalar value (a surrogate or above 0x10FFFF) becomes U+FFFD. Where
// wchar_t is 16 bits, surrogate pairs are joined first.
std::string WideToUtf8(std::wstring_view wide);

// Each invalid or truncated sequence (the longest prefix that could have started a valid one) becomes U+FFFD.
std::wstring Utf8ToWide(std::string_view utf8);

// Reads 16-bit units from data (any alignment) up to the first 0 unit, the bytes of each unit swapped when
// asked. Where wchar_t is 32 bits, surrogate pairs are joined into one character and a lone surrogate is kept
// as the character of its value.
std::wstring Utf16ToWide(const void* data, bool swapBytes);

// Paths and other texts handed to the system: UTF-8.
inline std::string NativeName(const wchar_t* name) { return name == nullptr ? std::string() : WideToUtf8(name); }

}  // namespace foundation_detail
