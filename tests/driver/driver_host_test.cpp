// The driver's C code run on the build host against a stand-in machine (host_machine.c): what
// the SPU is told for hand-written songs, and that malformed song data never leads the driver
// outside main RAM or into a loop without end.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

#include "tests/driver/host_machine.h"
#include "vab/pitch_table.h"
#include "vab/vab_bank.h"
#include "vab/vag_extract.h"

extern "C" {
#include "driver/src/driver.h"
}

namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr std::uint32_t SEQ_AT = 0x800A0000;
constexpr std::uint32_t VH_AT = 0x800E0000;
constexpr std::uint32_t VB_AT = 0x80160000;
constexpr std::uint32_t PARAMS = 0x800228A8;
constexpr std::uint32_t MUTES = 0x80022860;

void Append(Bytes& out, std::initializer_list<int> bytes) {
  for (int b : bytes) out.push_back(static_cast<std::uint8_t>(b));
}

// "pQES", version 1, resolution 480 (01 E0), tempo 500000 us (07 A1 20), 4/4.
Bytes SeqHeader() { return {'p', 'Q', 'E', 'S', 0, 0, 0, 1, 0x01, 0xE0, 0x07, 0xA1, 0x20, 0x04, 0x02}; }

// A bank of one program (0) per tone given, each tone over its key range on sample 1 (a 32-byte
// sample), centre note 60, volumes 127, pan 64, bend range 2 up and 12 down.
struct ToneSpec {
  int program = 0, low = 0, high = 127, priority = 64, mode = 0, fine = 0;
};

Bytes MakeVh(const std::vector<ToneSpec>& tones) {
  int programs = 0;
  for (const auto& t : tones) programs = std::max(programs, t.program + 1);
  Bytes vh(32 + 2048 + 512 * programs + 512, 0);
  vh[0] = 'p', vh[1] = 'B', vh[2] = 'A', vh[3] = 'V';
  vh[0x12] = static_cast<std::uint8_t>(programs);      // tone blocks
  vh[0x14] = static_cast<std::uint8_t>(tones.size());  // tones
  vh[0x16] = 1;                                        // samples
  vh[0x18] = 127;                                      // bank volume
  vh[0x19] = 64;                                       // bank pan
  std::vector<int> used(programs, 0);
  for (const auto& t : tones) {
    std::uint8_t* program = &vh[0x20 + 16 * t.program];
    program[0] = static_cast<std::uint8_t>(++used[t.program]);  // tone count
    program[1] = 127;                                           // volume
    program[4] = 64;                                            // pan
    std::uint8_t* tone = &vh[0x820 + 512 * t.program + 32 * (used[t.program] - 1)];
    tone[0] = static_cast<std::uint8_t>(t.priority);
    tone[1] = static_cast<std::uint8_t>(t.mode);
    tone[2] = 127;  // volume
    tone[3] = 64;   // pan
    tone[4] = 60;   // centre note
    tone[5] = static_cast<std::uint8_t>(t.fine);
    tone[6] = static_cast<std::uint8_t>(t.low);
    tone[7] = static_cast<std::uint8_t>(t.high);
    tone[12] = 12;                     // bend down
    tone[13] = 2;                      // bend up
    tone[16] = 0xFF, tone[17] = 0x80;  // ADSR1 0x80FF
    tone[18] = 0xDF, tone[19] = 0x1F;  // ADSR2 0x1FDF
    tone[22] = 1;                      // sample 1
  }
  const std::size_t sizes = 0x820 + 512 * programs;
  vh[sizes + 2] = 4;  // sample 1: 4 units of 8 bytes
  return vh;
}

class DriverHostTest : public ::testing::Test {
 protected:
  void SetUp() override { HostReset(); }
  void TearDown() override { EXPECT_EQ(g_host.badAccesses, 0); }

