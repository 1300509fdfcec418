// One whole in-process PSF build (load the built-in driver, place a SEQ, a VH and a VB, write the PSF)
// against zlib compress2 at level 9 alone on the same program image, the floor of any build. The build
// should stay within 1.25 times the floor. Two songs: the demo song, and a large bank of noise-like ADPCM
// (400 KiB of samples), where compression dominates even more. Also OPEN of a builder PSF.
#include <benchmark/benchmark.h>
#include <zlib.h>

#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "core/file_io.h"
#include "psf/placement.h"
#include "psf/psf_builder.h"
#include "psf/psf_file.h"

namespace {

struct Song {
  std::filesystem::path seq;
  std::filesystem::path vh;
  std::filesystem::path vb;
};

// A scratch directory for the inputs and outputs, removed at exit.
struct ScratchDirectory {
  ScratchDirectory() {
    std::string pattern = (std::filesystem::temp_directory_path() / "lfq-bench-psf-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) std::abort();
    path = pattern;
  }
  ~ScratchDirectory() {
    std::error_code ignored;
    std::filesystem::remove_all(path, ignored);
  }
  std::filesystem::path path;
};

const std::filesystem::path& BenchDirectory() {
  static const ScratchDirectory directory;
  return directory.path;
}

void WriteFile(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes) {
  core::FileHandle out = core::OpenFile(path, "wb");
  std::fwrite(bytes.data(), 1, bytes.size(), out.get());
}

const Song& DemoSong() {
  static const Song song{std::filesystem::path(LFQ_SOURCE_DIR) / "assets/demo/demo.seq",
                         std::filesystem::path(LFQ_SOURCE_DIR) / "assets/demo/demo.vh",
                         std::filesystem::path(LFQ_SOURCE_DIR) / "assets/demo/demo.vb"};
  return song;
}

// 8 KiB of sequence bytes, a VH of 16 programs and 100 samples of 4 KiB, and their 400 KiB of noise.
const Song& LargeSong() {
  static const Song song = [] {
    const std::filesystem::path dir = BenchDirectory();
    std::mt19937 random(42);
    std::vector<std::uint8_t> seq(8192);
    for (std::uint8_t& byte : seq) byte = static_cast<std::uint8_t>(random() % 96);
    const std::size_t programs = 16;
    const std::size_t samples = 100;
    std::vector<std::uint8_t> vh(2592 + 512 * programs, 0);
    vh[0] = 'p', vh[1] = 'B', vh[2] = 'A', vh[3] = 'V', vh[4] = 7;
    vh[0x12] = programs;
    vh[0x14] = programs;
    vh[0x16] = samples;
    const std::size_t table = 2080 + 512 * programs;
    for (std::size_t i = 0; i < samples; ++i) vh[table + 2 + 2 * i + 1] = 0x02;  // 0x200 units: 4 KiB
    std::vector<std::uint8_t> vb(samples * 4096);
    for (std::uint8_t& byte : vb) byte = static_cast<std::uint8_t>(random());
    WriteFile(dir / "large.seq", seq);
    WriteFile(dir / "large.vh", vh);
    WriteFile(dir / "large.vb", vb);
    return Song{dir / "large.seq", dir / "large.vh", dir / "large.vb"};
  }();
  return song;
}

// The batch build MAKE SEQ VH VB OUT.
bool Build(psf::PsfBuilder& builder, const Song& song, const std::filesystem::path& out) {
  if (!psf::LoadBuiltinDriver(builder) || !psf::PlaceSequenceFile(builder, song.seq) ||
      !psf::PlaceHeaderFile(builder, song.vh) || !psf::PlaceBodyFile(builder, song.vb)) {
    return false;
  }
  builder.tagText = std::string(psf::DEFAULT_TAG_TEXT);
  return psf::WritePsfFile(builder, out);
}

void BM_WholeBuild(benchmark::State& state, const Song& (*song)()) {
  const std::filesystem::path out = BenchDirectory() / "out.psf";
  psf::PsfBuilder builder;
  for (auto _ : state) {
    if (!Build(builder, song(), out)) state.SkipWithError("build failed");
    psf::ReleaseDriver(builder);
  }
  state.counters["psf_bytes"] = static_cast<double>(std::filesystem::file_size(out));
}

void BM_Compress2Floor(benchmark::State& state, const Song& (*song)()) {
  psf::PsfBuilder builder;
  if (!Build(builder, song(), BenchDirectory() / "floor.psf")) state.SkipWithError("build failed");
  const std::vector<std::uint8_t> program = psf::BuildProgramImage(builder.image);
  std::vector<std::uint8_t> compressed(0x200000);
  for (auto _ : state) {
    uLongf length = static_cast<uLongf>(compressed.size());
    compress2(compressed.data(), &length, program.data(), static_cast<uLong>(program.size()), 9);
    benchmark::DoNotOptimize(length);
  }
}

// OPEN of a builder PSF of the built-in driver (a 2 MiB program): into the builder that held the last one,
// as the application and the batch mode reopen, and into a fresh builder each time.
const std::vector<std::uint8_t>& DriverPsf() {
  static const std::vector<std::uint8_t> bytes = [] {
    psf::PsfBuilder builder;
    const std::filesystem::path path = BenchDirectory() / "driver.psf";
    if (!psf::LoadBuiltinDriver(builder) || !psf::WritePsfFile(builder, path)) std::abort();
    return core::LoadWholeFile(path).value_or(std::vector<std::uint8_t>{});
  }();
  return bytes;
}

void BM_OpenDriverPsf(benchmark::State& state) {
  psf::PsfBuilder builder;
  for (auto _ : state) {
    if (!psf::LoadDriverFromPsfBytes(builder, DriverPsf())) state.SkipWithError("open failed");
  }
}

void BM_OpenDriverPsfFresh(benchmark::State& state) {
  for (auto _ : state) {
    psf::PsfBuilder builder;
    if (!psf::LoadDriverFromPsfBytes(builder, DriverPsf())) state.SkipWithError("open failed");
  }
}

BENCHMARK(BM_OpenDriverPsf)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OpenDriverPsfFresh)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_WholeBuild, demo, DemoSong)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Compress2Floor, demo, DemoSong)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_WholeBuild, large, LargeSong)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Compress2Floor, large, LargeSong)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
