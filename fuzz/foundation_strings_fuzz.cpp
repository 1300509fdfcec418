// GString and the UTF-8 conversions of the foundation library. The first input byte picks the encoding
// handed to GString::Set (narrow, UTF-8, UTF-16, swapped UTF-16), the next four drive positions and
// counts, the rest is the text. Properties: the text has no 0 inside and its length is what wcslen says;
// UTF-8 conversion round trips every Unicode scalar value; Left + Mid, Insert + Delete, MakeReverse twice
// and GetBuffer + ReleaseBuffer give the text back; lengths of the cutting operations add up; Replace and
// Remove count the characters they change; a GStringArray keeps what was added.

#include <cstring>
#include <cwchar>
#include <cwctype>

#include "foundation/GString.h"
#include "foundation/GStringArray.h"
#include "foundation/TextFile.h"
#include "fuzz/fuzz_support.h"

namespace {

bool IsScalarValue(wchar_t character) {
  const auto value = static_cast<std::uint32_t>(character);
  return value <= 0x10FFFF && (value < 0xD800 || value > 0xDFFF);
}

std::wstring Text(GString& text) { return std::wstring(static_cast<const wchar_t*>(text)); }

void CheckUtf8RoundTrip(GString& text) {
  char* utf8 = nullptr;
  const int bytes = UnicodeToUtf8(text, utf8);
  FUZZ_CHECK(utf8 != nullptr && bytes == static_cast<int>(std::strlen(utf8)));
  wchar_t* wide = nullptr;
  const int characters = Utf8ToUnicode(wide, utf8);
  FUZZ_CHECK(wide != nullptr && characters == static_cast<int>(std::wcslen(wide)));
  const std::wstring original = Text(text);
  const std::wstring back(wide);
  FUZZ_CHECK(back.size() == original.size());
  for (std::size_t i = 0; i < back.size(); ++i) {
    FUZZ_CHECK(back[i] == (IsScalarValue(original[i]) ? original[i] : L'\xFFFD'));
  }
  delete[] utf8;
  delete[] wide;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 5) return 0;
  const int type = data[0] % 4;
  const int a = data[1];
  const int b = data[2];
  const wchar_t character = static_cast<wchar_t>(data[3] | 0x20);  // never 0
  const wchar_t other = static_cast<wchar_t>(data[4] + 1);
  // The text with a terminator of four zero bytes, aligned for UTF-16 and wchar_t.
  std::vector<std::uint32_t> buffer((size - 5) / 4 + 2, 0);
  std::memcpy(buffer.data(), data + 5, size - 5);

  GString text;
  text.Set(buffer.data(), static_cast<GString::GStringType>(type));
  const std::wstring original = Text(text);
  const int length = text.GetLength();
  FUZZ_CHECK(length == static_cast<int>(original.size()) && text.GetSize() == length);
  FUZZ_CHECK((text.IsEmpty() != 0) == (length == 0));
  if (type == GString::GSTRING_NARROW)
    FUZZ_CHECK(length == static_cast<int>(std::strlen(reinterpret_cast<char*>(buffer.data()))));
  CheckUtf8RoundTrip(text);

  const int cut = length == 0 ? 0 : a % (length + 1);
  GString left = text.Left(cut);
  GString right = text.Mid(cut);
  FUZZ_CHECK(left.GetLength() == cut && right.GetLength() == length - cut);
  FUZZ_CHECK(Text(left) + Text(right) == original);
  FUZZ_CHECK(text.Right(length - cut).Compare(right) == 0);
  GString middle = text.Mid(cut, b);
  FUZZ_CHECK(middle.GetLength() == std::min(b, length - cut));
  if (middle.GetLength() > 0) FUZZ_CHECK(text.Find(middle) <= cut && text.Find(middle) >= 0);
  FUZZ_CHECK(text.Compare(original.c_str()) == 0 && text.CompareNoCase(original.c_str()) == 0);

  GString edited = text;
  const wchar_t inserted[] = {character, other, 0};
  FUZZ_CHECK(edited.Insert(cut, inserted) == length + 2);
  FUZZ_CHECK(edited.Delete(cut, 2) == length);
  FUZZ_CHECK(Text(edited) == original);

  const auto occurrences = static_cast<int>(std::count(original.begin(), original.end(), character));
  edited = text;
  FUZZ_CHECK(edited.Replace(character, other) == occurrences);
  FUZZ_CHECK(edited.GetLength() == length);
  edited = text;
  FUZZ_CHECK(edited.Remove(character) == occurrences && edited.GetLength() == length - occurrences);
  edited = text;
  const wchar_t pattern[] = {character, 0};
  FUZZ_CHECK(edited.Replace(pattern, L"") == occurrences && edited.GetLength() == length - occurrences);

  edited = text;
  edited.MakeReverse();
  edited.MakeReverse();
  FUZZ_CHECK(Text(edited) == original);
  edited.MakeUpper();
  FUZZ_CHECK(edited.GetLength() == length);
  edited = text;
  edited.TrimLeft();
  edited.TrimRight();
  FUZZ_CHECK(edited.GetLength() <= length);
  if (edited.GetLength() > 0) FUZZ_CHECK(!std::iswspace(edited[0]) && !std::iswspace(edited[edited.GetLength() - 1]));

  edited = text;
  wchar_t* work = edited.GetBuffer(length + a);
  FUZZ_CHECK(std::wstring(work) == original);
  edited.ReleaseBuffer(-1);
  FUZZ_CHECK(Text(edited) == original);
  edited.SetLength(cut);
  FUZZ_CHECK(Text(edited) == original.substr(0, cut));

  GStringArray array;
  for (int i = 0; i < 1 + b % 8; ++i) array.Add(text);
  array.InsertAt(0, middle, 1);
  FUZZ_CHECK(array.GetSize() == 2 + b % 8 && array.GetAt(0).Compare(middle) == 0);
  array.RemoveAt(0, 1);
  FUZZ_CHECK(array.GetAt(array.GetUpperBound()).Compare(original.c_str()) == 0);
  return 0;
}