  void PlaceBank(const std::vector<ToneSpec>& tones = {ToneSpec{}}) {
    Bytes vh = MakeVh(tones);
    HostWrite(VH_AT, vh.data(), static_cast<std::uint32_t>(vh.size()));
    Bytes vb(32, 0x11);
    HostWrite(VB_AT, vb.data(), 32);
  }
  void PlaceSeq(const Bytes& events) {
    Bytes seq = SeqHeader();
    seq.insert(seq.end(), events.begin(), events.end());
    HostWrite(SEQ_AT, seq.data(), static_cast<std::uint32_t>(seq.size()));
  }
  std::vector<HostKeyEvent> KeyOns() const {
    std::vector<HostKeyEvent> out;
    for (int i = 0; i < g_host.eventCount; ++i)
      if (g_host.events[i].on) out.push_back(g_host.events[i]);
    return out;
  }
  // Key offs after start-up (which releases every voice once).
  std::vector<HostKeyEvent> KeyOffs() const {
    std::vector<HostKeyEvent> out;
    for (int i = 0; i < g_host.eventCount; ++i)
      if (!g_host.events[i].on && g_host.events[i].timeUs > 0) out.push_back(g_host.events[i]);
    return out;
  }
};

TEST_F(DriverHostTest, CentreNoteKeysTheToneAtPitch0x1000WithItsEnvelopeAndFullLevel) {
  PlaceBank();
  PlaceSeq({0x00, 0x90, 60, 127,       // note on 60, velocity 127
            0x83, 0x60, 0x80, 60, 0,   // 480 ticks later: note off
            0x00, 0xFF, 0x2F, 0x00});  // end of track
  HostWrite32(PARAMS + 0x2C, 1);       // Playback Amount 1
  HostRunDriver(1000000);
  auto ons = KeyOns();
  ASSERT_GE(ons.size(), 1u);
  EXPECT_EQ(ons[0].pitch, 0x1000);
  EXPECT_EQ(ons[0].ssa, 0x1010 / 8);
  EXPECT_EQ(ons[0].adsr1, 0x80FF);
  EXPECT_EQ(ons[0].adsr2, 0x1FDF);
  // Velocity, volumes and pan full, sequence volume 110 by default, square law:
  // 16384 x 111/128 = 14208, 14208^2 >> 14 = 12321.
  EXPECT_EQ(ons[0].volL, 12321);
  EXPECT_EQ(ons[0].volR, 12321);
  EXPECT_LT(ons[0].timeUs, 20000u);
  ASSERT_EQ(ons.size(), 1u) << "one pass only";
  auto offs = KeyOffs();
  ASSERT_GE(offs.size(), 1u);
  const std::uint32_t held = offs.back().timeUs - ons[0].timeUs;
  EXPECT_NEAR(static_cast<double>(held), 500000.0, 17500.0);  // 60 services a second
}

TEST_F(DriverHostTest, OctavesFifthsFineTuneAndBendSetThePitchStep) {
  PlaceBank({ToneSpec{0, 0, 127, 64, 0, 64}});  // fine tune 64: half a semitone
  PlaceSeq({0x00, 0x90, 72, 100,                // an octave up
            0x00, 67, 100,                      // running status: a fifth up
            0x00, 48, 100,                      // an octave down
            0x60, 0xE0, 0x7F, 0x7F,             // 96 ticks later, bend fully up
            0x60, 0xFF, 0x2F, 0x00});
  HostWrite32(PARAMS + 0x2C, 1);
  HostRunDriver(150000);
  auto ons = KeyOns();
  ASSERT_EQ(ons.size(), 3u);
  // round(0x1000 x 2^(12.5/12)), 2^(7.5/12), 2^(-11.5/12)
  EXPECT_EQ(ons[0].pitch, 0x20F0);
  EXPECT_EQ(ons[1].pitch, 0x18AD);
  EXPECT_EQ(ons[2].pitch, 0x083C);
  // Bend 0x3FFF is 8191/8192 of the up range of 2 semitones: 255/128 of a semitone more,
  // round(0x1000 x 2^((1600 + 255) / 1536)).
  EXPECT_EQ(g_host.spu[(16 * ons[0].voice + 4) / 2], 0x24F4);
}

