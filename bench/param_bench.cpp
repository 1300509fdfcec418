// PARAM on a hostile PSF against PARAM on the built-in driver, in-process. The hostile driver lists 65,535
// parameters that all share one name of 65,534 letters; "OPEN evil.psf PARAM a b c d e f g h" should cost no
// more than about ten times the same on a PSF of the built-in driver (the names are read once, bounded, and
// looked up by hash). MAKE, which decodes no PSF, is shown for scale. In-process, the hostile load is
// dominated by inflating and laying its megabyte of program, which the small built-in PSF does not have; the
// whole command as users run it (child_cpu_ms) is the figure the ten times are measured on.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#ifdef LFQUTIL_PATH
#include "child_process.h"
#endif
#include "support/temp_dir.h"
#include "tests/ui/batch_fixtures.h"
#include "ui/commands/app_state.h"
#include "ui/commands/batch_mode.h"

namespace {

const std::vector<std::string> WORDS = {"PARAM", "a", "b", "c", "d", "e", "f", "g", "h"};

// Runs the keywords with their failure lines thrown away; false when the run did not end as expected.
void RunKeywords(benchmark::State& state, const std::vector<std::string>& arguments) {
  std::FILE* discard = std::fopen("/dev/null", "w");
  if (discard == nullptr) {
    state.SkipWithError("cannot open /dev/null");
    return;
  }
  for (auto _ : state) {
    ui::AppState app;
    // "a" names no parameter: PARAM reports it, and b to h are not keywords.
    if (ui::RunBatchCommands(arguments, app, discard) != 1) state.SkipWithError("unexpected exit status");
  }
  std::fclose(discard);
}

void BM_MakeParam(benchmark::State& state) {
  std::vector<std::string> arguments = {"MAKE"};
  arguments.insert(arguments.end(), WORDS.begin(), WORDS.end());
  RunKeywords(state, arguments);
}
BENCHMARK(BM_MakeParam)->Unit(benchmark::kMillisecond);

// OPEN on a PSF that carries the built-in driver: the same path as the hostile PSF takes.
void BM_OpenBuiltinPsfParam(benchmark::State& state) {
  const testing_support::TempDir dir;
  const std::filesystem::path builtin = dir / "builtin.psf";
  testing_support::WriteBytes(builtin, testing_support::MakePsf(testing_support::BuiltinDriverExe()));
  std::vector<std::string> arguments = {"OPEN", builtin.string()};
  arguments.insert(arguments.end(), WORDS.begin(), WORDS.end());
  RunKeywords(state, arguments);
}
BENCHMARK(BM_OpenBuiltinPsfParam)->Unit(benchmark::kMillisecond);

void BM_OpenHostilePsfParam(benchmark::State& state) {
  const testing_support::TempDir dir;
  const std::filesystem::path evil = dir / "evil.psf";
  testing_support::WriteBytes(evil, testing_support::LongParameterListPsf(65534));
  std::vector<std::string> arguments = {"OPEN", evil.string()};
  arguments.insert(arguments.end(), WORDS.begin(), WORDS.end());
  RunKeywords(state, arguments);
}
BENCHMARK(BM_OpenHostilePsfParam)->Unit(benchmark::kMillisecond);

#ifdef LFQUTIL_PATH
// "lfqutil OPEN FILE PARAM a b c d e f g h" in a child process: its processor time per run.
void RunCommandOn(benchmark::State& state, const std::vector<std::uint8_t>& psf) {
  const testing_support::TempDir dir;
  const std::filesystem::path file = dir / "opened.psf";
  testing_support::WriteBytes(file, psf);
  std::vector<std::string> texts = {LFQUTIL_PATH, "OPEN", file.string()};
  texts.insert(texts.end(), WORDS.begin(), WORDS.end());
  double cpuSeconds = 0;
  for (auto _ : state) {
    rusage usage{};
    if (bench_support::RunProgram(texts, usage, true) != 1) {
      state.SkipWithError("unexpected exit status");
      break;
    }
    cpuSeconds += bench_support::ChildCpuSeconds(usage);
  }
  state.counters["child_cpu_ms"] = benchmark::Counter(cpuSeconds * 1000.0, benchmark::Counter::kAvgIterations);
}

void BM_CommandOpenBuiltinPsfParam(benchmark::State& state) {
  RunCommandOn(state, testing_support::MakePsf(testing_support::BuiltinDriverExe()));
}
BENCHMARK(BM_CommandOpenBuiltinPsfParam)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_CommandOpenHostilePsfParam(benchmark::State& state) {
  RunCommandOn(state, testing_support::LongParameterListPsf(65534));
}
BENCHMARK(BM_CommandOpenHostilePsfParam)->Unit(benchmark::kMillisecond)->UseRealTime();
#endif

}  // namespace

BENCHMARK_MAIN();
