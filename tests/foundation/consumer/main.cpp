// Uses each part of the installed foundation library once and prints what it got.
#include <foundation/CBufferFile.h>
#include <foundation/GFile.h>
#include <foundation/GString.h>
#include <foundation/GStringArray.h>
#include <foundation/TextFile.h>

#include <cstdio>
#include <memory>
#include <string>
#include <typeinfo>

namespace {

std::string Narrow(const wchar_t* text) {
  char* bytes = nullptr;
  UnicodeToUtf8(text, bytes);
  const std::unique_ptr<char[]> owned(bytes);
  return bytes != nullptr ? std::string(bytes) : std::string();
}

// A file class of the consumer's own: its table and type information build on the library's.
class CountingFile : public GFile {
 public:
  void Write(const void* buffer, unsigned int count) override {
    written += count;
    GFile::Write(buffer, count);
  }
  unsigned int written = 0;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) return 2;

  GString greeting;
  greeting.Format(L"%ls %ls", L"Hello", L"World");
  std::printf("length %d: %s\n", greeting.GetLength(), Narrow(greeting).c_str());

  GStringArray names;
  names.Add(L"zero");
  names.Add(L"one");
  names.SetAtGrow(2, GString(L"two"));
  std::printf("elements %d, last %s\n", names.GetSize(), Narrow(names.ElementAt(names.GetUpperBound())).c_str());

  wchar_t* directory = nullptr;
  Utf8ToUnicode(directory, argv[1]);
  const std::unique_ptr<wchar_t[]> ownedDirectory(directory);
  GString path(directory);
  path.Append(L"/consumer.txt");
  {
    CountingFile file;
    if (file.Open(path, 0x1 | 0x1000) != 1) return 1;
    WriteBOM(file);
    WriteUtf8(GString(L"line one\r\nx"), file);
    GFile* base = &file;
    std::printf("derived: %u bytes counted, cast %d, type %d\n", file.written,
                dynamic_cast<CountingFile*>(base) == &file ? 1 : 0, typeid(*base) == typeid(CountingFile) ? 1 : 0);
  }
  CBufferFile stored(path);
  wchar_t* text = nullptr;
  if (StoreUtf8Text(path, text) != 1) return 1;
  const std::unique_ptr<wchar_t[]> ownedText(text);
  GString line;
  ReadLine(text, line);
  std::printf("file %d bytes, mark %d: %s\n", stored.GetSize(), ReadBOM(stored.GetBuffer()), Narrow(line).c_str());

  std::printf("align %d\n", align(10, 4));
  return 0;
}
