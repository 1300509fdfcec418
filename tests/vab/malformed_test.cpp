// Truncated and corrupted banks: every load refuses what it cannot hold, nothing crashes, and a command
// whose input does not load writes no output at all.
#include <gtest/gtest.h>

#include <cstdio>
#include <random>

#include "bank_bytes.h"
#include "support/temp_dir.h"
#include "vab/split_combine.h"
#include "vab/vab_io.h"
#include "vab/vag_extract.h"

namespace {

using namespace vab_testing;
using testing_support::TempDir;
using testing_support::WriteBytes;
using Names = std::vector<std::string>;

// One program, three samples of 16, 0 and 8 bytes: VH 3104 bytes, VB 24 bytes.
Bytes SmallVh() {
  Bytes vh = MakeVh(1, 1, 3);
  SetTone(vh, 0, 0, 64, 1);
  SetTone(vh, 0, 1, 252, 3);
  SetSize(vh, 1, 0, 2);
  SetSize(vh, 1, 1, 0);
  SetSize(vh, 1, 2, 1);
  return vh;
}
Bytes SmallVb() { return Concat({SampleBytes(0, 16), SampleBytes(2, 8)}); }

unsigned U16At(const Bytes& bytes, std::size_t offset) { return bytes[offset] | (bytes[offset + 1] << 8); }

// What a well-behaved loader must make of a bank's bytes, worked out from the layout: the VH size, the sum
// of the sample sizes, and whether the VH can be held at all.
struct Expected {
  bool vhLoads = false;
  std::size_t vhSize = 0;
  std::size_t vbSize = 0;
  unsigned samples = 0;
};

Expected JudgeVh(const Bytes& bytes) {
  Expected e;
  if (bytes.size() < 2592) return e;
  const unsigned programs = U16At(bytes, 0x12);
  e.samples = U16At(bytes, 0x16);
  if (programs > 128 || e.samples > 255) return e;
  e.vhSize = 2592 + 512 * programs;
  if (bytes.size() < e.vhSize) return e;
  for (unsigned i = 0; i < e.samples; ++i) e.vbSize += 8 * U16At(bytes, e.vhSize - 512 + 2 + 2 * i);
  e.vhLoads = true;
  return e;
}

TEST(MalformedBanks, EveryTruncationOfAVabIsRefusedWithoutOutput) {
  TempDir dir;
  const Bytes whole = Concat({SmallVh(), SmallVb()});
  ASSERT_EQ(whole.size(), 3128U);
  vab::VabBank bank;
  for (std::size_t length = 0; length < whole.size(); ++length) {
    const Bytes cut(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(length));
    WriteBytes(dir / "t.vab", cut);
    ASSERT_EQ(vab::LoadVab(bank, dir / "t.vab"), 0U) << length;
    ASSERT_FALSE(bank.loaded) << length;
    ASSERT_EQ(vab::SplitVab(bank, dir / "t.vab"), 0) << length;
    vab::ExtractAllVags(bank, dir / "t.vab");
    ASSERT_EQ(dir.Listing(), Names{"t.vab"}) << length;
  }
  WriteBytes(dir / "t.vab", whole);
  EXPECT_EQ(vab::LoadVab(bank, dir / "t.vab"), 3128U);
}

TEST(MalformedBanks, EveryTruncationOfVhOrVbIsRefusedByCombine) {
  TempDir dir;
  const Bytes vh = SmallVh();
  const Bytes vb = SmallVb();
  WriteBytes(dir / "good.vh", vh);
  WriteBytes(dir / "good.vb", vb);
  vab::VabBank bank;
  for (std::size_t length = 0; length < vh.size(); ++length) {
    WriteBytes(dir / "t.vh", Bytes(vh.begin(), vh.begin() + static_cast<std::ptrdiff_t>(length)));
    ASSERT_EQ(vab::LoadVh(bank, dir / "t.vh"), 0U) << length;
    ASSERT_EQ(vab::BuildVhImage(bank), std::nullopt) << length;
    ASSERT_EQ(vab::CombineVab(bank, dir / "out.vab", dir / "t.vh", dir / "good.vb"), 0) << length;
    ASSERT_FALSE(std::filesystem::exists(dir / "out.vab")) << length;
  }
  for (std::size_t length = 0; length < vb.size(); ++length) {
    WriteBytes(dir / "t.vb", Bytes(vb.begin(), vb.begin() + static_cast<std::ptrdiff_t>(length)));
    ASSERT_EQ(vab::LoadVh(bank, dir / "good.vh"), 3104U);
    ASSERT_EQ(vab::LoadVb(bank, dir / "t.vb"), 0U) << length;
    ASSERT_EQ(vab::BuildVbImage(bank), std::nullopt) << length;
    ASSERT_EQ(vab::CombineVab(bank, dir / "out.vab", dir / "good.vh", dir / "t.vb"), 0) << length;
    ASSERT_FALSE(std::filesystem::exists(dir / "out.vab")) << length;
  }
  EXPECT_EQ(dir.Listing(), (Names{"good.vb", "good.vh", "t.vb", "t.vh"}));
}

TEST(MalformedBanks, RandomByteFlipsLoadWholeOrNotAtAll) {
  TempDir dir;
  const Bytes original = Concat({SmallVh(), SmallVb()});
  const Bytes vb = SmallVb();
  WriteBytes(dir / "good.vb", vb);
  std::mt19937 random(20240611);
  std::uniform_int_distribution<std::size_t> anywhere(0, original.size() - 1);
  std::uniform_int_distribution<std::size_t> counts(0x12, 0x17);           // the three counts
  std::uniform_int_distribution<std::size_t> table(3104 - 512, 3104 - 1);  // the size table
  std::uniform_int_distribution<int> value(0, 255);
  std::uniform_int_distribution<int> where(0, 2);
  vab::VabBank bank;
  int loaded = 0;
  int refused = 0;
  for (int round = 0; round < 600; ++round) {
    Bytes vab = original;
    for (int flip = 0; flip < 3; ++flip) {
      const int region = where(random);
      const std::size_t at = region == 0 ? anywhere(random) : region == 1 ? counts(random) : table(random);
      vab[at] = static_cast<std::uint8_t>(value(random));
    }
    const Expected expected = JudgeVh(vab);
    const bool vabLoads = expected.vhLoads && vab.size() >= expected.vhSize + expected.vbSize;
    const Bytes vh(vab.begin(), vab.begin() + 3104);
    const Expected vhExpected = JudgeVh(vh);
    const bool combines = vhExpected.vhLoads && vb.size() >= vhExpected.vbSize;
    WriteBytes(dir / "f.vab", vab);
    WriteBytes(dir / "in.vh", vh);

    const std::size_t got = vab::LoadVab(bank, dir / "f.vab");
    ASSERT_EQ(got, vabLoads ? expected.vhSize + expected.vbSize : 0U) << round;
    ASSERT_EQ(vab::SplitVab(bank, dir / "f.vab"), vabLoads ? 1 : 0) << round;
    vab::ExtractAllVags(bank, dir / "f.vab");
    ASSERT_EQ(vab::CombineVab(bank, dir / "c.vab", dir / "in.vh", dir / "good.vb"), combines ? 1 : 0) << round;

    Names names = {"f.vab", "good.vb", "in.vh"};
    if (combines) {
      names.push_back("c.vab");
      ASSERT_EQ(std::filesystem::file_size(dir / "c.vab"), vhExpected.vhSize + vhExpected.vbSize) << round;
    }
    if (vabLoads) {
      ++loaded;
      ASSERT_EQ(std::filesystem::file_size(dir / "f.vh"), expected.vhSize) << round;
      ASSERT_EQ(std::filesystem::file_size(dir / "f.vb"), expected.vbSize) << round;
      names.push_back("f.vh");
      names.push_back("f.vb");
      for (unsigned i = 0; i < expected.samples; ++i) {
        char name[16];
        std::snprintf(name, sizeof name, "f%02u.vag", i);
        names.emplace_back(name);
      }
    } else {
      ++refused;
    }
    std::sort(names.begin(), names.end());
    ASSERT_EQ(dir.Listing(), names) << round;
    for (const std::string& name : names) {
      if (name != "good.vb") std::filesystem::remove(dir / name);
    }
  }
  // The flips hit both outcomes often enough to mean something.
  EXPECT_GT(loaded, 50);
  EXPECT_GT(refused, 50);
}

}  // namespace
