// The foundation's file and text functions. The input is written to a file, loaded back with StoreFile,
// StoreAsciiText and StoreUtf8Text, written again with FlushFile, and split into lines with ReadLine.
// Properties: every load gives back the file's bytes in its own form; the byte-order mark is recognised
// exactly when the file starts with EF BB BF; ReadLine walks the text to its end, each line free of
// carriage returns.

#include <cwchar>

#include "foundation/GString.h"
#include "foundation/TextFile.h"
#include "fuzz/fuzz_support.h"

namespace {

std::wstring WidePath(const std::filesystem::path& path) { return path.wstring(); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::span<const std::uint8_t> input(data, size);
  const auto& dir = fuzz_support::ScratchDir();
  dir.Clear();
  const std::wstring name = WidePath(dir / "t.txt");
  fuzz_support::WriteFile(dir / "t.txt", input);
  FUZZ_CHECK(FileExists(name.c_str()) == 1);

  unsigned char* bytes = nullptr;
  FUZZ_CHECK(StoreFile(name.c_str(), bytes) == static_cast<int>(size));
  FUZZ_CHECK(size == 0 ? bytes == nullptr : std::equal(input.begin(), input.end(), bytes));
  const std::wstring copy = WidePath(dir / "u.txt");
  FlushFile(copy.c_str(), bytes, static_cast<int>(size));
  FUZZ_CHECK(fuzz_support::ReadFile(dir / "u.txt") == std::vector<std::uint8_t>(input.begin(), input.end()));
  delete[] bytes;

  const bool marked = size >= 3 && data[0] == 0xEF && data[1] == 0xBB && data[2] == 0xBF;
  const auto stream = fuzz_support::MemoryStream(input);
  FUZZ_CHECK(ReadBOM(stream.get()) == (marked ? 1 : 0));

  wchar_t* ascii = nullptr;
  FUZZ_CHECK(StoreAsciiText(name.c_str(), ascii) == 1 && ascii != nullptr);
  const std::size_t asciiLength = std::wcslen(ascii);
  FUZZ_CHECK(asciiLength <= size);
  for (std::size_t i = 0; i < asciiLength; ++i) FUZZ_CHECK(ascii[i] == static_cast<wchar_t>(data[i]));
  FUZZ_CHECK(asciiLength == size || data[asciiLength] == 0);

  wchar_t* utf8Text = nullptr;
  FUZZ_CHECK(StoreUtf8Text(name.c_str(), utf8Text) == 1 && utf8Text != nullptr);
  if (marked) {
    std::vector<char> rest(input.begin() + 3, input.end());
    rest.push_back(0);
    wchar_t* expected = nullptr;
    Utf8ToUnicode(expected, rest.data());
    FUZZ_CHECK(std::wcscmp(utf8Text, expected) == 0);
    delete[] expected;
  } else {
    FUZZ_CHECK(std::wcscmp(utf8Text, ascii) == 0);
  }

  // Lines of the 8-bit text: each call takes the text up to and including a CR (and a LF after it).
  std::size_t position = 0;
  std::wstring joined;
  for (int lines = 0;; ++lines) {
    FUZZ_CHECK(lines <= static_cast<int>(asciiLength) + 1);
    GString line;
    const int next = ReadLine(ascii + position, line);
    const std::wstring text(static_cast<const wchar_t*>(line));
    FUZZ_CHECK(text.find(L'\r') == std::wstring::npos);
    joined += text;
    if (next < 0) break;
    FUZZ_CHECK(next > 0 && position + static_cast<std::size_t>(next) <= asciiLength);
    position += static_cast<std::size_t>(next);
  }
  std::wstring withoutBreaks;
  for (std::size_t i = 0; i < asciiLength; ++i) {
    const bool lineFeedOfBreak = ascii[i] == L'\n' && i > 0 && ascii[i - 1] == L'\r';
    if (ascii[i] != L'\r' && !lineFeedOfBreak) withoutBreaks += ascii[i];
  }
  FUZZ_CHECK(joined == withoutBreaks);
  delete[] ascii;
  delete[] utf8Text;
  return 0;
}
