#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <vector>

#include "core/text.h"

namespace core {

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
// An open byte stream of the runtime that closes itself.
using FileHandle = std::unique_ptr<std::FILE, FileCloser>;

// Moves a stream to a 64-bit offset from SEEK_SET, SEEK_CUR or SEEK_END (files beyond 2 GiB on every
// platform); true when it moved. Defined by the platform layer.
bool SeekFileStream(std::FILE* file, std::int64_t offset, int origin);
// A stream's 64-bit position; -1 when it cannot be told. Defined by the platform layer.
std::int64_t TellFileStream(std::FILE* file);

// Opens a binary stream ("rb", "wb", ...); null (errno set) when the path cannot be opened or is a directory.
FileHandle OpenFile(const std::filesystem::path& path, const char* mode);

// Every byte of the file; nothing (errno set) when it cannot be opened or is 2 GiB or longer (EFBIG). An empty
// file gives an empty buffer.
std::optional<std::vector<std::uint8_t>> LoadWholeFile(const std::filesystem::path& path);

// The file's length in bytes; 0 when it cannot be opened.
std::int32_t GetFileLength(const std::filesystem::path& path);

// Offset of the first occurrence of the four bytes in file order (overlapping candidates tried), or -1.
// Reads the file in blocks; the stream is left positioned behind the bytes last read.
std::int32_t FindPatternInFile(std::FILE* file, const std::array<std::uint8_t, 4>& pattern);

// Reads buffer.size() bytes at offset into the caller's buffer; bytes a short read could not fill are
// zero. Null (nothing read) when the stream is null, otherwise buffer.data().
std::uint8_t* ReadAt(std::FILE* file, std::int32_t offset, std::span<std::uint8_t> buffer);

// The first count bytes of the stream in a new buffer (zero past a short read); nothing for a null stream.
std::optional<std::vector<std::uint8_t>> ReadAll(std::FILE* file, std::int32_t count);

// Writes the bytes at offset; returns offset + size so writes can be chained, 0 for a null stream.
std::int32_t WriteAt(std::FILE* file, std::int32_t offset, std::span<const std::uint8_t> data);

// Writes the formatted text, without terminator, at offset / at the current position.
void WriteTextAt(std::FILE* file, std::int32_t offset, const char* format, ...) LFQ_PRINTF_FORMAT(3, 4);
void WriteText(std::FILE* file, const char* format, ...) LFQ_PRINTF_FORMAT(2, 3);

// Moves an existing file to the formatted new path. Does nothing when the file does not exist or a file
// already stands at the new path.
void RenameFileTo(const std::filesystem::path& existing, const char* format, ...) LFQ_PRINTF_FORMAT(2, 3);

}  // namespace core