// The VAG extraction writes each sample at the rate of its tone's centre note; that only holds while
// it and the driver agree on the step, fine tuning by fine tuning.
TEST(DriverPitch, CentreNoteStepIsTheOneExtractionUsesForEveryFineTuning) {
  for (int fine = 0; fine < 128; ++fine)
    EXPECT_EQ(PitchStep(fine), vab::CentreNotePitch(static_cast<std::uint8_t>(fine))) << fine;
}

TEST_F(DriverHostTest, ExtractedVagPlaysAtTheStepOfItsToneAtTheCentreNote) {
  for (int fine = 0; fine < 256; ++fine) {
    SCOPED_TRACE(fine);
    const Bytes vh = MakeVh({ToneSpec{0, 0, 127, 64, 0, fine}});
    vab::VabBank bank;
    ASSERT_EQ(vab::ParseVh(bank, vh), vh.size());
    ASSERT_EQ(vab::ParseVb(bank, Bytes(32, 0x11)), 32u);
    const auto vag = vab::MakeVagBytes(bank, 0, "tone");
    ASSERT_TRUE(vag.has_value());

    HostReset();
    PlaceBank({ToneSpec{0, 0, 127, 64, 0, fine}});
    PlaceSeq({0x00, 0x90, 60, 100, 0x60, 0xFF, 0x2F, 0x00});  // the centre note
    HostWrite32(PARAMS + 0x2C, 1);
    HostRunDriver(40000);
    ASSERT_EQ(KeyOns().size(), 1u);
    const std::uint16_t toneStep = KeyOns()[0].pitch;

    HostReset();
    HostWrite(SEQ_AT, vag->data(), static_cast<std::uint32_t>(vag->size()));
    HostWrite32(PARAMS + 0x2C, 1);
    HostRunDriver(40000);
    ASSERT_EQ(KeyOns().size(), 1u);
    EXPECT_EQ(KeyOns()[0].pitch, toneStep);
    EXPECT_EQ(bank.samples[0].pitch, toneStep);
  }
}

TEST_F(DriverHostTest, LoopMarkersRepeatTheirSectionAndEndlessLoopsCountPasses) {
  PlaceBank();
  PlaceSeq({0x00, 0xB0, 99,   20,   // loop start
            0x00, 6,    3,          // count 3 (running status)
            0x00, 0x90, 60,   100,  // the note inside the loop
            0x60, 60,   0,          // off after 96 ticks
            0x00, 0xB0, 99,   30,   // loop end
            0x00, 0xFF, 0x2F, 0x00});
  HostWrite32(PARAMS + 0x2C, 2);  // two passes
  HostRunDriver(2000000);
  EXPECT_EQ(KeyOns().size(), 6u);
}

TEST_F(DriverHostTest, SepPlaysTheRecordNamedBySequenceId) {
  PlaceBank();
  Bytes sep = {'p', 'Q', 'E', 'S', 0, 0};
  for (int id = 0; id < 3; ++id) {
    Bytes events = {0x00, 0x90, static_cast<std::uint8_t>(60 + 12 * (id - 1)), 100, 0x00, 0xFF, 0x2F, 0x00};
    Append(sep, {0, id, 0x01, 0xE0, 0x07, 0xA1, 0x20, 4, 2, 0, 0, 0, static_cast<int>(events.size())});
    sep.insert(sep.end(), events.begin(), events.end());
  }
  HostWrite(SEQ_AT, sep.data(), static_cast<std::uint32_t>(sep.size()));
  HostWrite16(PARAMS + 0x36, 2);  // Sequence ID #1
  HostWrite32(PARAMS + 0x2C, 1);
  HostRunDriver(500000);
  auto ons = KeyOns();
  ASSERT_EQ(ons.size(), 1u);
  EXPECT_EQ(ons[0].pitch, 0x2000);  // record 2 plays key 72
}

