#include <foundation/GString.h>
#include <foundation/SysString.h>

#include <wchar.h>
#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <cwctype>
#include <functional>
#include <stdexcept>
#include <string_view>
#include <type_traits>
#include <utility>

#include "system.h"
#include "unicode.h"

namespace {

using Unsigned = std::make_unsigned_t<wchar_t>;

[[noreturn]] void ThrowInvalidPosition() { throw std::out_of_range("invalid string position"); }

// Every byte becomes the character of the same value (0x00-0xFF).
void AppendNarrow(std::wstring& out, const char* bytes, std::size_t count) {
  out.reserve(out.size() + count);
  for (std::size_t i = 0; i < count; ++i) out.push_back(static_cast<wchar_t>(static_cast<unsigned char>(bytes[i])));
}

wchar_t AsciiLower(wchar_t c) { return (c >= L'A' && c <= L'Z') ? static_cast<wchar_t>(c - L'A' + L'a') : c; }
wchar_t AsciiUpper(wchar_t c) { return (c >= L'a' && c <= L'z') ? static_cast<wchar_t>(c - L'a' + L'A') : c; }

// Compares two 0-terminated texts character by character, by unsigned value, after mapping both sides.
template <typename Map>
int CompareTexts(const wchar_t* a, const wchar_t* b, Map map) {
  for (;; ++a, ++b) {
    // wchar_t compared by its unsigned value.
    const auto x = static_cast<Unsigned>(map(*a));  // NOLINT(bugprone-signed-char-misuse)
    const auto y = static_cast<Unsigned>(map(*b));  // NOLINT(bugprone-signed-char-misuse)
    if (x != y) return x < y ? -1 : 1;
    if (x == 0) return 0;
  }
}

// True when text points into the characters of s, so s must not change before text has been read.
bool PointsInto(const std::wstring& s, const wchar_t* text) {
  const std::less_equal<const wchar_t*> le;
  return le(s.data(), text) && le(text, s.data() + s.size());
}

int ToInt(std::size_t position) { return position == std::wstring::npos ? -1 : static_cast<int>(position); }

}  // namespace

GString::GString() = default;

GString::GString(const GString& other) { *this = other; }

GString::GString(const char* text) { Copy(text, -1, 0); }

GString::GString(const unsigned char* text) { Copy(reinterpret_cast<const char*>(text), -1, 0); }

GString::GString(const char* text, int count) { Copy(text, count, 0); }

GString::GString(const wchar_t* text) { *this = text; }

GString::GString(const wchar_t* text, int count) { Copy(text, count, 0); }

GString::GString(wchar_t character, int count) {
  if (count > 0) m_text.assign(static_cast<std::size_t>(count), character);
}

GString::GString(Adopt, std::wstring&& text) : m_text(std::move(text)) {}

GString::~GString() = default;

GString& GString::operator=(const GString& other) {
  try {
    // A copy ends at the first 0, as the text it copies would when read as a C string.
    std::wstring text(other.m_text.c_str());  // NOLINT(readability-redundant-string-cstr)
    m_text.swap(text);
  } catch (...) {
  }
  return *this;
}

GString& GString::operator=(const wchar_t* text) {
  try {
    std::wstring copy = text == nullptr ? std::wstring() : std::wstring(text);
    m_text.swap(copy);
  } catch (...) {
  }
  return *this;
}

GString& GString::operator=(const char* text) {
  Copy(text, -1, 0);
  return *this;
}

GString& GString::operator=(const unsigned char* text) {
  Copy(reinterpret_cast<const char*>(text), -1, 0);
  return *this;
}

GString& GString::operator=(wchar_t character) {
  try {
    m_text.assign(1, character);
  } catch (...) {
  }
  return *this;
}

