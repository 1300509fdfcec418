#include "vab/split_combine.h"

#include <gtest/gtest.h>

#include "bank_bytes.h"
#include "core/failure.h"
#include "support/temp_dir.h"

namespace {

using namespace vab_testing;
using testing_support::ReadBytes;
using testing_support::TempDir;
using testing_support::WriteBytes;
using Names = std::vector<std::string>;

// A bank as read, and what a VH written back from it must hold (entry 0 and entries from sampleCount up
// of the size table zeroed).
struct BankCase {
  Bytes vh;
  Bytes vb;
  Bytes vhWritten;
};

BankCase ThreeProgramsWithEmptyMiddleSample() {
  BankCase c;
  c.vh = MakeVh(3, 3, 3);
  SetTone(c.vh, 0, 0, 4, 1);
  SetTone(c.vh, 2, 7, 64, 3);
  Put(c.vh, TableAt(3), {0x12, 0x34});  // entry 0: garbage
  SetSize(c.vh, 3, 0, 2);
  SetSize(c.vh, 3, 1, 0);
  SetSize(c.vh, 3, 2, 5);
  SetSize(c.vh, 3, 3, 9);  // beyond sampleCount
  c.vb = Concat({SampleBytes(0, 16), SampleBytes(2, 40)});
  c.vhWritten = c.vh;
  Put(c.vhWritten, TableAt(3), {0x00, 0x00});
  Put(c.vhWritten, TableAt(3) + 2 + 2 * 3, {0x00, 0x00});
  return c;
}

BankCase NoPrograms() {
  BankCase c;
  c.vh = MakeVh(0, 0, 2);
  SetSize(c.vh, 0, 0, 1);
  SetSize(c.vh, 0, 1, 3);
  c.vb = Concat({SampleBytes(0, 8), SampleBytes(1, 24)});
  c.vhWritten = c.vh;
  return c;
}

BankCase NoSamples() {
  BankCase c;
  c.vh = MakeVh(1, 1, 0);
  SetSize(c.vh, 1, 0, 4);  // beyond sampleCount 0
  c.vhWritten = c.vh;
  Put(c.vhWritten, TableAt(1) + 2, {0x00, 0x00});
  return c;
}

TEST(SplitVab, WritesLowerCasePartsBesideInput) {
  TempDir dir;
  const BankCase c = ThreeProgramsWithEmptyMiddleSample();
  WriteBytes(dir / "town.VAB", Concat({c.vh, c.vb, Bytes(5, 0xAA)}));
  vab::VabBank bank;
  EXPECT_EQ(vab::SplitVab(bank, dir / "town.VAB"), 1);
  EXPECT_FALSE(bank.loaded);
  EXPECT_EQ(dir.Listing(), (Names{"town.VAB", "town.vb", "town.vh"}));
  EXPECT_EQ(ReadBytes(dir / "town.vh"), c.vhWritten);
  EXPECT_EQ(ReadBytes(dir / "town.vh").size(), 4128U);
  EXPECT_EQ(ReadBytes(dir / "town.vb"), c.vb);
}

TEST(SplitVab, ReplacesExistingParts) {
  TempDir dir;
  const BankCase c = NoPrograms();
  WriteBytes(dir / "a.vab", Concat({c.vh, c.vb}));
  WriteBytes(dir / "a.vh", Bytes(9000, 1));
  WriteBytes(dir / "a.vb", Bytes(3, 1));
  vab::VabBank bank;
  EXPECT_EQ(vab::SplitVab(bank, dir / "a.vab"), 1);
  EXPECT_EQ(ReadBytes(dir / "a.vh"), c.vhWritten);
  EXPECT_EQ(ReadBytes(dir / "a.vb"), c.vb);
}

TEST(SplitVab, UnreadableOrTruncatedVabCreatesNothing) {
  TempDir dir;
  vab::VabBank bank;
  core::TakeFailureReason();
  EXPECT_EQ(vab::SplitVab(bank, dir / "missing.vab"), 0);
  EXPECT_FALSE(core::TakeFailureReason().empty());
  EXPECT_TRUE(dir.Listing().empty());

  const BankCase c = NoPrograms();
  const Bytes whole = Concat({c.vh, c.vb});
  WriteBytes(dir / "cut.vab", Bytes(whole.begin(), whole.end() - 1));
  EXPECT_EQ(vab::SplitVab(bank, dir / "cut.vab"), 0);
  EXPECT_FALSE(bank.loaded);
  EXPECT_EQ(dir.Listing(), Names{"cut.vab"});

  // An output that cannot be put in place: a directory stands at the VB's name. The VH, already complete,
  // stays.
  WriteBytes(dir / "b.vab", whole);
  std::filesystem::create_directory(dir / "b.vb");
  EXPECT_EQ(vab::SplitVab(bank, dir / "b.vab"), 0);
  EXPECT_FALSE(bank.loaded);
  EXPECT_EQ(dir.Listing(), (Names{"b.vab", "b.vb", "b.vh", "cut.vab"}));
  EXPECT_EQ(ReadBytes(dir / "b.vh"), c.vhWritten);
}

TEST(SplitVab, BareNameWritesIntoWorkingDirectory) {
  TempDir dir;
  const BankCase c = NoPrograms();
  WriteBytes(dir / "bare.vab", Concat({c.vh, c.vb}));
  const std::filesystem::path previous = std::filesystem::current_path();
  std::filesystem::current_path(dir.path());
  vab::VabBank bank;
  const int result = vab::SplitVab(bank, "bare.vab");
  std::filesystem::current_path(previous);
  EXPECT_EQ(result, 1);
  EXPECT_EQ(dir.Listing(), (Names{"bare.vab", "bare.vb", "bare.vh"}));
}

TEST(CombineVab, SplitThenCombineGivesWrittenVab) {
  for (const BankCase& c : {ThreeProgramsWithEmptyMiddleSample(), NoPrograms(), NoSamples()}) {
    TempDir dir;
    WriteBytes(dir / "in.vab", Concat({c.vh, c.vb, Bytes(3, 0x5A)}));
    vab::VabBank bank;
    ASSERT_EQ(vab::SplitVab(bank, dir / "in.vab"), 1);
    EXPECT_EQ(vab::CombineVab(bank, dir / "out.vab", dir / "in.vh", dir / "in.vb"), 1);
    EXPECT_FALSE(bank.loaded);
    EXPECT_EQ(ReadBytes(dir / "out.vab"), Concat({c.vhWritten, c.vb}));

    // And the combined VAB splits into the same parts again.
    ASSERT_EQ(vab::SplitVab(bank, dir / "out.vab"), 1);
    EXPECT_EQ(ReadBytes(dir / "out.vh"), c.vhWritten);
    EXPECT_EQ(ReadBytes(dir / "out.vb"), c.vb);
  }
}

TEST(CombineVab, VhDecidesAndLongVbLosesTail) {
  TempDir dir;
  const BankCase c = ThreeProgramsWithEmptyMiddleSample();
  WriteBytes(dir / "x.vh", c.vh);
  WriteBytes(dir / "x.vb", Concat({c.vb, Bytes(100, 0x77)}));
  vab::VabBank bank;
  EXPECT_EQ(vab::CombineVab(bank, dir / "x.vab", dir / "x.vh", dir / "x.vb"), 1);
  const Bytes written = ReadBytes(dir / "x.vab");
  EXPECT_EQ(written.size(), 4128U + 56);
  EXPECT_EQ(written, Concat({c.vhWritten, c.vb}));
}

TEST(CombineVab, MissingOrShortPartsCreateNoVab) {
  TempDir dir;
  const BankCase c = ThreeProgramsWithEmptyMiddleSample();
  WriteBytes(dir / "x.vh", c.vh);
  WriteBytes(dir / "short.vb", Bytes(c.vb.begin(), c.vb.end() - 1));
  WriteBytes(dir / "x.vb", c.vb);
  WriteBytes(dir / "cut.vh", Bytes(c.vh.begin(), c.vh.end() - 1));
  vab::VabBank bank;

  EXPECT_EQ(vab::CombineVab(bank, dir / "o.vab", dir / "missing.vh", dir / "x.vb"), 0);
  EXPECT_EQ(vab::CombineVab(bank, dir / "o.vab", dir / "cut.vh", dir / "x.vb"), 0);
  EXPECT_EQ(vab::CombineVab(bank, dir / "o.vab", dir / "x.vh", dir / "missing.vb"), 0);
  EXPECT_EQ(vab::CombineVab(bank, dir / "o.vab", dir / "x.vh", dir / "short.vb"), 0);
  EXPECT_EQ(vab::CombineVab(bank, dir / "no-dir" / "o.vab", dir / "x.vh", dir / "x.vb"), 0);
  EXPECT_FALSE(bank.loaded);
  EXPECT_EQ(dir.Listing(), (Names{"cut.vh", "short.vb", "x.vb", "x.vh"}));

  // A VB that cannot be read fails even when the VH needs no sample bytes.
  WriteBytes(dir / "none.vh", NoSamples().vh);
  EXPECT_EQ(vab::CombineVab(bank, dir / "o.vab", dir / "none.vh", dir / "missing.vb"), 0);
  EXPECT_FALSE(std::filesystem::exists(dir / "o.vab"));
  WriteBytes(dir / "empty.vb", Bytes{});
  EXPECT_EQ(vab::CombineVab(bank, dir / "o.vab", dir / "none.vh", dir / "empty.vb"), 1);
  EXPECT_EQ(ReadBytes(dir / "o.vab"), NoSamples().vhWritten);
}

TEST(CombineVab, ExistingVabStaysWhenCombineFails) {
  TempDir dir;
  WriteBytes(dir / "o.vab", Bytes{4, 5, 6});
  vab::VabBank bank;
  EXPECT_EQ(vab::CombineVab(bank, dir / "o.vab", dir / "missing.vh", dir / "missing.vb"), 0);
  EXPECT_EQ(ReadBytes(dir / "o.vab"), (Bytes{4, 5, 6}));
}

TEST(SplitVabBytes, PartsAreTheWrittenVhAndTheSamplesAndJoinAgain) {
  for (const BankCase& c : {ThreeProgramsWithEmptyMiddleSample(), NoPrograms(), NoSamples()}) {
    const std::optional<vab::VabParts> parts = vab::SplitVabBytes(Concat({c.vh, c.vb, Bytes(3, 0x5A)}));
    ASSERT_TRUE(parts.has_value());
    EXPECT_EQ(parts->vh, c.vhWritten);
    EXPECT_EQ(parts->vb, c.vb);
    EXPECT_EQ(vab::CombineVabBytes(parts->vh, parts->vb), Concat({c.vhWritten, c.vb}));
    // The VH as read, with anything behind it, joins the same way.
    EXPECT_EQ(vab::CombineVabBytes(Concat({c.vh, Bytes(5, 0x11)}), Concat({c.vb, Bytes(7, 0x22)})),
              Concat({c.vhWritten, c.vb}));
  }
}

TEST(SplitVabBytes, RefusalsGiveNothingWithAReason) {
  const BankCase c = ThreeProgramsWithEmptyMiddleSample();
  core::TakeFailureReason();
  EXPECT_FALSE(vab::SplitVabBytes(Concat({c.vh, Bytes(c.vb.begin(), c.vb.end() - 1)})).has_value());
  EXPECT_NE(core::TakeFailureReason(), "");
  EXPECT_FALSE(vab::SplitVabBytes(Bytes(c.vh.begin(), c.vh.end() - 1)).has_value());
  EXPECT_FALSE(vab::SplitVabBytes({}).has_value());
  EXPECT_FALSE(vab::CombineVabBytes(c.vh, Bytes(c.vb.begin(), c.vb.end() - 1)).has_value());
  EXPECT_NE(core::TakeFailureReason(), "");
  EXPECT_FALSE(vab::CombineVabBytes(Bytes(c.vh.begin(), c.vh.end() - 1), c.vb).has_value());
  // A bank without samples joins with an empty VB.
  EXPECT_EQ(vab::CombineVabBytes(NoSamples().vh, {}), NoSamples().vhWritten);
}

}  // namespace
