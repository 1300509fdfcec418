#include "core/text.h"

#include <cwchar>
#include <vector>

namespace core {

std::string FormatTextV(const char* format, std::va_list args) {
  std::va_list measure;
  va_copy(measure, args);
  const int length = std::vsnprintf(nullptr, 0, format, measure);
  va_end(measure);
  if (length <= 0) return {};
  std::string text(static_cast<std::size_t>(length), '\0');
  std::vsnprintf(text.data(), text.size() + 1, format, args);
  return text;
}

std::string FormatText(const char* format, ...) {
  std::va_list args;
  va_start(args, format);
  std::string text = FormatTextV(format, args);
  va_end(args);
  return text;
}

namespace {

// vswprintf cannot measure, so the buffer grows until the text fits.
std::wstring FormatWideTextV(const wchar_t* format, std::va_list args) {
  std::vector<wchar_t> buffer(256);
  for (;;) {
    std::va_list attempt;
    va_copy(attempt, args);
    const int length = std::vswprintf(buffer.data(), buffer.size(), format, attempt);
    va_end(attempt);
    if (length >= 0 && static_cast<std::size_t>(length) < buffer.size()) {
      return std::wstring(buffer.data(), static_cast<std::size_t>(length));
    }
    if (buffer.size() >= (std::size_t{1} << 26)) return {};
    buffer.resize(buffer.size() * 2);
  }
}

void AppendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

}  // namespace

std::wstring FormatWideText(const wchar_t* format, ...) {
  std::va_list args;
  va_start(args, format);
  std::wstring text = FormatWideTextV(format, args);
  va_end(args);
  return text;
}

std::string ToAnsiText(const wchar_t* format, ...) {
  std::va_list args;
  va_start(args, format);
  std::wstring text = FormatWideTextV(format, args);
  va_end(args);
  return WideToUtf8(text);
}

std::string WideToUtf8(std::wstring_view wide) {
  std::string out;
  out.reserve(wide.size());
  for (std::size_t i = 0; i < wide.size(); ++i) {
    char32_t c = static_cast<char32_t>(wide[i]);
    if constexpr (sizeof(wchar_t) == 2) {
      // Join a UTF-16 surrogate pair into one character.
      if (c >= 0xD800 && c < 0xDC00 && i + 1 < wide.size()) {
        const char32_t low = static_cast<char32_t>(wide[i + 1]);
        if (low >= 0xDC00 && low < 0xE000) {
          c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
          ++i;
        }
      }
    }
    if (c > 0x10FFFF) c = 0xFFFD;
    AppendUtf8(out, c);
  }
  return out;
}

std::wstring Utf8ToWide(std::string_view narrow) {
  std::wstring out;
  out.reserve(narrow.size());
  std::size_t i = 0;
  while (i < narrow.size()) {
    const auto lead = static_cast<unsigned char>(narrow[i]);
    int extra = 0;
    char32_t c = lead;
    if (lead >= 0xF0 && lead < 0xF8) {
      extra = 3;
      c = lead & 0x07;
    } else if (lead >= 0xE0) {
      extra = lead < 0xF0 ? 2 : 0;
      c = lead & 0x0F;
    } else if (lead >= 0xC0) {
      extra = 1;
      c = lead & 0x1F;
    }
    bool valid = lead < 0x80 || extra > 0;
    for (int k = 1; valid && k <= extra; ++k) {
      if (i + static_cast<std::size_t>(k) >= narrow.size()) {
        valid = false;
        break;
      }
      const auto next = static_cast<unsigned char>(narrow[i + static_cast<std::size_t>(k)]);
      if ((next & 0xC0) != 0x80) valid = false;
      c = (c << 6) | (next & 0x3F);
    }
    if (!valid) {
      // A byte that is not UTF-8 keeps its value as a character of its own (Latin-1 reading).
      out += static_cast<wchar_t>(lead);
      ++i;
      continue;
    }
    i += static_cast<std::size_t>(extra) + 1;
    if constexpr (sizeof(wchar_t) == 2) {
      if (c >= 0x10000) {
        c -= 0x10000;
        out += static_cast<wchar_t>(0xD800 + (c >> 10));
        out += static_cast<wchar_t>(0xDC00 + (c & 0x3FF));
        continue;
      }
    }
    out += static_cast<wchar_t>(c);
  }
  return out;
}

std::string ToUpperText(std::string_view text) {
  std::string copy(text);
  for (char& c : copy) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c & ~0x20);
  }
  return copy;
}

std::size_t Utf8SequenceLength(std::string_view text, std::size_t at) {
  if (at >= text.size()) return 0;
  const auto lead = static_cast<unsigned char>(text[at]);
  if (lead < 0x80) return 1;
  std::size_t extra = 0;
  char32_t minimum = 0;
  char32_t c = 0;
  if (lead >= 0xC2 && lead <= 0xDF) {
    extra = 1, minimum = 0x80, c = lead & 0x1Fu;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    extra = 2, minimum = 0x800, c = lead & 0x0Fu;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    extra = 3, minimum = 0x10000, c = lead & 0x07u;
  } else {
    return 0;
  }
  if (text.size() - at <= extra) return 0;
  for (std::size_t k = 1; k <= extra; ++k) {
    const auto next = static_cast<unsigned char>(text[at + k]);
    if ((next & 0xC0) != 0x80) return 0;
    c = (c << 6) | (next & 0x3Fu);
  }
  if (c < minimum || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return 0;
  return extra + 1;
}

bool IsValidUtf8(std::string_view text) {
  for (std::size_t at = 0; at < text.size();) {
    const std::size_t length = Utf8SequenceLength(text, at);
    if (length == 0) return false;
    at += length;
  }
  return true;
}

}  // namespace core
