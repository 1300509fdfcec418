#include "core/file_io.h"

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cstring>
#include <string>
#include <system_error>

#include "core/platform_system.h"
#include "core/text.h"

namespace core {

namespace {

bool SeekTo(std::FILE* file, std::int64_t offset) { return SeekFileStream(file, offset, SEEK_SET); }

std::int32_t MeasureStream(std::FILE* file) {
  if (!SeekFileStream(file, 0, SEEK_END)) return 0;
  const std::int64_t end = TellFileStream(file);
  return end < 0 ? 0 : static_cast<std::int32_t>(std::min<std::int64_t>(end, INT32_MAX));
}

// Offset of the first match of the four bytes in data, or npos. The scan jumps with memchr from one
// occurrence of an anchor byte to the next and compares the whole pattern only there. The anchor is the
// first byte of the pattern that is not zero, since zero bytes abound in music data (for the
// end-of-track marker 00 FF 2F 00 it is the meta-event byte FF, which is rare).
std::size_t FindPatternInBlock(std::span<const std::uint8_t> data, const std::array<std::uint8_t, 4>& pattern) {
  if (data.size() < 4) return std::string::npos;
  std::size_t anchor = 0;
  while (anchor < 3 && pattern[anchor] == 0) ++anchor;
  const std::uint8_t* bytes = data.data();
  const std::size_t candidates = data.size() - 3;
  std::size_t from = anchor;
  while (from < anchor + candidates) {
    const void* hit = std::memchr(bytes + from, pattern[anchor], anchor + candidates - from);
    if (hit == nullptr) break;
    const std::size_t position = static_cast<std::size_t>(static_cast<const std::uint8_t*>(hit) - bytes);
    const std::size_t start = position - anchor;
    if (std::memcmp(bytes + start, pattern.data(), pattern.size()) == 0) return start;
    from = position + 1;
  }
  return std::string::npos;
}

void WriteFormatted(std::FILE* file, const char* format, std::va_list args) {
  const std::string text = FormatTextV(format, args);
  if (!text.empty()) std::fwrite(text.data(), 1, text.size(), file);
}

}  // namespace

FileHandle OpenFile(const std::filesystem::path& path, const char* mode) {
  // The C library opens a directory for reading and then measures it as huge; it is no file.
  std::error_code error;
  if (std::filesystem::is_directory(path, error)) {
    errno = EISDIR;
    return nullptr;
  }
  return FileHandle(OpenFileStream(path, mode));
}

std::optional<std::vector<std::uint8_t>> LoadWholeFile(const std::filesystem::path& path) {
  FileHandle file = OpenFile(path, "rb");
  if (!file) return std::nullopt;
  // No file the utility reads comes near 2 GiB: a longer one is refused, not read in part (and held in memory).
  if (SeekFileStream(file.get(), 0, SEEK_END) && TellFileStream(file.get()) > INT32_MAX) {
    errno = EFBIG;
    return std::nullopt;
  }
  return ReadAll(file.get(), MeasureStream(file.get()));
}

std::int32_t GetFileLength(const std::filesystem::path& path) {
  FileHandle file = OpenFile(path, "rb");
  return file ? MeasureStream(file.get()) : 0;
}

std::int32_t FindPatternInFile(std::FILE* file, const std::array<std::uint8_t, 4>& pattern) {
  if (file == nullptr) return -1;
  const std::int32_t length = MeasureStream(file);
  if (length < 4 || !SeekTo(file, 0)) return -1;

  // Each block keeps the last three bytes of the one before, so a match across a block edge is seen.
  constexpr std::size_t BLOCK = std::size_t{64} * 1024;
  std::vector<std::uint8_t> window(BLOCK + 3);
  std::size_t carried = 0;
  std::int64_t windowStart = 0;  // file offset of window[0]
  for (;;) {
    const std::size_t got = std::fread(window.data() + carried, 1, BLOCK, file);
    const std::size_t filled = carried + got;
    const std::size_t hit = FindPatternInBlock({window.data(), filled}, pattern);
    if (hit != std::string::npos) return static_cast<std::int32_t>(windowStart + static_cast<std::int64_t>(hit));
    if (got < BLOCK) return -1;
    carried = std::min<std::size_t>(3, filled);
    std::memmove(window.data(), window.data() + filled - carried, carried);
    windowStart += static_cast<std::int64_t>(filled - carried);
  }
}

std::uint8_t* ReadAt(std::FILE* file, std::int32_t offset, std::span<std::uint8_t> buffer) {
  if (file == nullptr) return nullptr;
  std::size_t got = 0;
  if (SeekTo(file, offset)) got = std::fread(buffer.data(), 1, buffer.size(), file);
  std::fill(buffer.begin() + static_cast<std::ptrdiff_t>(got), buffer.end(), std::uint8_t{0});
  return buffer.data();
}

std::optional<std::vector<std::uint8_t>> ReadAll(std::FILE* file, std::int32_t count) {
  if (file == nullptr) return std::nullopt;
  std::vector<std::uint8_t> buffer(static_cast<std::size_t>(std::max<std::int32_t>(count, 0)));
  ReadAt(file, 0, buffer);
  return buffer;
}

std::int32_t WriteAt(std::FILE* file, std::int32_t offset, std::span<const std::uint8_t> data) {
  if (file == nullptr) return 0;
  if (SeekTo(file, offset) && !data.empty()) std::fwrite(data.data(), 1, data.size(), file);
  return offset + static_cast<std::int32_t>(data.size());
}

void WriteTextAt(std::FILE* file, std::int32_t offset, const char* format, ...) {
  if (file == nullptr || !SeekTo(file, offset)) return;
  std::va_list args;
  va_start(args, format);
  WriteFormatted(file, format, args);
  va_end(args);
}

void WriteText(std::FILE* file, const char* format, ...) {
  if (file == nullptr) return;
  std::va_list args;
  va_start(args, format);
  WriteFormatted(file, format, args);
  va_end(args);
}

void RenameFileTo(const std::filesystem::path& existing, const char* format, ...) {
  std::va_list args;
  va_start(args, format);
  const std::filesystem::path target = FormatTextV(format, args);
  va_end(args);
  std::error_code error;
  if (!std::filesystem::exists(existing, error) || std::filesystem::exists(target, error)) return;
  std::filesystem::rename(existing, target, error);
}

}  // namespace core