TEST_F(DriverHostTest, MutedChannelStartsNoVoice) {
  PlaceBank();
  PlaceSeq({0x00, 0x90, 60, 100, 0x00, 0x91, 72, 100, 0x60, 0xFF, 0x2F, 0x00});
  HostWrite32(MUTES + 4 * 1, 1);  // Mute Channel 1
  HostWrite32(PARAMS + 0x2C, 1);
  HostRunDriver(300000);
  auto ons = KeyOns();
  ASSERT_EQ(ons.size(), 1u);
  EXPECT_EQ(ons[0].pitch, 0x1000);
}

TEST_F(DriverHostTest, ThirtyNotesAtOnceUseTwentyFourVoicesAndHigherPriorityStealsLower) {
  PlaceBank({ToneSpec{0, 0, 99, 10}, ToneSpec{0, 100, 127, 100}});
  Bytes events;
  for (int n = 0; n < 30; ++n) Append(events, {0x00, 0x90, n, 100});
  Append(events, {0x00, 110, 100});  // a note of the high-priority tone
  Append(events, {0x60, 0xFF, 0x2F, 0x00});
  PlaceSeq(events);
  HostWrite32(PARAMS + 0x2C, 1);
  HostRunDriver(300000);
  int sounding = 0, high = 0;
  for (int v = 0; v < 24; ++v) sounding += g_host.voiceOn[v];
  for (const auto& e : KeyOns()) high += e.pitch == 0x4000 - 1;  // key 110: clamped step
  EXPECT_EQ(sounding, 24);
  EXPECT_EQ(high, 1);
}

TEST_F(DriverHostTest, VagKeysOneVoiceAtItsHeaderRate) {
  Bytes vag = {'V', 'A', 'G', 'p', 0, 0, 0, 0x20, 0, 0, 0, 0, 0, 0, 0, 48, 0, 0, 0x7D, 0};  // 32000 Hz
  vag.resize(64 + 48, 0);
  vag[64 + 16 + 1] = 0x01;  // the second data block ends the sample
  HostWrite(SEQ_AT, vag.data(), static_cast<std::uint32_t>(vag.size()));
  HostWrite32(PARAMS + 0x2C, 1);
  HostRunDriver(300000);
  auto ons = KeyOns();
  ASSERT_EQ(ons.size(), 1u);
  EXPECT_EQ(ons[0].pitch, 32000u * 4096u / 44100u);
  EXPECT_EQ(ons[0].ssa, 0x1010 / 8);

  // A data size beyond anything sound RAM holds: what fits plays.
  HostReset();
  vag[12] = vag[13] = vag[14] = vag[15] = 0xFF;
  HostWrite(SEQ_AT, vag.data(), static_cast<std::uint32_t>(vag.size()));
  HostWrite32(PARAMS + 0x2C, 1);
  HostRunDriver(300000);
  EXPECT_EQ(KeyOns().size(), 1u);
}

TEST_F(DriverHostTest, ReverbModePutsTheWorkAreaAtTheTopAndSendsReverbTones) {
  PlaceBank({ToneSpec{0, 0, 127, 64, 4}});
  PlaceSeq({0x00, 0x90, 60, 100, 0x60, 0xFF, 0x2F, 0x00});
  HostWrite32(PARAMS + 0x80, 5);  // hall: 0xADE0 bytes
  HostWrite32(PARAMS + 0x2C, 1);
  HostRunDriver(150000);
  EXPECT_EQ(g_host.reverbBase, 0x80000u - 0xADE0u);
  EXPECT_EQ(g_host.eon, 1u << KeyOns().at(0).voice);
  EXPECT_EQ(g_host.spu[0x1AA / 2] & 0xC080u, 0xC080u);  // on, unmuted, reverb writes
}

TEST_F(DriverHostTest, NothingPlacedKeysNothing) {
  HostRunDriver(1000000);
  EXPECT_TRUE(KeyOns().empty());
}

