// The song-length model against figures worked out by hand from the driver's timing: services at 60 a second
// run at the first 2.5 ms heartbeat at or after n x 16,666 us, which for the first 20 s is 50,000k, 50,000k
// + 17,500 or 50,000k + 35,000 us; an event runs at the first service by which the song time since the last
// one covers its ticks (ticks x tempo / resolution, the remainder carried on).
#include <gtest/gtest.h>

#include "psf/psf_builder.h"
#include "psf/ram_image.h"
#include "psf/service_clock.h"
#include "psf/song_fixtures.h"
#include "psf/song_length.h"
#include "psf/tone_releases.h"

namespace {

using namespace song_fixtures;

psf::SongLength Compute(const SongCase& song) {
  const psf::SongSettings settings = psf::DecodeSongSettings(song.parameters.block, {});
  return psf::ComputeSongLength(settings, song.song, OneToneVh(song.release));
}

void ExpectPasses(const psf::SongLength& length, std::initializer_list<double> ends) {
  ASSERT_EQ(length.passEnds.size(), ends.size());
  std::size_t i = 0;
  for (double end : ends) EXPECT_DOUBLE_EQ(length.passEnds[i++], end) << "pass " << i;
}

TEST(SongLengthTest, TempoChangeOverTwoPasses) {
  // 100 ticks at 500,000 us / 96 = 520,833.3 us -> service 535,000, 1,360,000 us x res carried (14,166.7 us).
  // 50 ticks at 300,000 us: (15,000,000 - 1,360,000) / 96 = 142,083.3 us -> 677,083.3 -> service 685,000;
  // carried 1,360,000 + 96 x 150,000 - 15,000,000 = 760,000.
  // Pass 2 (tempo back to 500,000): (50,000,000 - 760,000) / 96 = 512,916.7 -> 1,197,916.7 -> 1,200,000,
  // carried 200,000; (15,000,000 - 200,000) / 96 = 154,166.7 -> 1,354,166.7 -> service 1,367,500.
  // The notes' releases (46,440 us) end before the song does.
  const psf::SongLength length = Compute(TempoChangeSong());
  EXPECT_EQ(length.kind, psf::SongKind::Sequence);
  ExpectPasses(length, {0.685, 1.3675});
  EXPECT_FALSE(length.endless);
  EXPECT_DOUBLE_EQ(length.lengthSeconds, 1.3675);
  EXPECT_DOUBLE_EQ(length.fadeSeconds, 0.0);
  EXPECT_DOUBLE_EQ(length.passSeconds, 0.685);
  ASSERT_EQ(length.sequences.size(), 1u);
  EXPECT_EQ(length.sequences[0].resolution, 96u);
  EXPECT_EQ(length.sequences[0].tempo, 500000u);
  EXPECT_EQ(length.sequences[0].firstPassTicks, 150u);
  EXPECT_EQ(length.sequences[0].channelsWithNotes, 0x0001);
  EXPECT_EQ(length.sequences[0].events, 4u);
  EXPECT_EQ(length.servicesPerSecond, 60u);
}

TEST(SongLengthTest, EndlessLoopAfterAnIntroLastsTwoPassesAndFades) {
  // Intro 250 ticks at 500,000 / 480: 260,416.7 us -> service 267,500, carried 480 x 267,500 - 125,000,000
  // = 3,400,000. Loop 500 ticks: (250,000,000 - 3,400,000) / 480 = 513,750 -> 781,250 -> service 785,000,
  // carried 1,800,000. Again: (250,000,000 - 1,800,000) / 480 = 517,083.3 -> 1,302,083.3 -> 1,317,500.
  const psf::SongLength length = Compute(EndlessLoopSong());
  ExpectPasses(length, {0.785, 1.3175});
  EXPECT_TRUE(length.endless);
  EXPECT_DOUBLE_EQ(length.lengthSeconds, 1.3175);
  EXPECT_DOUBLE_EQ(length.fadeSeconds, 10.0);
  ASSERT_EQ(length.sequences[0].loops.size(), 1u);
  EXPECT_EQ(length.sequences[0].loops[0].startTick, 250u);
  EXPECT_EQ(length.sequences[0].loops[0].endTick, 750u);
  EXPECT_TRUE(length.sequences[0].loops[0].endless);
  EXPECT_EQ(length.sequences[0].channelsWithNotes, 0x0001);
}

TEST(SongLengthTest, SepRecordChosenBySequenceIdSetsTheLengthAndItsLastNoteTheRelease) {
  // Record 1: 190 ticks at 600,000 us / 96 = 1,187,500 us -> service 1,200,000, where the note is released:
  // 2048 samples of linear release (16 a sample from 32,767) = 46,440 us -> 1.24644 s.
  const psf::SongLength length = Compute(SepByIdSong());
  ExpectPasses(length, {1.2});
  EXPECT_DOUBLE_EQ(length.lengthSeconds, 1.24644);
  EXPECT_NEAR(length.releaseSeconds, 0.04644, 1e-9);
  ASSERT_EQ(length.sequences.size(), 1u);
  EXPECT_TRUE(length.sequences[0].fromSep);
  EXPECT_EQ(length.sequences[0].sepId, 1u);
  EXPECT_EQ(length.sequences[0].tempo, 600000u);
}

TEST(SongLengthTest, EverySepRecordAlone) {
  // Record 0: 480 ticks at 500,000 / 480 = 500,000 us, a service; record 2: 96 ticks at 250,000 / 96 =
  // 250,000 us. Their notes are never released by the data and count as released at the end (46,440 us).
  const SongCase song = SepByIdSong();
  const auto records = psf::ComputeSepRecordLengths(psf::DecodeSongSettings(song.parameters.block, {}), song.song,
                                                    OneToneVh(song.release));
  ASSERT_EQ(records.size(), 3u);
  EXPECT_DOUBLE_EQ(records[0].length.lengthSeconds, 0.54644);
  EXPECT_DOUBLE_EQ(records[1].length.lengthSeconds, 1.24644);
  EXPECT_DOUBLE_EQ(records[2].length.lengthSeconds, 0.29644);
  EXPECT_EQ(records[2].id, 2u);
  EXPECT_TRUE(psf::ComputeSepRecordLengths({}, TempoChangeSong().song, {}).empty());
}

TEST(SongLengthTest, ListingAHostileSepStaysWithinTheLimits) {
  // 100 records of one short note each: the listing stops at 64 records.
  Bytes sep = {'p', 'Q', 'E', 'S', 0, 0};
  for (std::uint16_t id = 0; id < 100; ++id) {
    AppendSepRecord(sep, id, 480, 500000, {0x00, 0x90, 60, 100, 0x01, 0x80, 60, 0, 0x00, 0xFF, 0x2F, 0x00});
  }
  EXPECT_EQ(psf::ComputeSepRecordLengths({}, sep, {}).size(), psf::SEP_RECORDS_LISTED);
  // Nearly without end (4,294,967,295 passes): the first record plays up to the event limit and takes the
  // listing's whole budget.
  const auto records =
      psf::ComputeSepRecordLengths(psf::DecodeSongSettings(Parameters{}.PlaybackAmount(0xFFFFFFFF).block, {}), sep, {});
  ASSERT_EQ(records.size(), 1u);
  EXPECT_TRUE(records[0].length.reachedLimit);
  EXPECT_TRUE(records[0].length.endless);
  EXPECT_GE(records[0].length.eventsPlayed, psf::SONG_EVENT_LIMIT);
}

TEST(SongLengthTest, AutomaticStopReleasesTheHeldNoteAtTheEnd) {
  // 1000 ticks at 500,000 / 480 = 1,041,666.7 us -> service 1,050,000; the held note is released there:
  // linear shift 13 falls 8 every 4 samples, 4096 x 4 = 16,384 samples = 371,520 us -> 1.42152 s.
  const psf::SongLength length = Compute(AutomaticStopSong());
  ExpectPasses(length, {1.05});
  EXPECT_DOUBLE_EQ(length.endSeconds, 1.05);
  EXPECT_DOUBLE_EQ(length.lengthSeconds, 1.42152);
  EXPECT_DOUBLE_EQ(length.fadeSeconds, 0.0);
}

TEST(SongLengthTest, ThirtyServicesASecondRoundEventTimesUp) {
  // Period 33,333 us: services at 35,000, 67,500, 100,000, 135,000, ... 235,000, 267,500, ... 367,500, 400,000.
  // 120 ticks = 125,000 us -> 135,000, carried 480 x 10,000; then 115,000 us more -> 250,000 -> 267,500,
  // carried 480 x 17,500; then 107,500 us -> 375,000 -> 400,000. The last note releases for 46,440 us.
  const psf::SongLength length = Compute(TickRateSong());
  ExpectPasses(length, {0.135, 0.2675, 0.4});
  EXPECT_DOUBLE_EQ(length.lengthSeconds, 0.44644);
  EXPECT_EQ(length.servicesPerSecond, 30u);
}

TEST(SongLengthTest, CustomTempoReplacesHeaderAndTempoEvents) {
  // 60,000,000 / 90 = 666,666 us a quarter: 100 ticks / 96 = 694,443.75 us -> service 700,000, then the
  // release of 46,440 us.
  const psf::SongLength length = Compute(CustomTempoSong());
  ExpectPasses(length, {0.7});
  EXPECT_DOUBLE_EQ(length.lengthSeconds, 0.74644);
  EXPECT_EQ(length.sequences[0].tempo, 666666u);
}

TEST(SongLengthTest, VagPassesLastTheSampleAnd20MillisecondsUpToTheNextService) {
  // 10 blocks, the last one ending the sample: 280 samples at 22,050 Hz = 12 ms (whole ms) + 20 ms = 32 ms
  // -> service 35,000; the second pass 32 ms after that -> 67,000 -> 67,500.
  Bytes vag(0x30 + 160, 0);
  vag[0] = 'V', vag[1] = 'A', vag[2] = 'G', vag[3] = 'p';
  vag[0x0F] = 160;                     // data size
  vag[0x12] = 0x56, vag[0x13] = 0x22;  // 22,050 Hz
  vag[0x30 + 16 * 9 + 1] = 1;          // block 9: end
  psf::SongLength length =
      psf::ComputeSongLength(psf::DecodeSongSettings(Parameters{}.PlaybackAmount(2).block, {}), vag, {});
  EXPECT_EQ(length.kind, psf::SongKind::Vag);
  ExpectPasses(length, {0.035, 0.0675});
  EXPECT_FALSE(length.endless);

  // A loop from block 2 to block 9 repeats by itself: 10 blocks and 8 more, 504 samples = 22,857 us.
  vag[0x30 + 16 * 2 + 1] = 4;
  vag[0x30 + 16 * 9 + 1] = 3;
  length = psf::ComputeSongLength(psf::DecodeSongSettings(Parameters{}.block, {}), vag, {});
  EXPECT_TRUE(length.endless);
  EXPECT_NEAR(length.lengthSeconds, 0.022857, 1e-6);
  // A time limit inside the first run stops the model there, as for a sequence.
  length = psf::ComputeSongLength(psf::DecodeSongSettings(Parameters{}.block, {}), vag, {}, {.timeUs = 10'000});
  EXPECT_TRUE(length.reachedLimit && length.endless && length.passEnds.empty());
  EXPECT_DOUBLE_EQ(length.endSeconds, 0.01);

  // Without the loop, 100 passes: the third would end at 100,000 us, beyond a 90 ms limit.
  vag[0x30 + 16 * 2 + 1] = 0;
  vag[0x30 + 16 * 9 + 1] = 1;
  length = psf::ComputeSongLength(psf::DecodeSongSettings(Parameters{}.PlaybackAmount(100).block, {}), vag, {},
                                  {.timeUs = 90'000});
  ExpectPasses(length, {0.035, 0.0675});
  EXPECT_TRUE(length.reachedLimit && length.endless);
  EXPECT_DOUBLE_EQ(length.lengthSeconds, 0.09);
}

TEST(SongLengthTest, ReleaseDurationsAndFrameServiceTimes) {
  EXPECT_EQ(psf::ReleaseDurationUs(RELEASE_LINEAR_10), 46440u);
  EXPECT_EQ(psf::ReleaseDurationUs(RELEASE_LINEAR_13), 371520u);
  // Exponential, shift 0: each sample takes half the level, rounded up: 15 samples = 341 us (rounded up).
  EXPECT_EQ(psf::ReleaseDurationUs(0x0020), 341u);
  EXPECT_EQ(psf::ReleaseDurationUs(0x001F), psf::RELEASE_LIMIT_US);

  // One service per video frame: heartbeats counted by frame n, floor(n x 400 / 60) x 2,500 us.
  const psf::ServiceClock frames(psf::DecodeSongSettings(Parameters{}.TickMode(5).block, {}));
  EXPECT_EQ(frames.TimeOf(1), 15000u);
  EXPECT_EQ(frames.TimeOf(2), 32500u);
  EXPECT_EQ(frames.TimeOf(3), 50000u);
  EXPECT_EQ(frames.FirstAtOrAfter(15001), 2u);
  EXPECT_EQ(frames.rate(), 0u);
}

TEST(SongLengthTest, SettingsTakeTheDriversDefaultsAndLimits) {
  Parameters p;
  p.Set32(0x18, 2);           // Playback Type 2: the VAG address by default
  p.Set32(0x9C, 5000);        // accelerando above an hour
  p.Set32(0xBC, 1000);        // more than 400 services a second
  p.Set32(0x04, 0x000E0000);  // a KUSEG VH address
  std::array<std::uint8_t, 72> mutes{};
  mutes[4 * 3] = 1;
  const psf::SongSettings s = psf::DecodeSongSettings(p.block, mutes);
  EXPECT_EQ(s.sequenceAddress, 0x80030000u);
  EXPECT_EQ(s.vhAddress, 0x800E0000u);
  EXPECT_EQ(s.accelerando, 3600u);
  EXPECT_EQ(s.customTickRate, 400u);
  EXPECT_EQ(s.tickMode, 1u);
  EXPECT_EQ(s.sequenceAmount, 1u);
  EXPECT_EQ(s.muteMask, 0x0008);
}

TEST(SongLengthTest, BuilderSongIsReadFromItsImage) {
  psf::PsfBuilder builder;
  EXPECT_EQ(psf::ComputeSongLength(builder).kind, psf::SongKind::None);
  ASSERT_TRUE(psf::LoadBuiltinDriver(builder));
  const SongCase song = AutomaticStopSong();
  ASSERT_EQ(psf::WriteBytesAt(builder.image, SEQ_AT, song.song), song.song.size());
  const Bytes vh = OneToneVh(song.release);
  ASSERT_EQ(psf::WriteBytesAt(builder.image, VH_AT, vh), vh.size());
  psf::SetParameter(builder, 1, 4);  // Playback Amount
  psf::SetParameter(builder, 1, 5);  // Automatic Stop
  const psf::SongLength length = psf::ComputeSongLength(builder);
  EXPECT_DOUBLE_EQ(length.lengthSeconds, 1.42152);
  psf::SetParameter(builder, 0x80000100, 0);  // a sequence address inside the driver
  EXPECT_EQ(psf::ComputeSongLength(builder).kind, psf::SongKind::None);
}

}  // namespace

TEST(SongLengthTest, AnEventDueBeyondTheTimeLimitStopsTheModelAtTheLimit) {
  // One tick is 16.8 s at tempo FFFFFF and resolution 1: the longest delta time lies years ahead, yet the
  // figures stop at 24 hours.
  const Bytes seq = Seq(1, 0xFFFFFF, {0xFF, 0xFF, 0xFF, 0x7F, 0x90, 0x3C, 0x64, 0x00, 0xFF, 0x2F});
  const psf::SongLength length = psf::ComputeSongLength(psf::DecodeSongSettings({}, {}), seq, {});
  EXPECT_EQ(length.kind, psf::SongKind::Sequence);
  EXPECT_TRUE(length.reachedLimit);
  EXPECT_TRUE(length.endless);
  EXPECT_DOUBLE_EQ(length.endSeconds, 86400.0);
  EXPECT_DOUBLE_EQ(length.lengthSeconds, 86400.0);
  EXPECT_DOUBLE_EQ(length.fadeSeconds, 10.0);
  // A caller's own limits: the model stops at a minute, and at three events.
  const auto limited = [&](psf::SongLimits limits) {
    return psf::ComputeSongLength(psf::DecodeSongSettings({}, {}), seq, {}, limits);
  };
  EXPECT_DOUBLE_EQ(limited({.timeUs = 60'000'000}).endSeconds, 60.0);
  const Bytes busy = Seq(
      480, 500000, {0x00, 0x90, 0x3C, 0x64, 0x60, 0x3C, 0x00, 0x60, 0x3E, 0x64, 0x60, 0x3E, 0x00, 0x60, 0xFF, 0x2F});
  EXPECT_TRUE(psf::ComputeSongLength(psf::DecodeSongSettings({}, {}), busy, {}, {.events = 3}).reachedLimit);
  EXPECT_FALSE(psf::ComputeSongLength(psf::DecodeSongSettings({}, {}), busy, {}).reachedLimit);
}
