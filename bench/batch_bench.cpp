// The whole lfqutil process building the demo song (MAKE, SEQ, VH, VB, OUT), against its floor: zlib
// compress2 at level 9 alone on the same program image. The process should cost no more than about twice
// the floor, and its peak resident memory (counter peak_rss_MiB, from the child's rusage) stay under 24 MiB.
#include <benchmark/benchmark.h>
#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "child_process.h"

namespace {

const std::filesystem::path DEMO = std::filesystem::path(LFQ_SOURCE_DIR) / "assets" / "demo";

const std::filesystem::path& OutputPath() {
  static const std::filesystem::path path = std::filesystem::temp_directory_path() / "lfq-bench-demo.psf";
  return path;
}

// Runs lfqutil on the demo song.
int RunBatchBuild(rusage& usage) {
  return bench_support::RunProgram(
      {LFQUTIL_PATH, "MAKE", "SEQ", (DEMO / "demo.seq").string(), "VH", (DEMO / "demo.vh").string(), "VB",
       (DEMO / "demo.vb").string(), "OUT", OutputPath().string()},
      usage);
}

// The program image inside the PSF that lfqutil wrote: the bytes the floor compresses.
std::vector<std::uint8_t> DemoProgramImage() {
  rusage usage{};
  if (RunBatchBuild(usage) != 0) return {};
  std::ifstream in(OutputPath(), std::ios::binary);
  const std::vector<std::uint8_t> psf((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (psf.size() < 16) return {};
  const std::uint32_t length = static_cast<std::uint32_t>(psf[8]) | static_cast<std::uint32_t>(psf[9]) << 8 |
                               static_cast<std::uint32_t>(psf[10]) << 16 | static_cast<std::uint32_t>(psf[11]) << 24;
  if (length > psf.size() - 16) return {};
  std::vector<std::uint8_t> program(0x1F0800);
  uLongf programLength = program.size();
  if (::uncompress(program.data(), &programLength, psf.data() + 16, length) != Z_OK) return {};
  program.resize(programLength);
  return program;
}

void BM_LfqutilBuildsDemoPsf(benchmark::State& state) {
  long peakKiB = 0;
  double cpuSeconds = 0;
  for (auto _ : state) {
    rusage usage{};
    if (RunBatchBuild(usage) != 0) {
      state.SkipWithError("lfqutil failed");
      break;
    }
    peakKiB = std::max(peakKiB, usage.ru_maxrss);
    cpuSeconds += bench_support::ChildCpuSeconds(usage);
  }
  state.counters["peak_rss_MiB"] = static_cast<double>(peakKiB) / 1024.0;
  // The child's processor time, which a busy machine does not inflate the way it does wall-clock time.
  state.counters["child_cpu_ms"] = benchmark::Counter(cpuSeconds * 1000.0, benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_LfqutilBuildsDemoPsf)->Unit(benchmark::kMillisecond)->UseRealTime();

// A song set in one process: the demo bank as a psflib, then 100 songs (the demo sequence each time) with
// their computed length, each a minipsf. Each minipsf compresses only its pages, so the whole set should take
// well under 2 s.
void BM_LfqutilBuildsSetOf100Minipsfs(benchmark::State& state) {
  const std::filesystem::path dir = std::filesystem::temp_directory_path() / "lfq-bench-set";
  std::filesystem::create_directories(dir);
  std::vector<std::string> texts = {LFQUTIL_PATH, "MAKE",
                                    "VH",         (DEMO / "demo.vh").string(),
                                    "VB",         (DEMO / "demo.vb").string(),
                                    "LIB",        (dir / "bank.psflib").string(),
                                    "TAG",        "length",
                                    "auto"};
  for (int song = 0; song < 100; ++song) {
    texts.insert(texts.end(), {"SEQ", (DEMO / "demo.seq").string(), "MINI",
                               (dir / ("song" + std::to_string(song) + ".minipsf")).string()});
  }
  double cpuSeconds = 0;
  for (auto _ : state) {
    rusage usage{};
    if (bench_support::RunProgram(texts, usage) != 0) {
      state.SkipWithError("lfqutil failed");
      break;
    }
    cpuSeconds += bench_support::ChildCpuSeconds(usage);
  }
  state.counters["child_cpu_ms"] = benchmark::Counter(cpuSeconds * 1000.0, benchmark::Counter::kAvgIterations);
  state.counters["minipsf_bytes"] = static_cast<double>(std::filesystem::file_size(dir / "song0.minipsf"));
  std::filesystem::remove_all(dir);
}
BENCHMARK(BM_LfqutilBuildsSetOf100Minipsfs)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_Compress2Level9Floor(benchmark::State& state) {
  const std::vector<std::uint8_t> program = DemoProgramImage();
  if (program.empty()) {
    state.SkipWithError("no program image from lfqutil");
    return;
  }
  std::vector<std::uint8_t> compressed(::compressBound(program.size()));
  for (auto _ : state) {
    uLongf compressedLength = compressed.size();
    if (::compress2(compressed.data(), &compressedLength, program.data(), program.size(), 9) != Z_OK)
      state.SkipWithError("compress2 failed");
    benchmark::DoNotOptimize(compressedLength);
  }
  state.counters["image_bytes"] = static_cast<double>(program.size());
}
BENCHMARK(BM_Compress2Level9Floor)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