TEST_F(DriverHostTest, TwoSepSequencesPlayInTurnWhenTheModeSaysSo) {
  PlaceBank();
  Bytes sep = {'p', 'Q', 'E', 'S', 0, 0};
  for (int id = 0; id < 2; ++id) {
    // Each record: its key, 96 ticks (0.1 s), end.
    Bytes events = {0x00, 0x90, static_cast<std::uint8_t>(60 + 12 * id), 100, 0x60, 0x80, 60, 0, 0x00, 0xFF,
                    0x2F, 0x00};
    Append(sep, {0, id, 0x01, 0xE0, 0x07, 0xA1, 0x20, 4, 2, 0, 0, 0, static_cast<int>(events.size())});
    sep.insert(sep.end(), events.begin(), events.end());
  }
  HostWrite(SEQ_AT, sep.data(), static_cast<std::uint32_t>(sep.size()));
  HostWrite16(PARAMS + 0x3C, 2);  // Sequence Amount
  HostWrite16(PARAMS + 0x38, 1);  // Sequence ID #2
  HostWrite32(PARAMS + 0x1C, 1);  // SEP Play Mode: in turn
  HostWrite32(PARAMS + 0x2C, 2);  // two passes of the pair
  HostRunDriver(1000000);
  auto ons = KeyOns();
  ASSERT_EQ(ons.size(), 4u);
  EXPECT_EQ(ons[0].pitch, 0x1000);
  EXPECT_EQ(ons[1].pitch, 0x2000);
  EXPECT_EQ(ons[2].pitch, 0x1000);
  EXPECT_EQ(ons[3].pitch, 0x2000);
  EXPECT_NEAR(static_cast<double>(ons[1].timeUs - ons[0].timeUs), 100000.0, 17500.0);
}

TEST_F(DriverHostTest, TickSkipStartsLaterAndResolutionAndTempoParametersSetTheClock) {
  PlaceBank();
  Bytes events;
  for (int i = 0; i < 4; ++i)
    Append(events, {0x00, 0x90, 60 + 12 * (i % 2), 100, 0x83, 0x60, 0x80, 60 + 12 * (i % 2), 0});
  Append(events, {0x00, 0xFF, 0x2F, 0x00});
  PlaceSeq(events);
  HostWrite32(PARAMS + 0x2C, 1);
  HostWrite32(PARAMS + 0xAC, 1);            // Custom Tick Skip?
  g_host.ram[0x80022968 - 0x80000000] = 1;  // Custom Tick Skip Unit: quarter notes
  HostWrite16(PARAMS + 0xC2, 1);            // Custom Tick Skip Value
  HostWrite32(PARAMS + 0xB8, 960);          // Custom Tick Resolution: a quarter note is 960 ticks
  HostWrite32(PARAMS + 0x98, 1);            // Custom Tempo?
  HostWrite16(PARAMS + 0xB0, 240);          // at 240 BPM: 960 ticks a quarter, 0.25 s
  HostRunDriver(1000000);
  auto ons = KeyOns();
  // One quarter (960 ticks) skipped: the second note (480 ticks in) is passed over, the third
  // (at 960) sounds at once; notes then follow every 480 ticks = 0.125 s.
  ASSERT_EQ(ons.size(), 2u);
  EXPECT_EQ(ons[0].pitch, 0x1000);
  EXPECT_LT(ons[0].timeUs, 20000u);
  EXPECT_NEAR(static_cast<double>(ons[1].timeUs - ons[0].timeUs), 125000.0, 17500.0);
}

