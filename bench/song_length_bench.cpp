// The song-length model on a 10-minute song of 20,000 events (notes on four channels, a volume change and a
// tempo change now and then), played once; the target is under 5 ms. Variants: at the default 60 services a
// second, at 400 (the heartbeat rate), with Playback Amount 0 (two passes), and under a 60 s accelerando
// that the model follows service by service.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "psf/song_length.h"
#include "psf/song_settings.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr int EVENTS = 20000;
constexpr int DELTA = 30;  // ticks between events: 20,000 x 30 ticks of 1 ms = 600 s

// Resolution 480 and 480,000 us a quarter: one tick a millisecond.
Bytes TenMinuteSong() {
  Bytes seq = {'p', 'Q', 'E', 'S', 0, 0, 0, 1, 0x01, 0xE0, 0x07, 0x53, 0x00, 4, 2};
  for (int i = 0; i < EVENTS; ++i) {
    seq.insert(seq.end(), {0x80 | (DELTA >> 7), DELTA & 0x7F});
    const std::uint8_t channel = static_cast<std::uint8_t>((i / 2) % 4);
    const std::uint8_t note = static_cast<std::uint8_t>(48 + (i / 8) % 24);
    if (i % 500 == 499) {
      seq.insert(seq.end(), {0xFF, 0x51, 0x07, 0x53, static_cast<std::uint8_t>(i % 1000 == 999 ? 0x00 : 0x10)});
    } else if (i % 100 == 99) {
      seq.insert(seq.end(), {static_cast<std::uint8_t>(0xB0 | channel), 7, 100});
    } else {
      seq.insert(seq.end(),
                 {static_cast<std::uint8_t>(0x90 | channel), note, static_cast<std::uint8_t>(i % 2 ? 0 : 100)});
    }
  }
  seq.insert(seq.end(), {0x00, 0xFF, 0x2F, 0x00});
  return seq;
}

// One program with one tone over every key (sample 1, linear release shift 10).
Bytes Bank() {
  Bytes vh(32 + 2048 + 512 + 512, 0);
  vh[0x12] = 1, vh[0x14] = 1, vh[0x16] = 1;
  vh[0x20] = 1;
  vh[0x820 + 7] = 127, vh[0x820 + 18] = 0x0A, vh[0x820 + 22] = 1;
  vh[0xA20 + 2] = 4;
  return vh;
}

void Run(benchmark::State& state, const psf::SongSettings& settings) {
  const Bytes song = TenMinuteSong();
  const Bytes vh = Bank();
  double seconds = 0;
  for (auto _ : state) {
    psf::SongLength length = psf::ComputeSongLength(settings, song, vh);
    benchmark::DoNotOptimize(length);
    seconds = length.lengthSeconds;
  }
  state.counters["song_s"] = seconds;
}

psf::SongSettings Once() {
  psf::SongSettings settings;
  settings.playbackAmount = 1;
  return settings;
}

void BM_TenMinuteSong(benchmark::State& state) { Run(state, Once()); }
BENCHMARK(BM_TenMinuteSong)->Unit(benchmark::kMillisecond);

void BM_TenMinuteSong400Services(benchmark::State& state) {
  psf::SongSettings settings = Once();
  settings.tickMode = 6;
  Run(state, settings);
}
BENCHMARK(BM_TenMinuteSong400Services)->Unit(benchmark::kMillisecond);

void BM_TenMinuteSongEndless(benchmark::State& state) {
  psf::SongSettings settings = Once();
  settings.playbackAmount = 0;
  Run(state, settings);
}
BENCHMARK(BM_TenMinuteSongEndless)->Unit(benchmark::kMillisecond);

void BM_TenMinuteSongAccelerando(benchmark::State& state) {
  psf::SongSettings settings = Once();
  settings.accelerando = 60;
  settings.customTempoValue = 180;
  Run(state, settings);
}
BENCHMARK(BM_TenMinuteSongAccelerando)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
