#include <foundation/CBufferFile.h>
#include <foundation/TextFile.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "core/platform_system.h"
#include "support/temp_dir.h"

namespace {

using testing_support::ReadBytes;
using testing_support::TempDir;
using testing_support::WriteBytes;
using Bytes = std::vector<std::uint8_t>;

std::wstring Wide(const std::filesystem::path& path) { return path.wstring(); }

// Takes over a buffer handed out by the library, which the caller releases with delete[].
template <typename T>
std::unique_ptr<T[]> Own(T* buffer) {
  return std::unique_ptr<T[]>(buffer);
}

TEST(FoundationByteOrderMark, InMemory) {
  unsigned char mark[3] = {0xEF, 0xBB, 0xBF};
  unsigned char other[3] = {0xEF, 0xBB, 0x00};
  EXPECT_EQ(ReadBOM(mark), 1);
  EXPECT_EQ(ReadBOM(other), 0);
  EXPECT_EQ(ReadBOM(static_cast<unsigned char*>(nullptr)), 0);
  unsigned char written[4] = {0, 0, 0, 0x77};
  WriteBOM(written);
  EXPECT_EQ(Bytes(written, written + 4), (Bytes{0xEF, 0xBB, 0xBF, 0x77}));
}

TEST(FoundationByteOrderMark, ShortFilesHaveNoMark) {
  TempDir dir;
  WriteBytes(dir / "short", {0xEF, 0xBB});
  WriteBytes(dir / "marked", {0xEF, 0xBB, 0xBF, 'a'});
  {
    GFile file(Wide(dir / "short").c_str(), 0x0);
    EXPECT_EQ(ReadBOM(file), 0);
    EXPECT_EQ(file.GetPosition(), 2u);
  }
  {
    GFile file(Wide(dir / "marked").c_str(), 0x0);
    EXPECT_EQ(ReadBOM(file), 1);
    EXPECT_EQ(file.GetPosition(), 3u);
  }
  std::FILE* stream = core::OpenFileStream(dir / "short", "rb");
  ASSERT_NE(stream, nullptr);
  EXPECT_EQ(ReadBOM(stream), 0);
  std::fclose(stream);
  stream = core::OpenFileStream(dir / "marked", "rb");
  ASSERT_NE(stream, nullptr);
  EXPECT_EQ(ReadBOM(stream), 1);
  EXPECT_EQ(std::ftell(stream), 3);
  std::fclose(stream);
  EXPECT_EQ(ReadBOM(static_cast<std::FILE*>(nullptr)), 0);
}

TEST(FoundationUtf8Output, MarkAndTextToFilesAndStreams) {
  TempDir dir;
  {
    GFile file(Wide(dir / "g.txt").c_str(), 0x1 | 0x1000);
    WriteBOM(file);
    GString text(L"\u00E9\u20AC");
    text += L'\0';
    text += L'x';  // behind the first 0: not written
    WriteUtf8(text, file);
  }
  EXPECT_EQ(ReadBytes(dir / "g.txt"), (Bytes{0xEF, 0xBB, 0xBF, 0xC3, 0xA9, 0xE2, 0x82, 0xAC}));

  std::FILE* stream = core::OpenFileStream(dir / "s.txt", "wb");
  ASSERT_NE(stream, nullptr);
  WriteBOM(stream);
  std::wstring text = L"a\U0001F3B5";    // one character, or a surrogate pair where wchar_t is 16 bits
  text += static_cast<wchar_t>(0xD800);  // a lone surrogate becomes U+FFFD
  WriteUtf8(GString(text.c_str()), stream);
  std::fclose(stream);
  EXPECT_EQ(ReadBytes(dir / "s.txt"), (Bytes{0xEF, 0xBB, 0xBF, 'a', 0xF0, 0x9F, 0x8E, 0xB5, 0xEF, 0xBF, 0xBD}));
}

TEST(FoundationUtf8Conversion, BothDirections) {
  char* utf8 = nullptr;
  EXPECT_EQ(UnicodeToUtf8(L"a\u00E9\U0001F3B5", utf8), 7);
  auto ownedUtf8 = Own(utf8);
  EXPECT_EQ(std::string(utf8), "a\xC3\xA9\xF0\x9F\x8E\xB5");

  EXPECT_EQ(UnicodeToUtf8(L"", utf8), 0);
  auto emptyUtf8 = Own(utf8);
  ASSERT_NE(utf8, nullptr);
  EXPECT_EQ(utf8[0], 0);
  EXPECT_EQ(UnicodeToUtf8(nullptr, utf8), 0);
  EXPECT_EQ(utf8, nullptr);

  wchar_t* wide = nullptr;
  char encoded[] = "a\xC3\xA9\xF0\x9F\x8E\xB5";
  // Counted in wide characters: U+1F3B5 takes a surrogate pair where wchar_t has 16 bits (Windows).
  EXPECT_EQ(Utf8ToUnicode(wide, encoded), sizeof(wchar_t) == 2 ? 4 : 3);
  auto ownedWide = Own(wide);
  EXPECT_EQ(std::wstring(wide), L"a\u00E9\U0001F3B5");
  EXPECT_EQ(Utf8ToUnicode(wide, nullptr), 0);
  EXPECT_EQ(wide, nullptr);
}

TEST(FoundationUtf8Conversion, InvalidSequencesBecomeReplacementCharacters) {
  struct Case {
    const char* bytes;
    const wchar_t* expected;
  };
  const Case cases[] = {
      {"\xC3(", L"\uFFFD("},                              // lead byte without its continuation
      {"\xC0\xAF", L"\uFFFD\uFFFD"},                      // overlong form of '/'
      {"\xED\xA0\x80", L"\uFFFD\uFFFD\uFFFD"},            // encoded surrogate
      {"\xF4\x90\x80\x80", L"\uFFFD\uFFFD\uFFFD\uFFFD"},  // above U+10FFFF
      {"x\xE2\x82", L"x\uFFFD"},                          // truncated at the end
      {"\xFF", L"\uFFFD"},
  };
  for (const Case& c : cases) {
    std::string copy(c.bytes);
    wchar_t* wide = nullptr;
    Utf8ToUnicode(wide, copy.data());
    auto owned = Own(wide);
    EXPECT_EQ(std::wstring(wide), c.expected) << c.bytes;
  }
}

TEST(FoundationWholeFiles, StoreFile) {
  TempDir dir;
  WriteBytes(dir / "empty", {});
  WriteBytes(dir / "data", {0x00, 0x01, 0xFE, 0xFF});
  unsigned char* buffer = reinterpret_cast<unsigned char*>(&dir);  // must be reset
  EXPECT_EQ(StoreFile(Wide(dir / "empty").c_str(), buffer), 0);
  EXPECT_EQ(buffer, nullptr);
  EXPECT_EQ(StoreFile(Wide(dir / "missing").c_str(), buffer), 0);
  EXPECT_EQ(buffer, nullptr);
  EXPECT_EQ(StoreFile(Wide(dir.path()).c_str(), buffer), 0);
  EXPECT_EQ(buffer, nullptr);
  ASSERT_EQ(StoreFile(Wide(dir / "data").c_str(), buffer), 4);
  auto owned = Own(buffer);
  EXPECT_EQ(Bytes(buffer, buffer + 4), (Bytes{0x00, 0x01, 0xFE, 0xFF}));
}

TEST(FoundationWholeFiles, FlushFileAndFileExists) {
  TempDir dir;
  unsigned char bytes[] = {'n', 'e', 'w'};
  WriteBytes(dir / "out", {1, 2, 3, 4, 5});
  FlushFile(Wide(dir / "out").c_str(), bytes, 3);
  EXPECT_EQ(ReadBytes(dir / "out"), (Bytes{'n', 'e', 'w'}));
  FlushFile(Wide(dir / "out").c_str(), bytes, 0);
  EXPECT_EQ(ReadBytes(dir / "out"), Bytes{});
  FlushFile(Wide(dir / "null").c_str(), nullptr, 3);
  EXPECT_EQ(ReadBytes(dir / "null"), Bytes{});
  // A file that cannot be created: nothing is written anywhere and nothing breaks.
  FlushFile(Wide(dir / "no-such-dir" / "out").c_str(), bytes, 3);
  EXPECT_FALSE(std::filesystem::exists(dir / "no-such-dir"));

  EXPECT_EQ(FileExists(Wide(dir / "out").c_str()), 1);
  EXPECT_EQ(FileExists(Wide(dir.path()).c_str()), 1);
  EXPECT_EQ(FileExists(Wide(dir / "missing").c_str()), 0);
  if (testing_support::CanMakeSymbolicLinks()) {
    std::filesystem::create_symlink(dir / "missing", dir / "dangling");
    EXPECT_EQ(FileExists(Wide(dir / "dangling").c_str()), 1);
  }
  EXPECT_EQ(FileExists(nullptr), 0);
}

TEST(FoundationTextFiles, AsciiTextKeepsEveryByte) {
  TempDir dir;
  WriteBytes(dir / "ascii", {0x41, 0xE9, 0x00, 0xFF});
  wchar_t* text = nullptr;
  ASSERT_EQ(StoreAsciiText(Wide(dir / "ascii").c_str(), text), 1);
  auto owned = Own(text);
  EXPECT_EQ(std::wstring(text, 5), std::wstring(L"A\u00E9\0\u00FF\0", 5));
  EXPECT_EQ(StoreAsciiText(Wide(dir / "missing").c_str(), text), 0);
  EXPECT_EQ(text, nullptr);
}

TEST(FoundationTextFiles, AsciiTextNeedsAWritableFile) {
  if (testing_support::MayWriteEveryFile()) GTEST_SKIP() << "root may write any file";
  TempDir dir;
  WriteBytes(dir / "locked", {'a'});
  std::filesystem::permissions(dir / "locked", std::filesystem::perms::owner_read);
  wchar_t* text = nullptr;
  EXPECT_EQ(StoreAsciiText(Wide(dir / "locked").c_str(), text), 0);
  EXPECT_EQ(StoreUtf8Text(Wide(dir / "locked").c_str(), text), 0);
}

TEST(FoundationTextFiles, Utf8TextWithAndWithoutTheMark) {
  TempDir dir;
  WriteBytes(dir / "marked", {0xEF, 0xBB, 0xBF, 'h', 0xC3, 0xA9, 0xF0, 0x9F, 0x8E, 0xB5});
  WriteBytes(dir / "plain", {'h', 0xC3, 0xA9});
  WriteBytes(dir / "short", {0xEF, 0xBB});
  WriteBytes(dir / "mark-only", {0xEF, 0xBB, 0xBF});
  wchar_t* text = nullptr;
  ASSERT_EQ(StoreUtf8Text(Wide(dir / "marked").c_str(), text), 1);
  EXPECT_EQ(std::wstring(Own(text).get()), L"h\u00E9\U0001F3B5");
  ASSERT_EQ(StoreUtf8Text(Wide(dir / "plain").c_str(), text), 1);
  EXPECT_EQ(std::wstring(Own(text).get()), L"h\u00C3\u00A9");
  ASSERT_EQ(StoreUtf8Text(Wide(dir / "short").c_str(), text), 1);
  EXPECT_EQ(std::wstring(Own(text).get()), L"\u00EF\u00BB");
  ASSERT_EQ(StoreUtf8Text(Wide(dir / "mark-only").c_str(), text), 1);
  EXPECT_EQ(std::wstring(Own(text).get()), L"");
  EXPECT_EQ(StoreUtf8Text(Wide(dir / "missing").c_str(), text), 0);
  EXPECT_EQ(text, nullptr);
}

TEST(FoundationReadLine, LineEnds) {
  struct Case {
    std::wstring text;
    int result;
    std::wstring line;
  };
  const Case cases[] = {
      {L"ab\r\ncd", 4, L"ab"},     // CR LF
      {L"ab\rcd", 3, L"ab"},       // CR alone
      {L"ab\ncd", -1, L"ab\ncd"},  // LF alone ends nothing
      {L"", -1, L""},
      {L"\r\n", 2, L""},
      {L"ab\r", 3, L"ab"},
  };
  for (const Case& c : cases) {
    std::wstring text = c.text;
    GString line;
    EXPECT_EQ(ReadLine(text.data(), line), c.result) << c.line.size();
    EXPECT_EQ(std::wstring(static_cast<const wchar_t*>(line), line.GetLength()), c.line);
  }
  GString line;
  EXPECT_EQ(ReadLine(nullptr, line), -1);
}

TEST(FoundationReadLine, WalksATextAndKeepsWhatTheLineHeld) {
  std::wstring text = L"one\r\ntwo\rthree";
  std::vector<std::wstring> lines;
  int position = 0;
  for (;;) {
    GString line(L">");
    const int next = ReadLine(text.data() + position, line);
    lines.emplace_back(static_cast<const wchar_t*>(line));
    if (next < 0) break;
    position += next;
  }
  EXPECT_EQ(lines, (std::vector<std::wstring>{L">one", L">two", L">three"}));
}

TEST(FoundationFileLists, NamesOfMatchingFilesOnly) {
  TempDir dir;
  WriteBytes(dir / "a.txt", {});
  WriteBytes(dir / "b.TXT", {});
  WriteBytes(dir / "c.dat", {});
  WriteBytes(dir / "noext", {});
  std::filesystem::create_directory(dir / "d.txt");
  // Links (where this process may make them): one to a folder, which is left out, one to a file.
  const bool links = testing_support::CanMakeSymbolicLinks();
  if (links) {
    std::filesystem::create_directory_symlink(dir / "d.txt", dir / "e.txt");
    std::filesystem::create_symlink(dir / "a.txt", dir / "f.txt");
  }
  WriteBytes(dir / "d.txt" / "inner.txt", {});

  auto list = [&](const wchar_t* pattern, GStringArray& names) {
    CreateFileList(Wide(dir.path()).c_str(), pattern, names);
    std::vector<std::wstring> sorted;
    for (int i = 0; i < names.GetSize(); ++i) sorted.emplace_back(static_cast<const wchar_t*>(names.ElementAt(i)));
    std::sort(sorted.begin(), sorted.end());
    return sorted;
  };
  using Names = std::vector<std::wstring>;
  const Names linked = links ? Names{L"f.txt"} : Names{};
  auto with = [](Names names, const Names& more) {
    names.insert(names.end(), more.begin(), more.end());
    std::sort(names.begin(), names.end());
    return names;
  };
  GStringArray txt;
  EXPECT_EQ(list(L"*.txt", txt), with({L"a.txt", L"b.TXT"}, linked));
  GStringArray all;
  EXPECT_EQ(list(L"*.*", all), with({L"a.txt", L"b.TXT", L"c.dat", L"noext"}, linked));
  GStringArray single;
  EXPECT_EQ(list(L"?.dat", single), (Names{L"c.dat"}));
  GStringArray inner;
  EXPECT_EQ(list(L"d.txt/*", inner), (Names{L"inner.txt"}));

  GStringArray kept;
  kept.Add(L"kept");
  EXPECT_EQ(list(L"*.dat", kept), (Names{L"c.dat", L"kept"}));
  CreateFileList(Wide(dir / "missing").c_str(), L"*", kept);
  CreateFileList(Wide(dir.path()).c_str(), L"*.none", kept);
  EXPECT_EQ(kept.GetSize(), 2);
}

TEST(FoundationAlign, RoundsUpToMultiples) {
  EXPECT_EQ(align(10, 4), 12);
  EXPECT_EQ(align(12, 4), 12);
  EXPECT_EQ(align(0, 4), 4);
  EXPECT_EQ(align(1, 4), 4);
  EXPECT_EQ(align(0, 1), 0);
  EXPECT_EQ(align(7, 1), 7);
  EXPECT_EQ(align(2049, 2048), 4096);
  EXPECT_EQ(align(5, 0), 5);  // no multiple of 0: unchanged
}

TEST(FoundationBufferFile, LoadResetAndReload) {
  TempDir dir;
  WriteBytes(dir / "one", {1, 2, 3});
  WriteBytes(dir / "two", {9, 8});
  WriteBytes(dir / "empty", {});
  CBufferFile file(Wide(dir / "one").c_str());
  ASSERT_EQ(file.GetSize(), 3);
  ASSERT_NE(file.GetBuffer(), nullptr);
  EXPECT_EQ(Bytes(file.GetBuffer(), file.GetBuffer() + 3), (Bytes{1, 2, 3}));
  file.Reset();
  EXPECT_EQ(file.GetSize(), 3);
  EXPECT_EQ(file.GetBuffer(), nullptr);
  EXPECT_EQ(file.StoreFile(Wide(dir / "two").c_str()), 2);
  EXPECT_EQ(Bytes(file.GetBuffer(), file.GetBuffer() + 2), (Bytes{9, 8}));
  EXPECT_EQ(file.StoreFile(Wide(dir / "empty").c_str()), 0);
  EXPECT_EQ(file.GetBuffer(), nullptr);
  CBufferFile none;
  EXPECT_EQ(none.GetSize(), 0);
  EXPECT_EQ(none.GetBuffer(), nullptr);
}

TEST(FoundationBufferFile, AssignmentGivesEachObjectItsOwnBuffer) {
  TempDir dir;
  WriteBytes(dir / "one", {1, 2, 3});
  CBufferFile source(Wide(dir / "one").c_str());
  CBufferFile target;
  target = source;
  ASSERT_NE(target.GetBuffer(), nullptr);
  EXPECT_NE(target.GetBuffer(), source.GetBuffer());
  EXPECT_EQ(target.GetSize(), 3);
  EXPECT_EQ(Bytes(target.GetBuffer(), target.GetBuffer() + 3), (Bytes{1, 2, 3}));
  CBufferFile copied(source);
  source.Reset();
  EXPECT_EQ(Bytes(copied.GetBuffer(), copied.GetBuffer() + 3), (Bytes{1, 2, 3}));
  target = source;  // a reset source: no buffer, its size
  EXPECT_EQ(target.GetBuffer(), nullptr);
  EXPECT_EQ(target.GetSize(), 3);
  CBufferFile& alias = copied;
  copied = alias;
  EXPECT_EQ(Bytes(copied.GetBuffer(), copied.GetBuffer() + 3), (Bytes{1, 2, 3}));
}

}  // namespace
