#include "wide_format_win32.h"

#include <cstddef>
#include <cwchar>

namespace foundation_detail {

namespace {

enum class Size { Default, Char, Short, Long, LongLong, Pointer, LongDouble };

Size ReadSize(const wchar_t*& p) {
  switch (*p) {
    case L'h':
      ++p;
      if (*p == L'h') {
        ++p;
        return Size::Char;
      }
      return Size::Short;
    case L'l':
      ++p;
      if (*p == L'l') {
        ++p;
        return Size::LongLong;
      }
      return Size::Long;
    case L'j':
    case L'q':
      ++p;
      return Size::LongLong;
    case L'z':
    case L't':
      ++p;
      return Size::Pointer;
    case L'L':
      ++p;
      return Size::LongDouble;
    case L'I':
      // Microsoft's I32 and I64, which MinGW's printf takes as well.
      if (p[1] == L'6' && p[2] == L'4') {
        p += 3;
        return Size::LongLong;
      }
      if (p[1] == L'3' && p[2] == L'2') p += 3;
      return Size::Default;
    default:
      return Size::Default;
  }
}

// Takes an integer argument of the given size (on Windows long has 32 bits, as int has, and a pointer 64).
void SkipInteger(Size size, std::va_list& args) {
  if (size == Size::LongLong || size == Size::Pointer) {
    va_arg(args, long long);
    return;
  }
  va_arg(args, int);
}

// Takes a floating-point argument of the given size.
void SkipFloating(Size size, std::va_list& args) {
  if (size == Size::LongDouble) {
    va_arg(args, long double);
    return;
  }
  va_arg(args, double);
}

}  // namespace

std::wstring WithZeroWideCharactersWritten(const wchar_t* format, std::va_list args) {
  std::wstring result(format);
  std::va_list walk;
  va_copy(walk, args);
  std::size_t removed = 0;  // letters taken out of result so far
  for (const wchar_t* p = format; *p != 0; ++p) {
    if (*p != L'%') continue;
    if (*++p == L'%') continue;
    while (*p != 0 && std::wcschr(L"-+ #0'", *p) != nullptr) ++p;
    if (*p == L'*') {
      va_arg(walk, int);
      ++p;
    }
    while (*p >= L'0' && *p <= L'9') ++p;
    if (*p == L'.') {
      ++p;
      if (*p == L'*') {
        va_arg(walk, int);
        ++p;
      }
      while (*p >= L'0' && *p <= L'9') ++p;
    }
    const wchar_t* sizeStart = p;
    const Size size = ReadSize(p);
    const wchar_t conversion = *p;
    if (conversion == 0) break;
    if (std::wcschr(L"diouxX", conversion) != nullptr) {
      SkipInteger(size, walk);
    } else if (std::wcschr(L"fFeEgGaA", conversion) != nullptr) {
      SkipFloating(size, walk);
    } else if (conversion == L'c' || conversion == L'C') {
      const int character = va_arg(walk, int);
      const bool wide = conversion == L'C' || size == Size::Long;
      if (wide && character == 0) {
        const std::size_t at = static_cast<std::size_t>(sizeStart - format) - removed;
        const std::size_t length = static_cast<std::size_t>(p - sizeStart);
        result.replace(at, length + 1, L"c");
        removed += length;
      }
    } else if (std::wcschr(L"sSpn", conversion) != nullptr) {
      va_arg(walk, void*);
    } else {
      result = format;  // a conversion of unknown argument: the rest cannot be followed
      break;
    }
  }
  va_end(walk);
  return result;
}

}  // namespace foundation_detail
