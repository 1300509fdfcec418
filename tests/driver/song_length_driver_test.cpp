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

class SongLengthDriverTest : public ::testing::TestWithParam<SongCase (*)()> {};

TEST_P(SongLengthDriverTest, DriverPassEndsMatchTheModel) {
  const SongCase song = GetParam()();
  HostReset();
  HostWrite(SEQ_AT, song.song.data(), static_cast<std::uint32_t>(song.song.size()));
  const Bytes vh = OneToneVh(song.release);
  HostWrite(VH_AT, vh.data(), static_cast<std::uint32_t>(vh.size()));
  const Bytes vb(32, 0x11);
  HostWrite(VB_AT, vb.data(), static_cast<std::uint32_t>(vb.size()));
  HostWrite(PARAMETERS_AT, song.parameters.block.data(), static_cast<std::uint32_t>(song.parameters.block.size()));

  const psf::SongSettings settings = psf::DecodeSongSettings(song.parameters.block, {});
  const psf::SongLength model = psf::ComputeSongLength(settings, HostRamFrom(SEQ_AT), HostRamFrom(VH_AT));
  ASSERT_EQ(model.kind, psf::SongKind::Sequence);
  ASSERT_FALSE(model.sequences.empty());

  g_passTimes = {};
  g_hostRamWriteHook = NotePasses;
  HostRunDriver(static_cast<std::uint32_t>((model.endSeconds + 0.3) * 1e6));
  EXPECT_EQ(g_host.badAccesses, 0);

  const double tolerance = psf::ServiceClock(settings).periodUs() / 2e6;
  double worst = 0;
  for (std::size_t slot = 0; slot < model.sequences.size(); ++slot) {
    const auto& expected = model.sequences[slot].passEnds;
    const auto& seen = g_passTimes[slot];
    ASSERT_GE(seen.size(), expected.size()) << "slot " << slot;
    if (!model.endless) {
      EXPECT_EQ(seen.size(), expected.size()) << "slot " << slot;
    }
    for (std::size_t pass = 0; pass < expected.size(); ++pass) {
      EXPECT_NEAR(seen[pass], expected[pass], tolerance) << "slot " << slot << " pass " << pass + 1;
      worst = std::max(worst, std::fabs(seen[pass] - expected[pass]));
    }
  }
  RecordProperty("worst_difference_us", static_cast<int>(worst * 1e6));
  std::printf("%s: %zu passes, worst difference %.0f us\n", song.name.c_str(), model.passEnds.size(), worst * 1e6);
}

INSTANTIATE_TEST_SUITE_P(Songs, SongLengthDriverTest,
                         ::testing::Values(TempoChangeSong, EndlessLoopSong, SepByIdSong, AutomaticStopSong,
                                           TickRateSong, CustomTempoSong, AccelerandoSong, TickSkipSong, SepInTurnSong,
                                           EventBudgetSong, VideoFrameSong),
                         [](const auto& info) { return info.param().name; });

}  // namespace
