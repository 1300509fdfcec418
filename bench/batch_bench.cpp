// The whole lfqutil process building the demo song (MAKE, SEQ, VH, VB, OUT), against its floor: zlib
// compress2 at level 9 alone on the same program image. The process should cost no more than about twice
// the floor, and its peak resident memory (counter peak_rss_MiB, from the child's rusage) stay under 24 MiB.
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

const std::filesystem::path DEMO = std::filesystem::path(LFQ_SOURCE_DIR) / "assets" / "demo";

const std::filesystem::path& OutputPath() {
  static const std::filesystem::path path = std::filesystem::temp_directory_path() / "lfq-bench-demo.psf";
  return path;
}

double Seconds(const timeval& time) {
  return static_cast<double>(time.tv_sec) + static_cast<double>(time.tv_usec) / 1e6;
}

// Runs lfqutil on the demo song; the exit status, with the child's resource use in usage.
int RunBatchBuild(rusage& usage) {
  std::vector<std::string> texts = {LFQUTIL_PATH, "MAKE",
                                    "SEQ",        (DEMO / "demo.seq").string(),
                                    "VH",         (DEMO / "demo.vh").string(),
                                    "VB",         (DEMO / "demo.vb").string(),
                                    "OUT",        OutputPath().string()};
  std::vector<char*> argv;
  for (std::string& text : texts) argv.push_back(text.data());
  argv.push_back(nullptr);
  const pid_t child = ::fork();
  if (child == 0) {
    ::execv(argv[0], argv.data());
    ::_exit(127);
  }
  int status = -1;
  if (child < 0 || ::wait4(child, &status, 0, &usage) != child || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
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
    cpuSeconds += Seconds(usage.ru_utime) + Seconds(usage.ru_stime);
  }
  state.counters["peak_rss_MiB"] = static_cast<double>(peakKiB) / 1024.0;
  // The child's processor time, which a busy machine does not inflate the way it does wall-clock time.
  state.counters["child_cpu_ms"] = benchmark::Counter(cpuSeconds * 1000.0, benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_LfqutilBuildsDemoPsf)->Unit(benchmark::kMillisecond)->UseRealTime();

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
