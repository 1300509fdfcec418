#include "unicode.h"

#include <cstdint>
#include <cstring>
#include <type_traits>

namespace foundation_detail {
namespace {

constexpr char32_t REPLACEMENT = 0xFFFD;

bool IsSurrogate(char32_t c) { return c >= 0xD800 && c <= 0xDFFF; }

void AppendUtf8(std::string& out, char32_t c) {
  if (c > 0x10FFFF || IsSurrogate(c)) c = REPLACEMENT;
  if (c < 0x80) {
    out.push_back(static_cast<char>(c));
  } else if (c < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (c >> 6)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else if (c < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (c >> 12)));
    out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (c >> 18)));
    out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  }
}

void AppendWide(std::wstring& out, char32_t c) {
  if constexpr (sizeof(wchar_t) == 2) {
    if (c >= 0x10000) {
      c -= 0x10000;
      out.push_back(static_cast<wchar_t>(0xD800 + (c >> 10)));
      out.push_back(static_cast<wchar_t>(0xDC00 + (c & 0x3FF)));
      return;
    }
  }
  out.push_back(static_cast<wchar_t>(c));
}

}  // namespace

std::string WideToUtf8(std::wstring_view wide) {
  std::string out;
  out.reserve(wide.size());
  for (std::size_t i = 0; i < wide.size(); ++i) {
    // Values are taken as unsigned, so a negative wchar_t is above 0x10FFFF and replaced.
    char32_t c = static_cast<char32_t>(static_cast<std::make_unsigned_t<wchar_t>>(wide[i]));
    if constexpr (sizeof(wchar_t) == 2) {
      if (c >= 0xD800 && c <= 0xDBFF && i + 1 < wide.size()) {
        const char32_t low = static_cast<char16_t>(wide[i + 1]);
        if (low >= 0xDC00 && low <= 0xDFFF) {
          c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
          ++i;
        }
      }
    }
    AppendUtf8(out, c);
  }
  return out;
}

std::wstring Utf8ToWide(std::string_view utf8) {
  std::wstring out;
  out.reserve(utf8.size());
  std::size_t i = 0;
  while (i < utf8.size()) {
    const auto lead = static_cast<unsigned char>(utf8[i]);
    if (lead < 0x80) {
      out.push_back(static_cast<wchar_t>(lead));
      ++i;
      continue;
    }
    std::size_t length = 0;
    char32_t c = 0;
    // The allowed range of the second byte excludes overlong forms, surrogates and values above 0x10FFFF.
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
      length = 2;
      c = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      length = 3;
      c = lead & 0x0F;
      if (lead == 0xE0) low = 0xA0;
      if (lead == 0xED) high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      length = 4;
      c = lead & 0x07;
      if (lead == 0xF0) low = 0x90;
      if (lead == 0xF4) high = 0x8F;
    } else {
      AppendWide(out, REPLACEMENT);
      ++i;
      continue;
    }
    std::size_t taken = 1;
    bool valid = true;
    for (; taken < length; ++taken) {
      if (i + taken >= utf8.size()) {
        valid = false;
        break;
      }
      const auto next = static_cast<unsigned char>(utf8[i + taken]);
      const unsigned char min = taken == 1 ? low : 0x80;
      const unsigned char max = taken == 1 ? high : 0xBF;
      if (next < min || next > max) {
        valid = false;
        break;
      }
      c = (c << 6) | (next & 0x3F);
    }
    AppendWide(out, valid ? c : REPLACEMENT);
    i += taken;
  }
  return out;
}

std::wstring Utf16ToWide(const void* data, bool swapBytes) {
  std::wstring out;
  const auto* bytes = static_cast<const unsigned char*>(data);
  auto unitAt = [&](std::size_t index) {
    std::uint16_t unit;
    std::memcpy(&unit, bytes + 2 * index, 2);
    if (swapBytes) unit = static_cast<std::uint16_t>((unit >> 8) | (unit << 8));
    return unit;
  };
  for (std::size_t i = 0;; ++i) {
    const std::uint16_t unit = unitAt(i);
    if (unit == 0) break;
    if constexpr (sizeof(wchar_t) >= 4) {
      if (unit >= 0xD800 && unit <= 0xDBFF) {
        const std::uint16_t next = unitAt(i + 1);
        if (next >= 0xDC00 && next <= 0xDFFF) {
          out.push_back(static_cast<wchar_t>(0x10000 + ((unit - 0xD800) << 10) + (next - 0xDC00)));
          ++i;
          continue;
        }
      }
    }
    out.push_back(static_cast<wchar_t>(unit));
  }
  return out;
}

}  // namespace foundation_detail