void GString::Copy(const char* source, int count, int start) {
  // The new text is built beside the old one, so a source inside this string stays readable.
  std::wstring text;
  if (source != nullptr) {
    try {
      const std::size_t from = start > 0 ? static_cast<std::size_t>(start) : 0;
      if (count < 0) {
        const std::size_t length = std::strlen(source);
        if (from < length) AppendNarrow(text, source + from, length - from);
      } else if (start <= 0 || from < std::strlen(source)) {
        AppendNarrow(text, source + from, static_cast<std::size_t>(count));
      }
    } catch (...) {
    }
  }
  m_text.swap(text);
}

void GString::Copy(const wchar_t* source, int count, int start) {
  std::wstring text;
  if (source != nullptr) {
    try {
      const std::size_t from = start > 0 ? static_cast<std::size_t>(start) : 0;
      if (count == -1) {
        const std::size_t length = std::wcslen(source);
        if (from <= length) text.assign(source + from, length - from);
      } else if (count >= 0) {
        for (std::size_t i = 0; i < static_cast<std::size_t>(count); ++i) {
          const wchar_t c = source[from + i];
          if (c != 0) text.push_back(c);
        }
      }
    } catch (...) {
    }
  }
  m_text.swap(text);
}

void GString::Set(void* data, GStringType type) {
  using foundation_detail::Utf16ToWide;
  using foundation_detail::Utf8ToWide;
  const int kind = static_cast<int>(type);
  if (kind < GSTRING_NARROW || kind > GSTRING_UTF16_SWAPPED) return;
  if (data == nullptr) {
    m_text.clear();
    return;
  }
  try {
    switch (type) {
      case GSTRING_NARROW:
        Copy(static_cast<const char*>(data), -1, 0);
        break;
      case GSTRING_UTF8:
        m_text = Utf8ToWide(static_cast<const char*>(data));
        break;
      case GSTRING_UTF16:
        m_text = Utf16ToWide(data, false);
        break;
      case GSTRING_UTF16_SWAPPED:
        m_text = Utf16ToWide(data, true);
        break;
    }
  } catch (...) {
  }
}

void GString::Empty() { m_text.clear(); }

int GString::GetLength() { return static_cast<int>(m_text.size()); }

int GString::GetSize() { return GetLength(); }

int GString::IsEmpty() { return m_text.empty() ? 1 : 0; }

wchar_t GString::GetAt(int position) { return (*this)[position]; }

wchar_t GString::operator[](int position) const {
  if (position < 0) ThrowInvalidPosition();
  return static_cast<std::size_t>(position) < m_text.size() ? m_text[static_cast<std::size_t>(position)] : 0;
}

void GString::SetAt(int position, wchar_t character) {
  if (position < 0) ThrowInvalidPosition();
  if (static_cast<std::size_t>(position) < m_text.size()) m_text[static_cast<std::size_t>(position)] = character;
}

GString::operator const wchar_t*() const { return m_text.c_str(); }

wchar_t* GString::GetBuffer(int length) {
  ReleaseWorkBuffer();
  const std::size_t size = length > 0 ? static_cast<std::size_t>(length) : 0;
  // make_unique value-initialises: every character behind the copied text is 0.
  auto buffer = std::make_unique<wchar_t[]>(size + 1);
  std::copy_n(m_text.data(), std::min(size, m_text.size()), buffer.get());
  m_workBuffer = std::move(buffer);
  m_workLength = static_cast<int>(size);
  return m_workBuffer.get();
}

wchar_t* GString::GetBuffer() { return GetBuffer(GetLength()); }

void GString::ReleaseBuffer(int length) {
  if (!m_workBuffer) return;
  const std::size_t capacity = static_cast<std::size_t>(m_workLength);
  const wchar_t* buffer = m_workBuffer.get();
  // A buffer whose terminator was overwritten is taken whole, never read past its end.
  const std::size_t taken =
      length < 0 ? ::wcsnlen(buffer, capacity + 1) : std::min(static_cast<std::size_t>(length), capacity);
  m_text.assign(buffer, taken);
  ReleaseWorkBuffer();
}

void GString::ReleaseWorkBuffer() {
  m_workBuffer.reset();
  m_workLength = 0;
}

void GString::SetLength(int length) { m_text.resize(length > 0 ? static_cast<std::size_t>(length) : 0, L' '); }

