#pragma once

// A strict JSON checker for the fuzz targets: the grammar of RFC 8259 with nothing tolerated beyond it (no
// trailing commas, no leading zeros, no raw control characters, no lone surrogates, UTF-8 only), and no name
// given twice in one object, since readers then keep one value or the other.

#include <cstddef>
#include <cstdint>
#include <set>
#include <string>
#include <string_view>

namespace fuzz_support {

// The checker is ours, not the code under test: its comparisons carry no coverage (they took a third of the
// info target's time and steer the fuzzer towards nothing).
#pragma clang attribute push(__attribute__((no_sanitize("coverage"))), apply_to = function)

class JsonChecker {
 public:
  explicit JsonChecker(std::string_view text) : m_text(text) {}

  // True when the whole text is one JSON value, with only whitespace around it.
  bool Valid() {
    SkipSpace();
    if (!Value(0)) return false;
    SkipSpace();
    return m_at == m_text.size();
  }

 private:
  static constexpr int DEPTH_LIMIT = 64;

  bool AtEnd() const { return m_at >= m_text.size(); }
  unsigned char Peek() const { return AtEnd() ? 0 : static_cast<unsigned char>(m_text[m_at]); }
  bool Take(char c) {
    if (AtEnd() || m_text[m_at] != c) return false;
    ++m_at;
    return true;
  }
  void SkipSpace() {
    while (!AtEnd() && (Peek() == ' ' || Peek() == '\t' || Peek() == '\n' || Peek() == '\r')) ++m_at;
  }
  bool Word(std::string_view word) {
    if (m_text.substr(m_at, word.size()) != word) return false;
    m_at += word.size();
    return true;
  }

  bool Value(int depth) {
    if (depth > DEPTH_LIMIT) return false;
    switch (Peek()) {
      case '{':
        return Object(depth);
      case '[':
        return Array(depth);
      case '"':
        return String(nullptr);
      case 't':
        return Word("true");
      case 'f':
        return Word("false");
      case 'n':
        return Word("null");
      default:
        return Number();
    }
  }

  bool Object(int depth) {
    Take('{');
    SkipSpace();
    if (Take('}')) return true;
    std::set<std::string> names;
    while (true) {
      SkipSpace();
      std::string name;
      if (!String(&name) || !names.insert(name).second) return false;
      SkipSpace();
      if (!Take(':')) return false;
      SkipSpace();
      if (!Value(depth + 1)) return false;
      SkipSpace();
      if (Take('}')) return true;
      if (!Take(',')) return false;
    }
  }

  bool Array(int depth) {
    Take('[');
    SkipSpace();
    if (Take(']')) return true;
    while (true) {
      SkipSpace();
      if (!Value(depth + 1)) return false;
      SkipSpace();
      if (Take(']')) return true;
      if (!Take(',')) return false;
    }
  }

  bool Digits() {
    const std::size_t start = m_at;
    while (Peek() >= '0' && Peek() <= '9') ++m_at;
    return m_at > start;
  }

  bool Number() {
    Take('-');
    if (Take('0')) {
      if (Peek() >= '0' && Peek() <= '9') return false;
    } else if (!Digits()) {
      return false;
    }
    if (Take('.') && !Digits()) return false;
    if (Peek() == 'e' || Peek() == 'E') {
      ++m_at;
      if (!Take('+')) Take('-');
      if (!Digits()) return false;
    }
    return true;
  }

  bool Hex4(std::uint32_t& value) {
    value = 0;
    for (int i = 0; i < 4; ++i) {
      const unsigned char c = Peek();
      std::uint32_t digit = 0;
      if (c >= '0' && c <= '9') {
        digit = c - '0';
      } else if (c >= 'a' && c <= 'f') {
        digit = c - 'a' + 10;
      } else if (c >= 'A' && c <= 'F') {
        digit = c - 'A' + 10;
      } else {
        return false;
      }
      value = value * 16 + digit;
      ++m_at;
    }
    return true;
  }

  static void AppendUtf8(std::string& out, std::uint32_t code) {
    if (code < 0x80) {
      out += static_cast<char>(code);
    } else if (code < 0x800) {
      out += static_cast<char>(0xC0 | code >> 6);
      out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
      out += static_cast<char>(0xE0 | code >> 12);
      out += static_cast<char>(0x80 | (code >> 6 & 0x3F));
      out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | code >> 18);
      out += static_cast<char>(0x80 | (code >> 12 & 0x3F));
      out += static_cast<char>(0x80 | (code >> 6 & 0x3F));
      out += static_cast<char>(0x80 | (code & 0x3F));
    }
  }

  // One UTF-8 sequence starting at m_at: shortest form, no surrogates, at most U+10FFFF.
  bool Utf8(std::string* out) {
    const unsigned char lead = Peek();
    std::size_t length = 0;
    std::uint32_t value = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
      length = 2;
      value = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      length = 3;
      value = lead & 0x0F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      length = 4;
      value = lead & 0x07;
    } else {
      return false;
    }
    if (m_text.size() - m_at < length) return false;
    for (std::size_t i = 1; i < length; ++i) {
      const auto c = static_cast<unsigned char>(m_text[m_at + i]);
      if ((c & 0xC0) != 0x80) return false;
      value = value << 6 | (c & 0x3F);
    }
    const std::uint32_t least = length == 2 ? 0x80 : length == 3 ? 0x800 : 0x10000;
    if (value < least || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return false;
    if (out != nullptr) out->append(m_text.substr(m_at, length));
    m_at += length;
    return true;
  }

  // A string; its text (as far as names need to compare) goes to out unless that is null.
  bool String(std::string* out) {
    if (!Take('"')) return false;
    while (true) {
      if (AtEnd()) return false;
      const unsigned char c = Peek();
      if (c == '"') {
        ++m_at;
        return true;
      }
      if (c < 0x20) return false;
      if (c >= 0x80) {
        if (!Utf8(out)) return false;
        continue;
      }
      ++m_at;
      if (c != '\\') {
        if (out != nullptr) *out += static_cast<char>(c);
        continue;
      }
      const unsigned char escape = Peek();
      ++m_at;
      switch (escape) {
        case '"':
        case '\\':
        case '/':
          if (out != nullptr) *out += static_cast<char>(escape);
          break;
        case 'b':
        case 'f':
        case 'n':
        case 'r':
        case 't': {
          // The control character, not the letter: "a" newline "b" and "anb" are two names.
          const std::string_view letters = "bfnrt";
          const std::string_view controls = "\b\f\n\r\t";
          if (out != nullptr) *out += controls[letters.find(static_cast<char>(escape))];
          break;
        }
        case 'u': {
          std::uint32_t unit = 0;
          if (!Hex4(unit)) return false;
          if (unit >= 0xDC00 && unit <= 0xDFFF) return false;
          if (unit >= 0xD800 && unit <= 0xDBFF) {
            std::uint32_t low = 0;
            if (!Take('\\') || !Take('u') || !Hex4(low) || low < 0xDC00 || low > 0xDFFF) return false;
            unit = 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
          }
          // Decoded, as a reader compares names: an escaped U+00E9 and a raw one are one name, and an escaped
          // backslash followed by "u65533" is not an escaped U+FFFD.
          if (out != nullptr) AppendUtf8(*out, unit);
          break;
        }
        default:
          return false;
      }
    }
  }

  std::string_view m_text;
  std::size_t m_at = 0;
};

// True when text is one strict JSON value.
inline bool IsStrictJson(std::string_view text) { return JsonChecker(text).Valid(); }

#pragma clang attribute pop

}  // namespace fuzz_support
