#include "vab/vab_bank.h"

#include <gtest/gtest.h>

#include "bank_bytes.h"
#include "core/failure.h"
#include "vab/pitch_table.h"

namespace {

using namespace vab_testing;

// Worked out by hand: 4096 x 2^(f/1536) = 4096, 4216.02, 4337.60 and 4142.47 for f = 0, 64, 127 and 25;
// x 44100 / 4096 for the rate. At 25 a step rounded twice (through a finer table) would come out one high.
TEST(CentreNotePitch, IsTheNearestStepAndGivesTheSampleRate) {
  EXPECT_EQ(vab::CentreNotePitch(0), 4096);
  EXPECT_EQ(vab::CentreNotePitch(64), 4216);
  EXPECT_EQ(vab::CentreNotePitch(127), 4338);
  EXPECT_EQ(vab::CentreNotePitch(25), 4142);
  EXPECT_EQ(vab::SampleRateForPitch(4096), 44100U);
  EXPECT_EQ(vab::SampleRateForPitch(4216), 45391U);
  EXPECT_EQ(vab::SampleRateForPitch(4338), 46705U);
  // The driver reads seven bits of fine tuning; the top bit changes nothing.
  EXPECT_EQ(vab::CentreNotePitch(128), 4096);
  EXPECT_EQ(vab::CentreNotePitch(192), 4216);
  EXPECT_EQ(vab::CentreNotePitch(255), 4338);
}

TEST(ParseVh, CopiesPiecesAndReadsCounts) {
  // Three programs: VH is 2592 + 3 x 512 = 4128 bytes.
  Bytes vh = MakeVh(/*programs=*/3, /*tones=*/3, /*samples=*/2);
  SetTone(vh, 0, 0, 0, 1);
  SetTone(vh, 2, 15, 0, 2);
  Put(vh, ToneAt(2, 15) + 31, {0xAB});  // last byte of the last tone block
  const std::size_t table = TableAt(3);
  ASSERT_EQ(table, 3616U);
  Put(vh, table + 0, {0x99, 0x99});  // entry 0: never read
  Put(vh, table + 2, {0x02, 0x00});  // sample 0: 2 units
  Put(vh, table + 4, {0x34, 0x12});  // sample 1: 0x1234 units
  Put(vh, table + 6, {0x05, 0x00});  // above sampleCount: never read
  vh.push_back(0x55);                // a trailing byte is not consumed

  vab::VabBank bank;
  EXPECT_EQ(vab::ParseVh(bank, vh), 4128U);
  EXPECT_TRUE(bank.loaded);
  EXPECT_EQ(bank.header, Bytes(vh.begin(), vh.begin() + 32));
  EXPECT_EQ(bank.programs, Bytes(vh.begin() + 32, vh.begin() + 2080));
  ASSERT_EQ(bank.tones.size(), 65536U);
  EXPECT_EQ(Bytes(bank.tones.begin(), bank.tones.begin() + 1536), Bytes(vh.begin() + 2080, vh.begin() + 3616));
  EXPECT_EQ(bank.tones[1535], 0xAB);
  EXPECT_EQ(std::count(bank.tones.begin() + 1536, bank.tones.end(), 0), 65536 - 1536);
  EXPECT_EQ(vab::ProgramCount(bank), 3U);
  EXPECT_EQ(vab::ToneCount(bank), 3U);
  EXPECT_EQ(vab::SampleCount(bank), 2U);

  ASSERT_EQ(bank.samples.size(), 256U);
  EXPECT_EQ(bank.samples[0].sizeUnits, 2);
  EXPECT_EQ(bank.samples[0].byteSize, 16U);
  EXPECT_EQ(bank.samples[1].sizeUnits, 0x1234);
  EXPECT_EQ(bank.samples[1].byteSize, 0x1234U * 8);
  EXPECT_EQ(bank.samples[2].sizeUnits, 0);
  EXPECT_EQ(bank.samples[2].byteSize, 0U);
  EXPECT_TRUE(bank.samples[0].data.empty()) << "no data before the VB";
}

TEST(ParseVh, NoProgramsMeansNoToneBlocksAndDefaultPitch) {
  Bytes vh = MakeVh(0, 0, 1);
  SetSize(vh, 0, 0, 2);
  ASSERT_EQ(vh.size(), 2592U);
  vab::VabBank bank;
  EXPECT_EQ(vab::ParseVh(bank, vh), 2592U);
  EXPECT_EQ(std::count(bank.tones.begin(), bank.tones.end(), 0), 65536);
  EXPECT_EQ(vab::ParseVb(bank, SampleBytes(0, 16)), 16U);
  EXPECT_EQ(bank.samples[0].pitch, 4096);
  EXPECT_EQ(bank.samples[0].sampleRate, 44100U);
}

TEST(ParseVh, ReplacesWhatALoadedBankHeld) {
  Bytes first = MakeVh(1, 1, 1);
  SetSize(first, 1, 0, 4);
  vab::VabBank bank;
  ASSERT_EQ(vab::ParseVh(bank, first), 3104U);
  ASSERT_EQ(vab::ParseVb(bank, SampleBytes(0, 32)), 32U);
  EXPECT_EQ(vab::ParseVh(bank, MakeVh(0, 0, 0)), 2592U);
  EXPECT_EQ(bank.samples[0].byteSize, 0U);
  EXPECT_TRUE(bank.samples[0].data.empty());
}

TEST(ParseVb, AppendsEndBlockAndDerivesRates) {
  Bytes vh = MakeVh(1, 1, 3);
  SetTone(vh, 0, 0, 0, 1);   // sample 0: fine tuning 0
  SetTone(vh, 0, 1, 64, 3);  // sample 2: fine tuning 64
  SetSize(vh, 1, 0, 2);      // 16 bytes
  SetSize(vh, 1, 1, 0);      // empty sample in the middle
  SetSize(vh, 1, 2, 3);      // 24 bytes
  vab::VabBank bank;
  ASSERT_EQ(vab::ParseVh(bank, vh), 3104U);

  const Bytes vb = Concat({SampleBytes(0, 16), SampleBytes(2, 24), Bytes{0xDE, 0xAD}});  // two extra bytes
  EXPECT_EQ(vab::ParseVb(bank, vb), 40U);

  EXPECT_EQ(bank.samples[0].byteSize, 32U);
  EXPECT_EQ(bank.samples[0].data, Concat({SampleBytes(0, 16), END_BLOCK}));
  EXPECT_EQ(bank.samples[0].pitch, 0x1000);
  EXPECT_EQ(bank.samples[0].sampleRate, 44100U);

  // The empty sample takes no room and keeps everything at zero.
  EXPECT_EQ(bank.samples[1].byteSize, 0U);
  EXPECT_TRUE(bank.samples[1].data.empty());
  EXPECT_EQ(bank.samples[1].pitch, 0);
  EXPECT_EQ(bank.samples[1].sampleRate, 0U);

  // The sample behind it is read from the same running offset, 16.
  EXPECT_EQ(bank.samples[2].byteSize, 40U);
  EXPECT_EQ(bank.samples[2].data, Concat({SampleBytes(2, 24), END_BLOCK}));
  EXPECT_EQ(bank.samples[2].pitch, 4216);
  EXPECT_EQ(bank.samples[2].sampleRate, 45391U);
}

TEST(ParseVb, NoSamplesConsumeNothing) {
  vab::VabBank bank;
  ASSERT_EQ(vab::ParseVh(bank, MakeVh(1, 1, 0)), 3104U);
  EXPECT_EQ(vab::ParseVb(bank, Bytes{}), 0U);
  EXPECT_EQ(vab::ParseVb(bank, Bytes(100, 0x11)), 0U);
  EXPECT_TRUE(bank.loaded);
  EXPECT_EQ(vab::TryParseVb(bank, Bytes{}), std::optional<std::size_t>(0));
}

TEST(ParseVb, SecondParseIsRefused) {
  Bytes vh = MakeVh(0, 0, 1);
  SetSize(vh, 0, 0, 2);
  vab::VabBank bank;
  ASSERT_EQ(vab::ParseVh(bank, vh), 2592U);
  ASSERT_EQ(vab::ParseVb(bank, SampleBytes(0, 16)), 16U);
  EXPECT_EQ(vab::ParseVb(bank, SampleBytes(0, 16)), 0U);
  EXPECT_TRUE(bank.loaded);
  EXPECT_EQ(bank.samples[0].byteSize, 32U);
  EXPECT_EQ(bank.samples[0].data.size(), 32U);
}

TEST(ParseVb, WithoutVhDoesNothing) {
  vab::VabBank bank;
  EXPECT_EQ(vab::ParseVb(bank, Bytes(16, 1)), 0U);
  EXPECT_FALSE(bank.loaded);
  EXPECT_TRUE(bank.samples.empty());
}

TEST(SamplePitch, FineTuningSteps) {
  struct Case {
    std::uint8_t fineTuning;
    std::uint16_t pitch;
    std::uint32_t rate;
  };
  const Case cases[] = {
      {0, 4096, 44100},   {1, 4098, 44121},   {4, 4103, 44175},   {64, 4216, 45391},
      {127, 4338, 46705}, {128, 4096, 44100}, {252, 4332, 46640}, {255, 4338, 46705},
  };
  for (const Case& c : cases) {
    Bytes vh = MakeVh(1, 1, 1);
    SetTone(vh, 0, 3, c.fineTuning, 1);
    SetSize(vh, 1, 0, 2);
    vab::VabBank bank;
    ASSERT_EQ(vab::ParseVh(bank, vh), 3104U);
    EXPECT_EQ(vab::SamplePitch(bank, 0), c.pitch) << int{c.fineTuning};
    ASSERT_EQ(vab::ParseVb(bank, SampleBytes(0, 16)), 16U);
    EXPECT_EQ(bank.samples[0].pitch, c.pitch) << int{c.fineTuning};
    EXPECT_EQ(bank.samples[0].sampleRate, c.rate) << int{c.fineTuning};
  }
}

TEST(SamplePitch, FirstToneInBlockThenToneOrderWins) {
  Bytes vh = MakeVh(3, 3, 2);
  SetTone(vh, 1, 0, 64, 1);   // block 1 names sample 0 ...
  SetTone(vh, 0, 9, 4, 1);    // ... but block 0 comes first
  SetTone(vh, 2, 2, 32, 2);   // sample 1 in block 2, tone 2 ...
  SetTone(vh, 2, 1, 127, 2);  // ... and tone 1 of the same block wins
  SetTone(vh, 0, 0, 100, 0);  // tone 0 of block 0 plays nothing
  vab::VabBank bank;
  ASSERT_EQ(vab::ParseVh(bank, vh), 4128U);
  EXPECT_EQ(vab::SamplePitch(bank, 0), 4103);
  EXPECT_EQ(vab::SamplePitch(bank, 1), 4338);
  // A sample no tone names takes tone 0 of block 0: fine tuning 100.
  EXPECT_EQ(vab::SamplePitch(bank, 5), 4285);
}

TEST(SamplePitch, SearchStopsAtToneCountNotProgramCount) {
  Bytes vh = MakeVh(/*programs=*/3, /*tones=*/2, /*samples=*/2);
  SetTone(vh, 0, 0, 4, 0);    // tone 0 of block 0: fine tuning 4
  SetTone(vh, 1, 5, 64, 1);   // block 1 < toneCount: searched
  SetTone(vh, 2, 0, 127, 2);  // block 2 >= toneCount: never searched
  vab::VabBank bank;
  ASSERT_EQ(vab::ParseVh(bank, vh), 4128U);
  EXPECT_EQ(vab::SamplePitch(bank, 0), 4216);
  EXPECT_EQ(vab::SamplePitch(bank, 1), 4103);

  // With a tone count of 0 nothing is searched at all.
  Put(vh, 0x14, {0x00, 0x00});
  ASSERT_EQ(vab::ParseVh(bank, vh), 4128U);
  EXPECT_EQ(vab::SamplePitch(bank, 0), 4103);

  // A tone count far above the program count searches only the 128 blocks there are (zero past 3).
  Put(vh, 0x14, {0xFF, 0xFF});
  ASSERT_EQ(vab::ParseVh(bank, vh), 4128U);
  EXPECT_EQ(vab::SamplePitch(bank, 1), 4338);
}

TEST(SamplePitch, SampleNumberIsSignedAndCountsFromOne) {
  Bytes vh = MakeVh(1, 1, 1);
  SetTone(vh, 0, 0, 0, 0);
  SetTone(vh, 0, 1, 64, -1);  // 0xFFFF is not sample 65534
  SetTone(vh, 0, 2, 127, 1);
  vab::VabBank bank;
  ASSERT_EQ(vab::ParseVh(bank, vh), 3104U);
  EXPECT_EQ(vab::SamplePitch(bank, 0), 4338);
  EXPECT_EQ(vab::SamplePitch(bank, 65534), 4096);
  EXPECT_EQ(vab::SamplePitch(bank, -1), 4096) << "no sample number 0 is ever matched";
}

}  // namespace