int GString::Compare(const wchar_t* text) {
  if (text == nullptr) return 1;
  return CompareTexts(m_text.c_str(), text, [](wchar_t c) { return c; });
}

int GString::CompareNoCase(const wchar_t* text) {
  if (text == nullptr) return 1;
  return CompareTexts(m_text.c_str(), text, AsciiLower);
}

int GString::Collate(const wchar_t* text) {
  if (text == nullptr) return 1;
  return std::wcscoll(m_text.c_str(), text);
}

int GString::Find(wchar_t character) { return ToInt(m_text.find(character)); }

int GString::Find(wchar_t character, int start) {
  if (start < 0) ThrowInvalidPosition();
  if (static_cast<std::size_t>(start) >= m_text.size()) return -1;
  return ToInt(m_text.find(character, static_cast<std::size_t>(start)));
}

int GString::Find(const wchar_t* text) { return Find(text, 0); }

int GString::Find(const wchar_t* text, int start) {
  if (text == nullptr) return -1;
  return ToInt(m_text.find(text, start > 0 ? static_cast<std::size_t>(start) : 0));
}

int GString::FindOneOf(const wchar_t* set) {
  if (set == nullptr) return -1;
  return ToInt(m_text.find_first_of(set));
}

int GString::ReverseFind(wchar_t character) { return ToInt(m_text.rfind(character)); }

GString GString::Left(int count) {
  if (count < 0 || static_cast<std::size_t>(count) >= m_text.size()) return GString(Adopt{}, std::wstring(m_text));
  return GString(Adopt{}, m_text.substr(0, static_cast<std::size_t>(count)));
}

GString GString::Right(int count) {
  if (count < 0) ThrowInvalidPosition();
  if (static_cast<std::size_t>(count) >= m_text.size()) return GString(Adopt{}, std::wstring(m_text));
  return GString(Adopt{}, m_text.substr(m_text.size() - static_cast<std::size_t>(count)));
}

GString GString::Mid(int first) {
  if (first < 0 || static_cast<std::size_t>(first) > m_text.size()) ThrowInvalidPosition();
  return GString(Adopt{}, m_text.substr(static_cast<std::size_t>(first)));
}

GString GString::Mid(int first, int count) {
  if (first < 0 || static_cast<std::size_t>(first) > m_text.size()) ThrowInvalidPosition();
  if (count < 0) return GString();
  return GString(Adopt{}, m_text.substr(static_cast<std::size_t>(first), static_cast<std::size_t>(count)));
}

GString GString::SpanIncluding(const wchar_t* set) {
  if (set == nullptr) return GString();
  return GString(Adopt{}, m_text.substr(0, m_text.find_first_not_of(set)));
}

GString GString::SpanExcluding(const wchar_t* set) {
  if (set == nullptr || m_text.empty()) return GString();
  return GString(Adopt{}, m_text.substr(0, m_text.find_first_of(set)));
}

void GString::Append(const GString& other) {
  try {
    // Read up to the first 0 into a copy first: other may be this string.
    const std::wstring text(other.m_text.c_str());  // NOLINT(readability-redundant-string-cstr)
    m_text.append(text);
  } catch (...) {
  }
}

GString& GString::operator+=(const GString& other) {
  Append(other);
  return *this;
}

GString& GString::operator<<(const GString& other) {
  Append(other);
  return *this;
}

void GString::Append(const wchar_t* text) {
  if (text == nullptr) return;
  try {
    if (PointsInto(m_text, text)) {
      const std::wstring copy(text);
      m_text.append(copy);
    } else {
      m_text.append(text);
    }
  } catch (...) {
  }
}

void GString::Append(wchar_t character, int count) {
  if (character == 0 || count <= 0) return;
  try {
    m_text.append(static_cast<std::size_t>(count), character);
  } catch (...) {
  }
}

GString& GString::operator+=(wchar_t character) {
  try {
    m_text.push_back(character);
  } catch (...) {
  }
  return *this;
}

GString& GString::operator<<(wchar_t character) { return *this += character; }

