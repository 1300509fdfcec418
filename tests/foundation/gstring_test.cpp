#include <foundation/GString.h>
#include <foundation/SysString.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <stdexcept>
#include <string>

#include "support/test_system.h"

namespace {

// The whole text, 0 characters included.
std::wstring Text(GString& s) { return std::wstring(static_cast<const wchar_t*>(s), s.GetLength()); }

TEST(GStringConstruction, NarrowBytesWidenToTheSameValue) {
  GString plain("A\xE9\xFF");
  EXPECT_EQ(Text(plain), L"A\u00E9\u00FF");
  GString fromUnsigned(reinterpret_cast<const unsigned char*>("\x80z"));
  EXPECT_EQ(Text(fromUnsigned), L"\u0080z");
  GString assigned;
  assigned = "\xC4";
  EXPECT_EQ(Text(assigned), L"\u00C4");
  GString none(static_cast<const char*>(nullptr));
  EXPECT_EQ(none.IsEmpty(), 1);
}

TEST(GStringConstruction, RepeatedCharacterAndSingleCharacterAssignment) {
  GString dashes(L'-', 3);
  EXPECT_EQ(Text(dashes), L"---");
  GString none(L'x', -2);
  EXPECT_EQ(none.GetLength(), 0);
  dashes = L'q';
  EXPECT_EQ(Text(dashes), L"q");
}

TEST(GStringConstruction, ZeroInTheMiddleDoesNotSurviveACopy) {
  GString s(L"ab");
  s += L'\0';
  s += L'c';
  ASSERT_EQ(s.GetLength(), 4);
  GString copied(s);
  EXPECT_EQ(Text(copied), L"ab");
  GString assigned(L"zzzzzz");
  assigned = s;
  EXPECT_EQ(Text(assigned), L"ab");
  GString zeros(L'\0', 3);
  EXPECT_EQ(zeros.GetLength(), 3);
  GString zerosCopied(zeros);
  EXPECT_EQ(zerosCopied.GetLength(), 0);
}

TEST(GStringCopy, NarrowCountsAndStarts) {
  GString s(L"old");
  s.Copy("hello", 3, 1);
  EXPECT_EQ(Text(s), L"ell");
  s.Copy("hello", -1, 2);
  EXPECT_EQ(Text(s), L"llo");
  s.Copy("hello", -1, 5);  // start at the length: nothing
  EXPECT_EQ(Text(s), L"");
  s.Copy("ab", 1, 2);  // start at the length with a count: nothing
  EXPECT_EQ(Text(s), L"");
  s.Copy("a\0b", 3, 0);  // a count takes 0 bytes too
  EXPECT_EQ(Text(s), std::wstring(L"a\0b", 3));
  s.Copy("\0\0", 2, 0);  // start 0 takes the bytes even of an empty text
  EXPECT_EQ(s.GetLength(), 2);
  s.Copy("hello", 2, -4);  // a negative start counts as 0
  EXPECT_EQ(Text(s), L"he");
  s.Copy(static_cast<const char*>(nullptr), 3, 0);
  EXPECT_EQ(s.GetLength(), 0);
}

TEST(GStringCopy, WideCountsSkipZerosAndStopAtTheEnd) {
  GString s;
  s.Copy(L"hello", -1, 2);
  EXPECT_EQ(Text(s), L"llo");
  s.Copy(L"hello", -1, 9);  // beyond the terminator: nothing is read
  EXPECT_EQ(Text(s), L"");
  const wchar_t source[] = {L'a', 0, L'b', L'c', L'd', 0};
  s.Copy(source, 3, 0);
  EXPECT_EQ(Text(s), L"ab");
  s.Copy(L"hello", -2, 0);
  EXPECT_EQ(Text(s), L"");
  GString counted(L"hello", 4);
  EXPECT_EQ(Text(counted), L"hell");
}

TEST(GStringCopy, CopyFromItsOwnText) {
  GString s(L"abcdef");
  s.Copy(static_cast<const wchar_t*>(s), -1, 2);
  EXPECT_EQ(Text(s), L"cdef");
  s = static_cast<const wchar_t*>(s) + 1;
  EXPECT_EQ(Text(s), L"def");
}

TEST(GStringSet, EncodingsBecomeCharacters) {
  GString s;
  char narrow[] = "\xC4x";
  s.Set(narrow, GString::GSTRING_NARROW);
  EXPECT_EQ(Text(s), L"\u00C4x");

  char utf8[] = "\xC3\xA4\xF0\x9F\x8E\xB5!";  // U+00E4, U+1F3B5, '!'
  s.Set(utf8, GString::GSTRING_UTF8);
  EXPECT_EQ(Text(s), L"\u00E4\U0001F3B5!");
  char broken[] =
      "a\xFF"
      "b";
  s.Set(broken, GString::GSTRING_UTF8);
  EXPECT_EQ(Text(s), L"a\uFFFDb");

  char16_t utf16[] = {u'h', 0x00E9, 0xD83C, 0xDFB5, 0};  // h, U+00E9, U+1F3B5
  s.Set(utf16, GString::GSTRING_UTF16);
  EXPECT_EQ(Text(s), L"h\u00E9\U0001F3B5");
  char16_t lone[] = {0xD800, u'a', 0};
  s.Set(lone, GString::GSTRING_UTF16);
  EXPECT_EQ(Text(s), std::wstring({static_cast<wchar_t>(0xD800), L'a'}));
}

TEST(GStringSet, SwappedUtf16LeavesTheDataAlone) {
  // Big-endian bytes on this little-endian machine: 'h', U+1F3B5 as D83C DFB5, terminator.
  unsigned char bytes[] = {0x00, 0x68, 0xD8, 0x3C, 0xDF, 0xB5, 0x00, 0x00};
  const std::basic_string<unsigned char> before(bytes, sizeof bytes);
  GString s;
  s.Set(bytes, GString::GSTRING_UTF16_SWAPPED);
  EXPECT_EQ(Text(s), L"h\U0001F3B5");
  EXPECT_EQ(std::basic_string<unsigned char>(bytes, sizeof bytes), before);
  s.Set(bytes, GString::GSTRING_UTF16_SWAPPED);  // the same data gives the same text again
  EXPECT_EQ(Text(s), L"h\U0001F3B5");
}

TEST(GStringSet, UnknownTypeKeepsTheTextAndNullEmptiesIt) {
  GString s(L"keep");
  char data[] = "x";
  s.Set(data, static_cast<GString::GStringType>(7));
  EXPECT_EQ(Text(s), L"keep");
  s.Set(nullptr, GString::GSTRING_UTF8);
  EXPECT_EQ(Text(s), L"");
}

TEST(GStringAccess, PositionsAtAndBeyondTheEnd) {
  GString s(L"abc");
  EXPECT_EQ(s.GetAt(2), L'c');
  EXPECT_EQ(s.GetAt(3), 0);
  EXPECT_EQ(s.GetAt(99), 0);
  EXPECT_EQ(s[3], 0);
  s.SetAt(3, L'x');
  s.SetAt(0, L'A');
  EXPECT_EQ(Text(s), L"Abc");
  EXPECT_EQ(s.GetSize(), 3);
}

TEST(GStringAccess, NegativePositionsThrowOutOfRange) {
  GString s(L"abc");
  try {
    s.GetAt(-1);
    FAIL() << "no exception";
  } catch (const std::out_of_range& error) {
    EXPECT_STREQ(error.what(), "invalid string position");
  }
  EXPECT_THROW(s[-1], std::out_of_range);
  EXPECT_THROW(s.SetAt(-1, L'x'), std::out_of_range);
  EXPECT_THROW(s.Right(-1), std::out_of_range);
  EXPECT_THROW(s.Mid(-1), std::out_of_range);
  EXPECT_THROW(s.Mid(-1, 2), std::out_of_range);
  EXPECT_THROW(s.Mid(4), std::out_of_range);
  EXPECT_THROW(s.Mid(4, 1), std::out_of_range);
  EXPECT_THROW(s.Find(L'a', -1), std::out_of_range);
}

TEST(GStringAccess, SetLengthCutsOrPadsWithSpaces) {
  GString shortText(L"ab");
  shortText.SetLength(5);
  EXPECT_EQ(Text(shortText), L"ab   ");
  GString longText(L"abcdefg");
  longText.SetLength(5);
  EXPECT_EQ(Text(longText), L"abcde");
  longText.SetLength(-1);
  EXPECT_EQ(Text(longText), L"");
}

TEST(GStringWorkBuffer, CopiesTheTextAndFillsTheRestWithZeros) {
  GString s(L"abc");
  wchar_t* buffer = s.GetBuffer(5);
  EXPECT_EQ(std::wstring(buffer, 6), std::wstring(L"abc\0\0\0", 6));
  buffer[3] = L'd';
  EXPECT_EQ(Text(s), L"abc");  // unchanged until the release
  s.ReleaseBuffer(-1);
  EXPECT_EQ(Text(s), L"abcd");

  buffer = s.GetBuffer(1);
  EXPECT_EQ(std::wstring(buffer, 2), std::wstring(L"a\0", 2));
  s.ReleaseBuffer(1);
  EXPECT_EQ(Text(s), L"a");

  buffer = s.GetBuffer();
  buffer = s.GetBuffer(2);  // the first buffer is released
  buffer[1] = L'b';
  s.ReleaseBuffer(10);  // at most the buffer's length
  EXPECT_EQ(Text(s), L"ab");
  s.ReleaseBuffer(0);  // no buffer: nothing happens
  EXPECT_EQ(Text(s), L"ab");

  buffer = s.GetBuffer(3);
  s.ReleaseBuffer(3);  // exactly three characters, the 0 included
  EXPECT_EQ(Text(s), std::wstring(L"ab\0", 3));
  s.GetBuffer(4);  // left to the destructor
}

TEST(GStringCompare, ValueOrderFoldingAndNull) {
  GString s(L"abc");
  EXPECT_LT(s.Compare(L"abd"), 0);
  EXPECT_EQ(s.Compare(L"abc"), 0);
  EXPECT_GT(s.Compare(L"ab"), 0);
  EXPECT_EQ(s.Compare(nullptr), 1);
  GString mixed(L"HeLLo");
  EXPECT_EQ(mixed.CompareNoCase(L"hello"), 0);
  EXPECT_EQ(mixed.CompareNoCase(nullptr), 1);
  GString underscore(L"_");
  EXPECT_LT(underscore.CompareNoCase(L"A"), 0);  // folded to lower case: '_' (0x5F) before 'a' (0x61)
  GString accented(L"\u00C9");
  EXPECT_NE(accented.CompareNoCase(L"\u00E9"), 0);  // only A-Z fold
  EXPECT_LT(s.Collate(L"abd"), 0);
  EXPECT_EQ(s.Collate(L"abc"), 0);
  EXPECT_EQ(s.Collate(nullptr), 1);
}

TEST(GStringSearch, PositionsAndMisses) {
  GString s(L"hello world");
  EXPECT_EQ(s.Find(L'o'), 4);
  EXPECT_EQ(s.Find(L'o', 5), 7);
  EXPECT_EQ(s.Find(L'd', 11), -1);  // start at the length
  EXPECT_EQ(s.Find(L'z'), -1);
  EXPECT_EQ(s.Find(L"wor"), 6);
  EXPECT_EQ(s.Find(L"o", 5), 7);
  EXPECT_EQ(s.Find(L"o", -3), 4);
  EXPECT_EQ(s.Find(L"xyz"), -1);
  EXPECT_EQ(s.Find(static_cast<const wchar_t*>(nullptr)), -1);
  EXPECT_EQ(s.Find(L""), 0);
  EXPECT_EQ(s.FindOneOf(L"wr"), 6);
  EXPECT_EQ(s.FindOneOf(L"xyz"), -1);
  EXPECT_EQ(s.FindOneOf(nullptr), -1);
  EXPECT_EQ(s.ReverseFind(L'o'), 7);
  EXPECT_EQ(s.ReverseFind(L'z'), -1);
}

TEST(GStringExtract, LeftRightMid) {
  GString s(L"abcdef");
  GString left = s.Left(2);
  EXPECT_EQ(Text(left), L"ab");
  left = s.Left(-1);
  EXPECT_EQ(Text(left), L"abcdef");
  left = s.Left(99);
  EXPECT_EQ(Text(left), L"abcdef");
  GString right = s.Right(2);
  EXPECT_EQ(Text(right), L"ef");
  right = s.Right(99);
  EXPECT_EQ(Text(right), L"abcdef");
  GString mid = s.Mid(0);
  EXPECT_EQ(Text(mid), L"abcdef");
  mid = s.Mid(6);
  EXPECT_EQ(Text(mid), L"");
  mid = s.Mid(1, 2);
  EXPECT_EQ(Text(mid), L"bc");
  mid = s.Mid(4, 99);
  EXPECT_EQ(Text(mid), L"ef");
  mid = s.Mid(1, -1);
  EXPECT_EQ(Text(mid), L"");
}

TEST(GStringExtract, Spans) {
  GString s(L"abacus");
  GString span = s.SpanIncluding(L"ab");
  EXPECT_EQ(Text(span), L"aba");
  span = s.SpanIncluding(nullptr);
  EXPECT_EQ(Text(span), L"");
  span = s.SpanExcluding(L"cu");
  EXPECT_EQ(Text(span), L"aba");
  span = s.SpanExcluding(L"");
  EXPECT_EQ(Text(span), L"abacus");
  span = s.SpanExcluding(nullptr);
  EXPECT_EQ(Text(span), L"");
  GString empty;
  span = empty.SpanExcluding(L"x");
  EXPECT_EQ(Text(span), L"");
  span = empty.SpanExcluding(L"");
  EXPECT_EQ(Text(span), L"");
}

TEST(GStringModify, AppendingIncludingItself) {
  GString s(L"ab");
  s.Append(s);
  EXPECT_EQ(Text(s), L"abab");
  s += s;
  EXPECT_EQ(Text(s), L"abababab");
  GString t(L"x");
  t.Append(static_cast<const wchar_t*>(t));
  EXPECT_EQ(Text(t), L"xx");
  t << L'y' << GString(L"z");
  EXPECT_EQ(Text(t), L"xxyz");
  t.Append(static_cast<const wchar_t*>(nullptr));
  t.Append(L'-', 3);
  t.Append(L'\0', 3);  // a 0 character appends nothing here
  EXPECT_EQ(Text(t), L"xxyz---");
  t << L'\0';  // but is kept by the operators
  EXPECT_EQ(t.GetLength(), 8);
}

TEST(GStringModify, InsertAndDelete) {
  GString s(L"bc");
  EXPECT_EQ(s.Insert(-3, L'a'), 3);
  EXPECT_EQ(s.Insert(99, L"de"), 5);
  EXPECT_EQ(s.Insert(1, L"X"), 6);
  EXPECT_EQ(s.Insert(1, static_cast<const wchar_t*>(nullptr)), 6);
  EXPECT_EQ(Text(s), L"aXbcde");
  EXPECT_EQ(s.Delete(1, 2), 4);
  EXPECT_EQ(Text(s), L"acde");
  EXPECT_EQ(s.Delete(2, 99), 2);  // cut to the text
  EXPECT_EQ(s.Delete(-1, 1), 2);
  EXPECT_EQ(s.Delete(0, -1), 2);
  EXPECT_EQ(Text(s), L"ac");
}

TEST(GStringModify, RemoveAndReplaceCharacters) {
  GString s(L"banana");
  EXPECT_EQ(s.Replace(L'a', L'o'), 3);
  EXPECT_EQ(Text(s), L"bonono");
  EXPECT_EQ(s.Remove(L'o'), 3);
  EXPECT_EQ(Text(s), L"bnn");
  EXPECT_EQ(s.Remove(L'z'), 0);
}

TEST(GStringModify, ReplaceTexts) {
  GString s(L"aaaa");
  EXPECT_EQ(s.Replace(L"aa", L"a"), 2);
  EXPECT_EQ(Text(s), L"aa");

  GString grows(L"aXa");
  EXPECT_EQ(grows.Replace(L"a", L"aa"), 2);  // brought-in text is not searched again
  EXPECT_EQ(Text(grows), L"aaXaa");

  GString removed(L"a-b-c");
  EXPECT_EQ(removed.Replace(L"-", nullptr), 2);
  EXPECT_EQ(Text(removed), L"abc");
  EXPECT_EQ(removed.Replace(L"", L"x"), 0);
  EXPECT_EQ(removed.Replace(nullptr, L"x"), 0);
  EXPECT_EQ(removed.Replace(L"zz", L"x"), 0);
  EXPECT_EQ(Text(removed), L"abc");

  GString self(L"abab");
  EXPECT_EQ(self.Replace(L"ab", static_cast<const wchar_t*>(self)), 2);
  EXPECT_EQ(Text(self), L"abababab");
}

TEST(GStringModify, CaseReverseAndTrim) {
  GString s(L"abc-\u00E9Z");
  s.MakeUpper();
  EXPECT_EQ(Text(s), L"ABC-\u00E9Z");
  s.MakeLower();
  EXPECT_EQ(Text(s), L"abc-\u00E9z");
  s.MakeReverse();
  EXPECT_EQ(Text(s), L"z\u00E9-cba");

  GString spaced(L" \t\r\nab c \n");
  spaced.TrimLeft();
  EXPECT_EQ(Text(spaced), L"ab c \n");
  spaced.TrimRight();
  EXPECT_EQ(Text(spaced), L"ab c");

  GString xs(L"xxabx");
  xs.TrimLeft(L'x');
  EXPECT_EQ(Text(xs), L"abx");
  xs.TrimRight(L'x');
  EXPECT_EQ(Text(xs), L"ab");
  GString only(L"xxx");
  only.TrimRight(L'x');
  EXPECT_EQ(Text(only), L"");
}

TEST(GStringFormat, FormatsAndEndsAtTheFirstZero) {
  GString s(L"old");
  s.Format(L"%d-%ls-%.1f-%c", 42, L"wide", 2.5, 'n');
  EXPECT_EQ(Text(s), L"42-wide-2.5-n");
  const std::wstring longText(5000, L'y');
  s.Format(L"<%ls>", longText.c_str());
  EXPECT_EQ(Text(s), L"<" + longText + L">");
  s.Format(L"a%lcb", L'\0');
  EXPECT_EQ(Text(s), L"a");
  s.Format(L"%lld|%*.*f|%s|%zu%lc%ls", 1LL << 40, 6, 2, 1.5, "n", std::size_t{9}, L'\0', L"gone");
  EXPECT_EQ(Text(s), L"1099511627776|  1.50|n|9");
#ifdef _WIN32
  // The "C" locale of the Windows runtime takes every byte as the character of that number.
  s.Format(L"%s", "\xFF");
  EXPECT_EQ(Text(s), L"\u00FF");
#else
  // A narrow argument that the "C" locale cannot convert: the formatting fails and the text is empty.
  s.Format(L"%s", "\xFF");
  EXPECT_EQ(Text(s), L"");
#endif
}

TEST(GStringSystem, EnvironmentVariables) {
  GString s(L"old");
  testing_support::SetEnvironment("LFQ_FOUNDATION_TEST_VALUE", "w\xC3\xA9rt");
  EXPECT_EQ(s.GetEnvironmentVariableW(L"LFQ_FOUNDATION_TEST_VALUE"), 1);
  EXPECT_EQ(Text(s), L"w\u00E9rt");
  testing_support::SetEnvironment("LFQ_FOUNDATION_TEST_VALUE", "");
  EXPECT_EQ(s.GetEnvironmentVariableW(L"LFQ_FOUNDATION_TEST_VALUE"), 0);
  testing_support::UnsetEnvironment("LFQ_FOUNDATION_TEST_VALUE");
  s = L"old";
  EXPECT_EQ(s.GetEnvironmentVariableW(L"LFQ_FOUNDATION_TEST_VALUE"), 0);
  EXPECT_EQ(Text(s), L"");
  EXPECT_EQ(s.GetEnvironmentVariableW(nullptr), 0);
}

TEST(GStringSystem, SystemStrings) {
  GString s(L"h\u00E9llo");
  wchar_t* system = s.AllocSysString(0);
  ASSERT_NE(system, nullptr);
  EXPECT_EQ(SysStringLen(system), 5u);
  EXPECT_EQ(std::wstring(system, 6), std::wstring(L"h\u00E9llo\0", 6));
  GString longer(L"longer text");
  EXPECT_EQ(longer.SetSysString(&system, 0), system);
  EXPECT_EQ(SysStringLen(system), 11u);
  EXPECT_EQ(std::wstring(system), L"longer text");
  // Reallocating from the string's own characters.
  ASSERT_EQ(SysReAllocStringLen(&system, system + 7, 4), 1);
  EXPECT_EQ(std::wstring(system), L"text");
  EXPECT_EQ(longer.SetSysString(nullptr, 0), nullptr);
  SysFreeString(system);

  wchar_t* zeroed = SysAllocStringLen(nullptr, 2);
  ASSERT_NE(zeroed, nullptr);
  EXPECT_EQ(std::wstring(zeroed, 3), std::wstring(3, L'\0'));
  SysFreeString(zeroed);
  SysFreeString(nullptr);
  EXPECT_EQ(SysStringLen(nullptr), 0u);
}

}  // namespace
