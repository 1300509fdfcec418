// Splitting a 500 KiB VAB and writing all its samples as VAG files, each against plain file copies of the
// same bytes: one read of the VAB and the same number of output files written with fopen/fwrite. Both
// commands should stay within three times their plain copy. The argument is the bank's sample count.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "core/byte_io.h"
#include "core/file_io.h"
#include "vab/split_combine.h"
#include "vab/vag_extract.h"

namespace {

constexpr std::size_t VAB_SIZE = 500 * 1024;
constexpr std::size_t PROGRAMS = 4;

using Bytes = std::vector<std::uint8_t>;

std::filesystem::path BenchDirectory() {
  static const std::filesystem::path dir = [] {
    const auto path = std::filesystem::temp_directory_path() / "lfq-bench-vab";
    std::filesystem::create_directories(path);
    return path;
  }();
  return dir;
}

// A VAB of about 500 KiB with `samples` samples of equal size (in whole 16-byte blocks), each named by a tone.
struct BenchVab {
  std::filesystem::path path;
  std::size_t vhSize = 0;
  std::vector<std::size_t> sampleSizes;
};

BenchVab MakeBenchVab(std::size_t samples) {
  BenchVab vab;
  vab.vhSize = 2592 + 512 * PROGRAMS;
  const std::size_t sampleSize = (VAB_SIZE - vab.vhSize) / samples / 16 * 16;
  Bytes bytes(vab.vhSize, 0);
  core::StoreU16Le(bytes, 0x12, PROGRAMS);
  core::StoreU16Le(bytes, 0x14, PROGRAMS);
  core::StoreU16Le(bytes, 0x16, static_cast<std::uint32_t>(samples));
  const std::size_t table = vab.vhSize - 512;
  for (std::size_t i = 0; i < samples; ++i) {
    const std::size_t tone = 2080 + 32 * (i % (16 * PROGRAMS));
    bytes[tone + 5] = static_cast<std::uint8_t>(i * 4);
    core::StoreU16Le(bytes, tone + 22, static_cast<std::uint32_t>(i + 1));
    core::StoreU16Le(bytes, table + 2 + 2 * i, static_cast<std::uint32_t>(sampleSize / 8));
    vab.sampleSizes.push_back(sampleSize);
  }
  for (std::size_t i = 0; i < samples * sampleSize; ++i) bytes.push_back(static_cast<std::uint8_t>(i * 7));
  vab.path = BenchDirectory() / ("bank" + std::to_string(samples) + ".vab");
  core::FileHandle out = core::OpenFile(vab.path, "wb");
  std::fwrite(bytes.data(), 1, bytes.size(), out.get());
  return vab;
}

const BenchVab& VabWith(std::size_t samples) {
  static std::vector<BenchVab> made;
  for (const BenchVab& vab : made) {
    if (vab.sampleSizes.size() == samples) return vab;
  }
  made.push_back(MakeBenchVab(samples));
  return made.back();
}

Bytes ReadPlain(const std::filesystem::path& path) {
  core::FileHandle in = core::OpenFile(path, "rb");
  Bytes bytes(static_cast<std::size_t>(std::filesystem::file_size(path)));
  if (std::fread(bytes.data(), 1, bytes.size(), in.get()) != bytes.size()) bytes.clear();
  return bytes;
}

void WritePlain(const std::filesystem::path& path, const std::uint8_t* data, std::size_t size) {
  core::FileHandle out = core::OpenFile(path, "wb");
  if (size != 0) std::fwrite(data, 1, size, out.get());
}

void BM_PlainCopyAsSplit(benchmark::State& state) {
  const BenchVab& vab = VabWith(static_cast<std::size_t>(state.range(0)));
  const auto dir = BenchDirectory();
  for (auto _ : state) {
    const Bytes bytes = ReadPlain(vab.path);
    WritePlain(dir / "copy.vh", bytes.data(), vab.vhSize);
    WritePlain(dir / "copy.vb", bytes.data() + vab.vhSize, bytes.size() - vab.vhSize);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * VAB_SIZE));
}

void BM_SplitVab(benchmark::State& state) {
  const BenchVab& vab = VabWith(static_cast<std::size_t>(state.range(0)));
  vab::VabBank bank;
  for (auto _ : state) {
    if (vab::SplitVab(bank, vab.path) != 1) state.SkipWithError("split failed");
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * VAB_SIZE));
}

void BM_PlainCopyAsVags(benchmark::State& state) {
  const BenchVab& vab = VabWith(static_cast<std::size_t>(state.range(0)));
  const auto dir = BenchDirectory();
  Bytes output;
  for (auto _ : state) {
    const Bytes bytes = ReadPlain(vab.path);
    std::size_t offset = vab.vhSize;
    for (std::size_t i = 0; i < vab.sampleSizes.size(); ++i) {
      // The same bytes per file as a VAG: 64 header bytes, the sample, 16 more.
      output.assign(64, 0);
      output.insert(output.end(), bytes.begin() + static_cast<std::ptrdiff_t>(offset),
                    bytes.begin() + static_cast<std::ptrdiff_t>(offset + vab.sampleSizes[i]));
      output.resize(output.size() + 16, 0x77);
      offset += vab.sampleSizes[i];
      WritePlain(dir / ("copy" + std::to_string(i) + ".vag"), output.data(), output.size());
    }
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * VAB_SIZE));
}

void BM_ExtractAllVags(benchmark::State& state) {
  const BenchVab& vab = VabWith(static_cast<std::size_t>(state.range(0)));
  vab::VabBank bank;
  for (auto _ : state) vab::ExtractAllVags(bank, vab.path);
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * VAB_SIZE));
}

BENCHMARK(BM_PlainCopyAsSplit)->Arg(16)->Arg(255)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_SplitVab)->Arg(16)->Arg(255)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_PlainCopyAsVags)->Arg(16)->Arg(64)->Arg(255)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ExtractAllVags)->Arg(16)->Arg(64)->Arg(255)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
