// The song-length model against the driver itself: the driver's C code runs on the stand-in machine service
// by service, and the moments its pass counters (status block words 0x14 and 0x18) step up must match the
// model's pass ends for the same bytes and parameters. Neighbouring services lie more than half a period
// apart, so a tolerance of half a period tells the right service from its neighbours while leaving room for
// what the stand-in adds: its polls take 5 us each (a service of 512 events runs 2.5 ms), and video frames
// come in real time while the song clock counts heartbeats.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <random>
#include <span>
#include <vector>

#include "psf/service_clock.h"
#include "psf/song_fixtures.h"
#include "psf/song_length.h"
#include "tests/driver/host_machine.h"

namespace {

using namespace song_fixtures;

constexpr std::uint32_t STATUS_PASSES = 0x8002296C + 0x14;  // two words: passes of slot 0 and slot 1

std::array<std::vector<double>, 2> g_passTimes;  // seconds at which each slot's counter stepped up

void NotePasses(std::uint32_t address, std::uint32_t value) {
  if (address != STATUS_PASSES && address != STATUS_PASSES + 4) return;
  auto& times = g_passTimes[(address - STATUS_PASSES) / 4];
  while (times.size() < value) times.push_back(g_host.timeUs / 1e6);
}

std::span<const std::uint8_t> HostRamFrom(std::uint32_t address) {
  const std::size_t offset = address - 0x80000000u;
  return {g_host.ram + offset, HOST_RAM_SIZE - offset};
}

// Places the song, runs the driver until the model's end (its second pass, for a song without end) and
// compares the pass ends of each sequence slot; returns the largest difference in seconds.
double CheckAgainstDriver(const SongCase& song) {
  HostReset();
  HostWrite(SEQ_AT, song.song.data(), static_cast<std::uint32_t>(song.song.size()));
  const Bytes vh = OneToneVh(song.release);
  HostWrite(VH_AT, vh.data(), static_cast<std::uint32_t>(vh.size()));
  const Bytes vb(32, 0x11);
  HostWrite(VB_AT, vb.data(), static_cast<std::uint32_t>(vb.size()));
  HostWrite(PARAMETERS_AT, song.parameters.block.data(), static_cast<std::uint32_t>(song.parameters.block.size()));

  const psf::SongSettings settings = psf::DecodeSongSettings(song.parameters.block, {});
  const psf::SongLength model = psf::ComputeSongLength(settings, HostRamFrom(SEQ_AT), HostRamFrom(VH_AT));
  EXPECT_EQ(model.kind, psf::SongKind::Sequence);
  EXPECT_FALSE(model.sequences.empty());

  g_passTimes = {};
  g_hostRamWriteHook = NotePasses;
  HostRunDriver(static_cast<std::uint32_t>((model.endSeconds + 0.3) * 1e6));
  EXPECT_EQ(g_host.badAccesses, 0);

  const double tolerance = psf::ServiceClock(settings).periodUs() / 2e6;
  double worst = 0;
  for (std::size_t slot = 0; slot < model.sequences.size(); ++slot) {
    const auto& expected = model.sequences[slot].passEnds;
    const auto& seen = g_passTimes[slot];
    EXPECT_GE(seen.size(), expected.size()) << "slot " << slot;
    if (!model.endless) {
      EXPECT_EQ(seen.size(), expected.size()) << "slot " << slot;
    }
    for (std::size_t pass = 0; pass < std::min(expected.size(), seen.size()); ++pass) {
      EXPECT_NEAR(seen[pass], expected[pass], tolerance) << "slot " << slot << " pass " << pass + 1;
      worst = std::max(worst, std::fabs(seen[pass] - expected[pass]));
    }
  }
  return worst;
}

class SongLengthDriverTest : public ::testing::TestWithParam<SongCase (*)()> {};

TEST_P(SongLengthDriverTest, DriverPassEndsMatchTheModel) {
  const SongCase song = GetParam()();
  const double worst = CheckAgainstDriver(song);
  std::printf("%s: worst difference %.0f us\n", song.name.c_str(), worst * 1e6);
}

INSTANTIATE_TEST_SUITE_P(Songs, SongLengthDriverTest,
                         ::testing::Values(TempoChangeSong, EndlessLoopSong, SepByIdSong, AutomaticStopSong,
                                           TickRateSong, CustomTempoSong, AccelerandoSong, TickSkipSong, SepInTurnSong,
                                           EventBudgetSong, VideoFrameSong),
                         [](const auto& info) { return info.param().name; });

// Songs drawn at random from a fixed seed: notes, tempo events, sustain, finite and endless loops, one SEQ
// or two SEP records together or in turn, under random tick modes, pass counts, ramps and Tick Skip.
SongCase RandomSong(std::mt19937& random) {
  const auto pick = [&](int low, int high) { return std::uniform_int_distribution<int>(low, high)(random); };
  const std::uint16_t resolutions[] = {24, 48, 96, 120, 384, 480, 960};
  const auto events = [&](std::uint16_t resolution) {
    Bytes data;
    bool loopOpen = false;
    const int count = pick(3, 25);
    for (int i = 0; i < count; ++i) {
      const int delta = pick(0, 2) == 0 ? 0 : pick(1, resolution / 2);
      if (delta >= 128) data.push_back(static_cast<std::uint8_t>(0x80 | (delta >> 7)));
      data.push_back(static_cast<std::uint8_t>(delta & 0x7F));
      const int kind = pick(0, 9);
      if (kind <= 3) {
        data.insert(data.end(), {static_cast<std::uint8_t>(0x90 | pick(0, 3)), static_cast<std::uint8_t>(pick(40, 80)),
                                 static_cast<std::uint8_t>(kind == 0 ? 0 : 100)});
      } else if (kind == 4) {
        const int tempo = pick(250000, 900000);
        data.insert(data.end(), {0xFF, 0x51, static_cast<std::uint8_t>(tempo >> 16),
                                 static_cast<std::uint8_t>(tempo >> 8), static_cast<std::uint8_t>(tempo)});
      } else if (kind == 5) {
        data.insert(data.end(), {0xB0, 64, static_cast<std::uint8_t>(pick(0, 1) * 127)});
      } else if (kind == 6 && !loopOpen) {
        const std::uint8_t counts[] = {0, 2, 3, 127};
        data.insert(data.end(), {0xB0, 99, 20, 0x00, 6, counts[pick(0, 3)]});
        loopOpen = true;
      } else if (kind == 7 && loopOpen) {
        data.insert(data.end(), {0xB0, 99, 30});
        loopOpen = false;
      } else {
        data.insert(data.end(), {0xC1, static_cast<std::uint8_t>(pick(0, 1))});
      }
    }
    data.insert(data.end(), {static_cast<std::uint8_t>(pick(0, 60)), 0xFF, 0x2F, 0x00});
    return data;
  };

  SongCase song;
  song.name = "random";
  const std::uint16_t resolution = resolutions[pick(0, 6)];
  const std::uint32_t tempo = static_cast<std::uint32_t>(pick(250000, 900000));
  const Bytes first = events(resolution);
  if (pick(0, 3) == 0) {
    song.song = {'p', 'Q', 'E', 'S', 0, 0};
    const Bytes second = events(resolution);
    for (const Bytes* data : {&first, &second}) {
      const auto size = static_cast<std::uint32_t>(data->size());
      const std::uint16_t id = data == &first ? 0 : 1;
      song.song.insert(song.song.end(), {0, static_cast<std::uint8_t>(id), static_cast<std::uint8_t>(resolution >> 8),
                                         static_cast<std::uint8_t>(resolution), static_cast<std::uint8_t>(tempo >> 16),
                                         static_cast<std::uint8_t>(tempo >> 8), static_cast<std::uint8_t>(tempo), 4, 2,
                                         0, 0, static_cast<std::uint8_t>(size >> 8), static_cast<std::uint8_t>(size)});
      song.song.insert(song.song.end(), data->begin(), data->end());
    }
    song.parameters.SequenceAmount(2).SequenceId(0, 1);
    if (pick(0, 1) != 0) song.parameters.SepInTurn();
  } else {
    song.song = Seq(resolution, tempo, {});
    song.song.insert(song.song.end(), first.begin(), first.end());
  }
  song.parameters.PlaybackAmount(static_cast<std::uint32_t>(pick(0, 3)));
  if (pick(0, 1) != 0) song.parameters.AutomaticStop();
  song.parameters.TickMode(static_cast<std::uint32_t>(pick(1, 6)));
  if (pick(0, 4) == 0) song.parameters.TickRate(static_cast<std::uint32_t>(pick(10, 400)));
  if (pick(0, 4) == 0) song.parameters.CustomTempo(static_cast<std::uint16_t>(pick(40, 200)));
  if (pick(0, 4) == 0)
    song.parameters.Accelerando(static_cast<std::uint32_t>(pick(1, 3)), static_cast<std::uint16_t>(pick(60, 240)));
  if (pick(0, 4) == 0) song.parameters.Set32(0xA8, static_cast<std::uint32_t>(pick(1, 3)));  // ritardando
  if (pick(0, 4) == 0)
    song.parameters.TickSkip(static_cast<std::uint8_t>(pick(0, 1)), static_cast<std::uint16_t>(pick(1, 200)));
  return song;
}

TEST(SongLengthDriverRandomTest, GeneratedSongsMatchTheDriver) {
  std::mt19937 random(20261208);
  double worst = 0;
  for (int i = 0; i < 60; ++i) {
    SCOPED_TRACE(i);
    const SongCase song = RandomSong(random);
    worst = std::max(worst, CheckAgainstDriver(song));
  }
  std::printf("generated songs: worst difference %.0f us\n", worst * 1e6);
}

}  // namespace