TEST_F(DriverHostTest, VolumeParameters) {
  ToneSpec quiet;
  PlaceBank({quiet});
  g_host.ram[VH_AT - 0x80000000 + 0x820 + 2] = 0;  // tone volume 0
  g_host.ram[VH_AT - 0x80000000 + 0x820 + 3] = 0;  // tone pan hard left
  PlaceSeq({0x00, 0x90, 60, 127, 0x60, 0xFF, 0x2F, 0x00});
  HostWrite32(PARAMS + 0x2C, 1);
  HostRunDriver(100000);
  ASSERT_EQ(KeyOns().size(), 1u);
  EXPECT_EQ(KeyOns()[0].volL, 0);  // tone volume 0 is silence
  HostReset();
  PlaceBank({quiet});
  g_host.ram[VH_AT - 0x80000000 + 0x820 + 2] = 0;
  g_host.ram[VH_AT - 0x80000000 + 0x820 + 3] = 0;
  PlaceSeq({0x00, 0x90, 60, 127, 0x60, 0xFF, 0x2F, 0x00});
  HostWrite32(PARAMS + 0x2C, 1);
  HostWrite32(PARAMS + 0x90, 1);   // VAB Non-Zero Volume
  HostWrite16(PARAMS + 0x6C, 64);  // Master Volume (L) 64: 65/128
  HostRunDriver(100000);
  auto ons = KeyOns();
  ASSERT_EQ(ons.size(), 1u);
  EXPECT_EQ(ons[0].volL, 12321 * 65 / 128);  // full level on the left, master 65/128
  EXPECT_EQ(ons[0].volR, 0);                 // panned hard left
  HostReset();
  PlaceBank({quiet});
  g_host.ram[VH_AT - 0x80000000 + 0x820 + 3] = 0;
  PlaceSeq({0x00, 0x90, 60, 127, 0x60, 0xFF, 0x2F, 0x00});
  HostWrite32(PARAMS + 0x2C, 1);
  HostWrite32(PARAMS + 0x24, 1);  // Channel Output: mono
  HostRunDriver(100000);
  ons = KeyOns();
  ASSERT_EQ(ons.size(), 1u);
  EXPECT_EQ(ons[0].volL, ons[0].volR);
  EXPECT_EQ(ons[0].volL, 3080);  // (14208 / 2)^2 >> 14
}

TEST_F(DriverHostTest, AutomaticStopReleasesHeldNotesAfterTheLastPass) {
  PlaceBank();
  PlaceSeq({0x00, 0x90, 60, 100, 0x60, 0xFF, 0x2F, 0x00});  // the note is never released
  HostWrite32(PARAMS + 0x2C, 1);
  HostRunDriver(500000);
  EXPECT_TRUE(KeyOffs().empty());
  HostReset();
  PlaceBank();
  PlaceSeq({0x00, 0x90, 60, 100, 0x60, 0xFF, 0x2F, 0x00});
  HostWrite32(PARAMS + 0x2C, 1);
  HostWrite32(PARAMS + 0x40, 1);  // Automatic Stop
  HostRunDriver(500000);
  ASSERT_EQ(KeyOffs().size(), 1u);
  EXPECT_NEAR(static_cast<double>(KeyOffs()[0].timeUs), 100000.0, 20000.0);
}

TEST_F(DriverHostTest, CrescendoRaisesTheLevelFromItsStartVolume) {
  PlaceBank();
  PlaceSeq({0x00, 0x90, 60, 127, 0x8F, 0x00, 0xFF, 0x2F, 0x00});
  HostWrite32(PARAMS + 0x2C, 1);
  HostWrite32(PARAMS + 0xA0, 1);   // Custom Crescendo? over 1 s
  HostWrite16(PARAMS + 0x78, 10);  // from 10/127 of the sequence volume
  HostRunDriver(1200000);
  const std::uint16_t early = KeyOns().at(0).volL;
  EXPECT_LT(early, 12321 / 100);  // (10/127)^2 of the full level
  EXPECT_EQ(g_host.spu[(16 * KeyOns().at(0).voice) / 2], 12321);
}

