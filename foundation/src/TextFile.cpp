#include <foundation/TextFile.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "system.h"
#include "unicode.h"

namespace {

constexpr unsigned char BYTE_ORDER_MARK[3] = {0xEF, 0xBB, 0xBF};
constexpr wchar_t CARRIAGE_RETURN = 13;
constexpr wchar_t LINE_FEED = 10;

struct StreamCloser {
  void operator()(std::FILE* stream) const { std::fclose(stream); }
};
using Stream = std::unique_ptr<std::FILE, StreamCloser>;

Stream OpenStream(const wchar_t* name, const char* mode) {
  return Stream(foundation_detail::OpenNamedStream(name, mode));
}

// The remaining bytes of the stream; bytes that a short read did not deliver stay 0.
bool ReadRest(std::FILE* stream, std::vector<unsigned char>& bytes) {
  const long long remaining = foundation_detail::RemainingStreamBytes(stream);
  if (remaining < 0) return false;
  bytes.assign(static_cast<std::size_t>(remaining), 0);
  if (!bytes.empty()) std::fread(bytes.data(), 1, bytes.size(), stream);
  return true;
}

// Hands a text out as a new 0-terminated array that the caller releases with delete[].
template <typename Char>
Char* HandOut(std::basic_string_view<Char> text) {
  auto copy = std::make_unique<Char[]>(text.size() + 1);
  std::copy(text.begin(), text.end(), copy.get());
  return copy.release();
}

void WriteBytes(GFile& file, std::string_view bytes) {
  while (!bytes.empty()) {
    const auto piece = static_cast<unsigned int>(std::min<std::size_t>(bytes.size(), UINT_MAX));
    file.Write(bytes.data(), piece);
    bytes.remove_prefix(piece);
  }
}

}  // namespace

int ReadBOM(unsigned char* bytes) {
  return bytes != nullptr && std::memcmp(bytes, BYTE_ORDER_MARK, sizeof BYTE_ORDER_MARK) == 0 ? 1 : 0;
}

int ReadBOM(GFile& file) {
  unsigned char bytes[3] = {};
  return file.Read(bytes, sizeof bytes) == sizeof bytes ? ReadBOM(bytes) : 0;
}

int ReadBOM(std::FILE* stream) {
  if (stream == nullptr) return 0;
  unsigned char bytes[3] = {};
  return std::fread(bytes, 1, sizeof bytes, stream) == sizeof bytes ? ReadBOM(bytes) : 0;
}

void WriteBOM(unsigned char* bytes) {
  if (bytes != nullptr) std::memcpy(bytes, BYTE_ORDER_MARK, sizeof BYTE_ORDER_MARK);
}

void WriteBOM(GFile& file) { file.Write(BYTE_ORDER_MARK, sizeof BYTE_ORDER_MARK); }

void WriteBOM(std::FILE* stream) {
  if (stream != nullptr) std::fwrite(BYTE_ORDER_MARK, 1, sizeof BYTE_ORDER_MARK, stream);
}

// The exported signature takes the text by value.
void WriteUtf8(GString text, GFile& file) {  // NOLINT(performance-unnecessary-value-param)
  WriteBytes(file, foundation_detail::WideToUtf8(static_cast<const wchar_t*>(text)));
}

void WriteUtf8(GString text, std::FILE* stream) {  // NOLINT(performance-unnecessary-value-param)
  if (stream == nullptr) return;
  const std::string bytes = foundation_detail::WideToUtf8(static_cast<const wchar_t*>(text));
  std::fwrite(bytes.data(), 1, bytes.size(), stream);
}

int UnicodeToUtf8(const wchar_t* text, char*& utf8) {
  utf8 = nullptr;
  if (text == nullptr) return 0;
  const std::string bytes = foundation_detail::WideToUtf8(text);
  utf8 = HandOut<char>(bytes);
  return static_cast<int>(bytes.size());
}

int Utf8ToUnicode(wchar_t*& text, char* utf8) {
  text = nullptr;
  if (utf8 == nullptr) return 0;
  const std::wstring wide = foundation_detail::Utf8ToWide(utf8);
  text = HandOut<wchar_t>(wide);
  return static_cast<int>(wide.size());
}

int StoreFile(const wchar_t* name, unsigned char*& buffer) {
  buffer = nullptr;
  const Stream stream = OpenStream(name, "rb");
  if (!stream) return 0;
  const long long size = foundation_detail::RemainingStreamBytes(stream.get());
  if (size <= 0 || size > INT_MAX) return 0;
  // make_unique value-initialises: bytes that a short read does not deliver are 0.
  auto bytes = std::make_unique<unsigned char[]>(static_cast<std::size_t>(size));
  std::fread(bytes.get(), 1, static_cast<std::size_t>(size), stream.get());
  buffer = bytes.release();
  return static_cast<int>(size);
}

void FlushFile(const wchar_t* name, unsigned char* bytes, int count) {
  const Stream stream = OpenStream(name, "wb");
  if (!stream) return;
  if (bytes != nullptr && count > 0) std::fwrite(bytes, 1, static_cast<std::size_t>(count), stream.get());
}

int FileExists(const wchar_t* name) {
  if (name == nullptr) return 0;
  return foundation_detail::NameExists(name) ? 1 : 0;
}

int StoreAsciiText(const wchar_t* name, wchar_t*& text) {
  text = nullptr;
  const Stream stream = OpenStream(name, "rb+");
  std::vector<unsigned char> bytes;
  if (!stream || !ReadRest(stream.get(), bytes)) return 0;
  auto wide = std::make_unique<wchar_t[]>(bytes.size() + 1);
  std::transform(bytes.begin(), bytes.end(), wide.get(), [](unsigned char b) { return static_cast<wchar_t>(b); });
  text = wide.release();
  return 1;
}

int StoreUtf8Text(const wchar_t* name, wchar_t*& text) {
  text = nullptr;
  Stream stream = OpenStream(name, "rb+");
  if (!stream) return 0;
  if (ReadBOM(stream.get()) == 0) {
    stream.reset();
    return StoreAsciiText(name, text);
  }
  std::vector<unsigned char> bytes;
  if (!ReadRest(stream.get(), bytes)) return 0;
  bytes.push_back(0);
  // The text ends at its first 0 byte, as any 0-terminated UTF-8 text does.
  const std::wstring wide = foundation_detail::Utf8ToWide(reinterpret_cast<const char*>(bytes.data()));
  text = HandOut<wchar_t>(wide);
  return 1;
}

int ReadLine(wchar_t* text, GString& line) {
  if (text == nullptr) return -1;
  for (int i = 0; text[i] != 0; ++i) {
    if (text[i] == CARRIAGE_RETURN) return text[i + 1] == LINE_FEED ? i + 2 : i + 1;
    line += text[i];
  }
  return -1;
}

void CreateFileList(const wchar_t* directory, const wchar_t* pattern, GStringArray& list) {
  if (directory == nullptr || pattern == nullptr) return;
  foundation_detail::ListMatchingFiles(directory, pattern, [&list](const wchar_t* name) { list.Add(name); });
}

int align(int a, int b) {
  if (b == 0) return a;
  const long long wide = static_cast<long long>(b) * ((static_cast<long long>(a) - 1) / b + 1);
  return static_cast<int>(wide);
}
