#pragma once

// Helpers shared by the fuzz targets: a private directory, whole-file reads and writes, memory streams and
// a property check that stops the run with a message libFuzzer reports as a crash.

#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "tests/support/temp_dir.h"

namespace fuzz_support {

// Stops the run when a property does not hold.
#define FUZZ_CHECK(condition)                                                                     \
  do {                                                                                            \
    if (!(condition)) {                                                                           \
      std::fprintf(stderr, "fuzz property failed: %s (%s:%d)\n", #condition, __FILE__, __LINE__); \
      std::abort();                                                                               \
    }                                                                                             \
  } while (false)

// True for about one input in `every`, chosen by a hash of all its bytes so that a replay takes the same path
// and inputs alike in size or magic are not all chosen together. Not instrumented: it is ours, not the code
// under test.
__attribute__((no_sanitize("coverage"))) inline bool Sampled(std::span<const std::uint8_t> input, std::uint32_t every) {
  std::uint32_t hash = 2166136261U;  // FNV-1a
  for (const std::uint8_t byte : input) hash = (hash ^ byte) * 16777619U;
  return hash % every == 0;
}

// A directory of this process under the temporary directory, removed at exit; failing to make one ends the run.
class PrivateDir : public testing_support::TempDir {
 public:
  PrivateDir() { FUZZ_CHECK(!path().empty()); }

  // Removes every entry, leaving the directory empty.
  void Clear() const {
    std::error_code ignored;
    for (const auto& entry : std::filesystem::directory_iterator(path())) std::filesystem::remove_all(entry, ignored);
  }
};

// The directory the process works in for its whole run (one per process; libFuzzer runs inputs one by one).
inline const PrivateDir& ScratchDir() {
  static const PrivateDir dir;
  return dir;
}

inline void WriteFile(const std::filesystem::path& path, std::span<const std::uint8_t> bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  FUZZ_CHECK(out.good());
}

// The whole file, read in blocks (a stream iterator goes byte by byte, under the fuzzer's instrumentation);
// empty when it cannot be read.
inline std::vector<std::uint8_t> ReadFile(const std::filesystem::path& path) {
  std::vector<std::uint8_t> bytes;
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return bytes;
  std::uint8_t block[65536];
  std::size_t count = 0;
  while ((count = std::fread(block, 1, sizeof block, file)) > 0) bytes.insert(bytes.end(), block, block + count);
  std::fclose(file);
  return bytes;
}

struct StreamCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using Stream = std::unique_ptr<std::FILE, StreamCloser>;

// A read-only stream over the bytes (which must outlive it); an empty input gets a one-byte buffer of
// which nothing is readable.
inline Stream MemoryStream(std::span<const std::uint8_t> bytes) {
  static std::uint8_t empty = 0;
  void* data = bytes.empty() ? &empty : const_cast<std::uint8_t*>(bytes.data());
  Stream stream(::fmemopen(data, bytes.empty() ? 1 : bytes.size(), "rb"));
  FUZZ_CHECK(stream != nullptr);
  if (bytes.empty()) std::fseek(stream.get(), 1, SEEK_SET);
  return stream;
}

inline std::uint32_t LoadU32Le(std::span<const std::uint8_t> bytes, std::size_t offset) {
  return bytes[offset] | (bytes[offset + 1] << 8) | (bytes[offset + 2] << 16) |
         (static_cast<std::uint32_t>(bytes[offset + 3]) << 24);
}

inline std::uint32_t LoadU32Be(std::span<const std::uint8_t> bytes, std::size_t offset) {
  return (static_cast<std::uint32_t>(bytes[offset]) << 24) | (bytes[offset + 1] << 16) | (bytes[offset + 2] << 8) |
         bytes[offset + 3];
}

inline void StoreU32Le(std::span<std::uint8_t> bytes, std::size_t offset, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes[offset + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

// True when a temporary file of the whole-or-nothing writer (".NAME.lfq-XXXXXX") is among the names.
inline bool HoldsTemporaryFile(const std::vector<std::string>& names) {
  return std::any_of(names.begin(), names.end(), [](const std::string& name) {
    return name.size() >= 12 && name.front() == '.' && name.compare(name.size() - 11, 5, ".lfq-") == 0;
  });
}

}  // namespace fuzz_support
