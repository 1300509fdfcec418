// FindPatternInFile on a 16 MiB file whose only match fills its last four bytes, against one plain read
// of the same file: the search should cost no more than about twice the read.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <vector>

#include "core/file_io.h"

namespace {

constexpr std::size_t FILE_SIZE = 16 * 1024 * 1024;
constexpr std::array<std::uint8_t, 4> PATTERN{0x00, 0xFF, 0x2F, 0x00};

const std::filesystem::path& SearchFile() {
  static const std::filesystem::path path = [] {
    const auto file = std::filesystem::temp_directory_path() / "lfq-bench-search.bin";
    std::vector<std::uint8_t> bytes(FILE_SIZE, 0x00);
    std::copy(PATTERN.begin(), PATTERN.end(), bytes.end() - 4);
    bytes[bytes.size() - 5] = 0x11;
    core::FileHandle out = core::OpenFile(file, "wb");
    std::fwrite(bytes.data(), 1, bytes.size(), out.get());
    return file;
  }();
  return path;
}

void BM_ReadFileOnce(benchmark::State& state) {
  std::vector<std::uint8_t> buffer(64 * 1024);
  for (auto _ : state) {
    core::FileHandle file = core::OpenFile(SearchFile(), "rb");
    std::size_t total = 0;
    while (const std::size_t got = std::fread(buffer.data(), 1, buffer.size(), file.get())) total += got;
    benchmark::DoNotOptimize(total);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * FILE_SIZE));
}
BENCHMARK(BM_ReadFileOnce)->Unit(benchmark::kMillisecond);

void BM_FindPatternAtEnd(benchmark::State& state) {
  for (auto _ : state) {
    core::FileHandle file = core::OpenFile(SearchFile(), "rb");
    const std::int32_t offset = core::FindPatternInFile(file.get(), PATTERN);
    if (offset != static_cast<std::int32_t>(FILE_SIZE - 4)) state.SkipWithError("pattern not found at the end");
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * FILE_SIZE));
}
BENCHMARK(BM_FindPatternAtEnd)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