int GString::Insert(int position, wchar_t character) {
  const std::size_t at = std::min(position > 0 ? static_cast<std::size_t>(position) : 0, m_text.size());
  m_text.insert(at, 1, character);
  return GetLength();
}

int GString::Insert(int position, const wchar_t* text) {
  if (text == nullptr) return GetLength();
  const std::size_t at = std::min(position > 0 ? static_cast<std::size_t>(position) : 0, m_text.size());
  const std::wstring copy(text);
  m_text.insert(at, copy);
  return GetLength();
}

int GString::Delete(int first, int count) {
  if (first >= 0 && count > 0 && static_cast<std::size_t>(first) < m_text.size()) {
    m_text.erase(static_cast<std::size_t>(first), static_cast<std::size_t>(count));
  }
  return GetLength();
}

int GString::Remove(wchar_t character) { return static_cast<int>(std::erase(m_text, character)); }

int GString::Replace(wchar_t oldCharacter, wchar_t newCharacter) {
  int count = 0;
  for (wchar_t& c : m_text) {
    if (c == oldCharacter) {
      c = newCharacter;
      ++count;
    }
  }
  return count;
}

int GString::Replace(const wchar_t* oldText, const wchar_t* newText) {
  if (oldText == nullptr || *oldText == 0) return 0;
  // Copies, since either text may point into this string.
  const std::wstring old(oldText);
  const std::wstring replacement = newText == nullptr ? std::wstring() : std::wstring(newText);
  std::wstring result;
  int count = 0;
  std::size_t rest = 0;
  for (std::size_t found = m_text.find(old); found != std::wstring::npos; found = m_text.find(old, rest)) {
    result.append(m_text, rest, found - rest);
    result.append(replacement);
    rest = found + old.size();
    ++count;
  }
  if (count == 0) return 0;
  result.append(m_text, rest, std::wstring::npos);
  m_text.swap(result);
  return count;
}

void GString::MakeUpper() { std::transform(m_text.begin(), m_text.end(), m_text.begin(), AsciiUpper); }

void GString::MakeLower() { std::transform(m_text.begin(), m_text.end(), m_text.begin(), AsciiLower); }

void GString::MakeReverse() { std::reverse(m_text.begin(), m_text.end()); }

void GString::TrimLeft() {
  const auto first = std::find_if(m_text.begin(), m_text.end(), [](wchar_t c) { return !std::iswspace(c); });
  m_text.erase(m_text.begin(), first);
}

void GString::TrimRight() {
  const auto last = std::find_if(m_text.rbegin(), m_text.rend(), [](wchar_t c) { return !std::iswspace(c); });
  m_text.erase(last.base(), m_text.end());
}

void GString::TrimLeft(wchar_t character) { m_text.erase(0, m_text.find_first_not_of(character)); }

void GString::TrimRight(wchar_t character) {
  const std::size_t last = m_text.find_last_not_of(character);
  m_text.erase(last == std::wstring::npos ? 0 : last + 1);
}

void GString::Format(const wchar_t* format, ...) {
  m_text.clear();
  if (format == nullptr) return;
  std::va_list args;
  va_start(args, format);
  std::wstring text;
  if (foundation_detail::FormatWide(text, format, args)) m_text = std::move(text);
  va_end(args);
}

int GString::GetEnvironmentVariableW(const wchar_t* name) {
  m_text.clear();
  if (name == nullptr) return 0;
  std::wstring value;
  if (!foundation_detail::ReadEnvironment(name, value)) return 0;
  m_text = std::move(value);
  return m_text.empty() ? 0 : 1;
}

wchar_t* GString::AllocSysString(unsigned long) {
  return SysAllocStringLen(m_text.data(), static_cast<unsigned int>(m_text.size()));
}

wchar_t* GString::SetSysString(wchar_t** systemString, unsigned long) {
  if (systemString == nullptr) return nullptr;
  SysReAllocStringLen(systemString, m_text.data(), static_cast<unsigned int>(m_text.size()));
  return *systemString;
}