TEST_F(DriverHostTest, AnHourLongAccelerandoKeepsSpeedingUpPastItsFortiethMinute) {
  PlaceBank();
  PlaceSeq({0x00, 0x90, 60, 100,       // one whole note (1920 ticks, 2 s as written) a pass
            0x8F, 0x00, 0x90, 60, 0,   //
            0x00, 0xFF, 0x2F, 0x00});  // passes without end
  HostWrite32(PARAMS + 0x9C, 3600);    // Custom Accelerando? over 3600 s
  HostWrite16(PARAMS + 0xB0, 960);     // towards 960 BPM: 8 times the written 120 BPM
  g_host.pollUs = 100;                 // coarser polls keep the 42 simulated minutes quick
  HostRunDriver(2500000000u);
  auto ons = KeyOns();
  ASSERT_GE(ons.size(), 2u);
  ASSERT_GT(ons.back().timeUs, 2490000000u);
  // At 2500 s the speed is 1 + 7 x 2500/3600 = 5.86 times the written one: 2 s / 5.86 a pass.
  const double pass = static_cast<double>(ons.back().timeUs - ons[ons.size() - 2].timeUs);
  EXPECT_NEAR(pass, 341000.0, 20000.0);
}

// Song data from damaged bytes: the driver must stay inside RAM and keep taking heartbeats.
TEST_F(DriverHostTest, DamagedSongDataNeverLeadsOutsideRam) {
  std::mt19937 random(1994);
  PlaceBank();
  Bytes good = SeqHeader();
  Append(good, {0x00, 0xB0, 99, 20,   0x00, 6,  127, 0x00, 0x90, 60,   100,
                0x60, 60,   0,  0x00, 0xB0, 99, 30,  0x00, 0xFF, 0x2F, 0x00});
  for (int round = 0; round < 200; ++round) {
    HostReset();
    PlaceBank();
    Bytes seq = good;
    const int flips = 1 + round % 8;
    for (int i = 0; i < flips; ++i) seq[random() % seq.size()] = static_cast<std::uint8_t>(random());
    if (round % 3 == 0) seq[4] = seq[5] = seq[6] = seq[7] = 0;  // read as a SEP
    if (round % 5 == 0) {
      Bytes vh = MakeVh({ToneSpec{}});
      for (int i = 0; i < 12; ++i) vh[random() % 0x40 + (i % 2 ? 0x820 : 0)] = static_cast<std::uint8_t>(random());
      HostWrite(VH_AT, vh.data(), static_cast<std::uint32_t>(vh.size()));
    }
    HostWrite(SEQ_AT, seq.data(), static_cast<std::uint32_t>(seq.size()));
    HostRunDriver(400000);
    ASSERT_EQ(g_host.badAccesses, 0) << "round " << round;
    ASSERT_GE(g_host.timeUs, 400000u);
  }
}

TEST_F(DriverHostTest, AddressesAtTheEndOfRamOrBelowTheProgramPlayNothing) {
  PlaceBank();
  Bytes seq = SeqHeader();
  Append(seq, {0x00, 0x90, 60, 100});
  HostWrite(0x801FFFF8, seq.data(), 8);
  HostWrite32(PARAMS + 0x00, 0x801FFFF8);
  HostWrite32(PARAMS + 0x08, 0x801FFFF0);  // a VB running past the end of RAM
  HostRunDriver(300000);
  EXPECT_TRUE(KeyOns().empty());
  EXPECT_EQ(g_host.badAccesses, 0);  // its upload stops at the end of RAM too
  HostReset();
  HostWrite32(PARAMS + 0x00, 0x1F801000);  // not RAM at all
  HostWrite32(PARAMS + 0x04, 0x80001000);  // below the program
  HostRunDriver(300000);
  EXPECT_TRUE(KeyOns().empty());
  EXPECT_EQ(g_host.badAccesses, 0);
  HostReset();
  PlaceSeq({0x00, 0x90, 60, 100, 0x60, 0xFF, 0x2F, 0x00});
  HostWrite32(PARAMS + 0x04, 0x801FFFF0);  // a VH whose header runs past the end of RAM
  HostRunDriver(300000);
  EXPECT_TRUE(KeyOns().empty());
}

}  // namespace
