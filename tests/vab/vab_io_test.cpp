#include "vab/vab_io.h"

#include <gtest/gtest.h>

#include "bank_bytes.h"
#include "core/failure.h"
#include "core/output_file.h"
#include "support/temp_dir.h"

namespace {

using namespace vab_testing;
using testing_support::ReadBytes;
using testing_support::TempDir;
using testing_support::WriteBytes;

// A VAB with one program and one 16-byte sample: 32 + 2048 + 512 + 512 + 16 = 3120 bytes.
Bytes SmallVab() {
  const Bytes header = {
      'p',  'B',  'A',  'V',   // format identifier
      0x07, 0x00, 0x00, 0x00,  // version 7
      0x00, 0x00, 0x00, 0x00,  // bank id
      0x30, 0x0C, 0x00, 0x00,  // total file size 3120
      0xEE, 0xEE,              // reserved
      0x01, 0x00,              // programCount 1
      0x01, 0x00,              // toneCount 1
      0x01, 0x00,              // sampleCount 1
      0x7F, 0x40, 0x00, 0x00,  // master volume, master pan, attributes
      0xFF, 0xFF, 0xFF, 0xFF,  // reserved
  };
  Bytes programs(2048, 0);
  Put(programs, 0, {0x01, 0x7F, 0x08, 0x00, 0x40});  // program 0: 1 tone, volume, priority, mode, pan
  Bytes tones(512, 0);
  Put(tones, 0, {0x08, 0x00, 0x7F, 0x40, 0x3C, 0x00, 0x00, 0x7F});  // priority .. center 60, fine 0, notes
  Put(tones, 16, {0xFF, 0x80, 0xC0, 0x5F});                         // envelope settings
  Put(tones, 20, {0x00, 0x00, 0x01, 0x00});                         // program 0, sample number 1
  Bytes table(512, 0);
  Put(table, 2, {0x02, 0x00});  // sample 0: 2 units = 16 bytes
  const Bytes sample = {0x0C, 0x00, 0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC, 0xDE, 0xF0, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66};
  return Concat({header, programs, tones, table, sample});
}

TEST(VabFiles, SmallVabLoadsAndWritesBackByteForByte) {
  TempDir dir;
  const Bytes vab = SmallVab();
  ASSERT_EQ(vab.size(), 3120U);
  WriteBytes(dir / "small.vab", vab);

  vab::VabBank bank;
  EXPECT_EQ(vab::LoadVab(bank, dir / "small.vab"), 3120U);
  EXPECT_EQ(bank.samples[0].byteSize, 32U);
  EXPECT_EQ(bank.samples[0].sampleRate, 44100U);

  {
    auto out = core::OutputFile::Create(dir / "parts.bin");
    ASSERT_TRUE(out.has_value());
    EXPECT_EQ(vab::WriteVh(out->stream(), bank), 3104U);
    EXPECT_EQ(vab::WriteVb(out->stream(), bank, 3104), 16U);
    EXPECT_TRUE(out->Commit());
  }
  EXPECT_EQ(ReadBytes(dir / "parts.bin"), vab);

  EXPECT_EQ(vab::WriteVab(bank, dir / "copy.vab"), 3120U);
  EXPECT_EQ(ReadBytes(dir / "copy.vab"), vab);
  EXPECT_EQ(vab::BuildVhImage(bank), Bytes(vab.begin(), vab.begin() + 3104));
  EXPECT_EQ(vab::BuildVbImage(bank), Bytes(vab.begin() + 3104, vab.end()));
}

TEST(VabFiles, WriteBackZeroesUnusedTableEntriesAndDropsTail) {
  TempDir dir;
  Bytes vh = MakeVh(2, 2, 3);
  SetTone(vh, 1, 4, 64, 3);
  Put(vh, TableAt(2), {0x99, 0x88});  // entry 0 holds garbage
  SetSize(vh, 2, 0, 1);               // 8 bytes
  SetSize(vh, 2, 1, 0);               // empty
  SetSize(vh, 2, 2, 2);               // 16 bytes
  SetSize(vh, 2, 3, 7);               // beyond sampleCount
  SetSize(vh, 2, 254, 0xFFFF);        // last entry, beyond sampleCount
  const Bytes vb = Concat({SampleBytes(0, 8), SampleBytes(2, 16)});
  WriteBytes(dir / "in.vab", Concat({vh, vb, Bytes(40, 0xCC)}));

  vab::VabBank bank;
  EXPECT_EQ(vab::LoadVab(bank, dir / "in.vab"), 3616U + 24);
  EXPECT_EQ(vab::WriteVab(bank, dir / "out.vab"), 3616U + 24);

  Bytes expected = Concat({vh, vb});
  Put(expected, TableAt(2), {0x00, 0x00});
  Put(expected, TableAt(2) + 2 + 2 * 3, {0x00, 0x00});
  Put(expected, TableAt(2) + 2 + 2 * 254, {0x00, 0x00});
  const Bytes written = ReadBytes(dir / "out.vab");
  EXPECT_EQ(written, expected);
  // The header's file-size field is carried as read, not recomputed.
  EXPECT_EQ(Bytes(written.begin() + 12, written.begin() + 16), (Bytes{0x44, 0x33, 0x22, 0x11}));
  EXPECT_EQ(dir.Listing(), (std::vector<std::string>{"in.vab", "out.vab"}));
}

TEST(VabFiles, SeparateVhAndVbLoadLikeTheVab) {
  TempDir dir;
  Bytes vh = MakeVh(3, 3, 2);
  SetTone(vh, 2, 0, 252, 2);
  SetSize(vh, 3, 0, 4);
  SetSize(vh, 3, 1, 2);
  const Bytes vb = Concat({SampleBytes(0, 32), SampleBytes(1, 16)});
  WriteBytes(dir / "a.vab", Concat({vh, vb}));
  WriteBytes(dir / "a.vh", vh);
  WriteBytes(dir / "a.vb", vb);

  vab::VabBank whole;
  vab::VabBank parts;
  EXPECT_EQ(vab::LoadVab(whole, dir / "a.vab"), 4128U + 48);
  EXPECT_EQ(vab::LoadVh(parts, dir / "a.vh"), 4128U);
  EXPECT_EQ(vab::LoadVb(parts, dir / "a.vb"), 48U);
  EXPECT_EQ(vab::BuildVhImage(parts)->size(), 4128U);
  EXPECT_EQ(vab::BuildVhImage(parts), vab::BuildVhImage(whole));
  EXPECT_EQ(vab::BuildVbImage(parts), vb);
  EXPECT_EQ(vab::BuildVbImage(whole), vb);
  EXPECT_EQ(parts.samples[1].sampleRate, 46640U);
  EXPECT_EQ(whole.samples[1].sampleRate, 46640U);
}

TEST(VabFiles, BankWithoutSamplesHasEmptyVb) {
  TempDir dir;
  WriteBytes(dir / "none.vab", MakeVh(1, 1, 0));
  vab::VabBank bank;
  EXPECT_EQ(vab::LoadVab(bank, dir / "none.vab"), 3104U);
  EXPECT_EQ(vab::BuildVbImage(bank), Bytes{});
  EXPECT_EQ(vab::WriteVab(bank, dir / "out.vab"), 3104U);
  EXPECT_EQ(ReadBytes(dir / "out.vab").size(), 3104U);

  // A VB file for a bank without samples: nothing to take, and that is a success.
  WriteBytes(dir / "any.vb", Bytes(10, 1));
  EXPECT_EQ(vab::LoadVh(bank, dir / "none.vab"), 3104U);
  EXPECT_EQ(vab::TryLoadVb(bank, dir / "any.vb"), std::optional<std::size_t>(0));
  EXPECT_EQ(vab::TryLoadVb(bank, dir / "missing.vb"), std::nullopt);
}

TEST(VabFiles, UnreadableFilesChangeNothing) {
  TempDir dir;
  WriteBytes(dir / "small.vab", SmallVab());
  vab::VabBank bank;
  ASSERT_EQ(vab::LoadVab(bank, dir / "small.vab"), 3120U);

  core::TakeFailureReason();
  EXPECT_EQ(vab::LoadVab(bank, dir / "missing.vab"), 0U);
  EXPECT_NE(core::TakeFailureReason().find("No such file"), std::string::npos);
  EXPECT_TRUE(bank.loaded) << "a VAB that cannot be opened leaves the bank as it was";
  EXPECT_EQ(vab::LoadVh(bank, dir / "missing.vh"), 0U);
  EXPECT_TRUE(bank.loaded);
  // A directory is no bank, whatever size its stream claims.
  std::filesystem::create_directory(dir / "folder.vab");
  EXPECT_EQ(vab::LoadVab(bank, dir / "folder.vab"), 0U);
  EXPECT_EQ(vab::LoadVh(bank, dir / "folder.vab"), 0U);
  EXPECT_TRUE(bank.loaded);
  EXPECT_EQ(bank.samples[0].byteSize, 32U);
}

TEST(VabFiles, VbLoadNeedsVhAndEnoughBytes) {
  TempDir dir;
  const Bytes vab = SmallVab();
  WriteBytes(dir / "s.vh", Bytes(vab.begin(), vab.begin() + 3104));
  WriteBytes(dir / "short.vb", Bytes(15, 0x22));
  WriteBytes(dir / "long.vb", Bytes(17, 0x22));

  vab::VabBank bank;
  EXPECT_EQ(vab::LoadVb(bank, dir / "long.vb"), 0U) << "no VH loaded";
  ASSERT_EQ(vab::LoadVh(bank, dir / "s.vh"), 3104U);
  EXPECT_EQ(vab::LoadVb(bank, dir / "missing.vb"), 0U);
  EXPECT_TRUE(bank.loaded) << "a VB that cannot be opened leaves the VH";
  EXPECT_EQ(vab::LoadVb(bank, dir / "short.vb"), 0U);
  EXPECT_FALSE(bank.loaded) << "a short VB empties the bank";

  ASSERT_EQ(vab::LoadVh(bank, dir / "s.vh"), 3104U);
  EXPECT_EQ(vab::LoadVb(bank, dir / "long.vb"), 16U);
  EXPECT_EQ(bank.samples[0].data, Concat({Bytes(16, 0x22), END_BLOCK}));
}

TEST(VabFiles, BankWithoutItsVbWritesNoBody) {
  TempDir dir;
  const Bytes vab = SmallVab();
  WriteBytes(dir / "s.vh", Bytes(vab.begin(), vab.begin() + 3104));
  vab::VabBank bank;
  ASSERT_EQ(vab::LoadVh(bank, dir / "s.vh"), 3104U);

  EXPECT_EQ(vab::BuildVhImage(bank), Bytes(vab.begin(), vab.begin() + 3104));
  EXPECT_EQ(vab::BuildVbImage(bank), std::nullopt);
  EXPECT_EQ(vab::WriteVab(bank, dir / "out.vab"), 0U);
  {
    auto out = core::OutputFile::Create(dir / "body.vb");
    ASSERT_TRUE(out.has_value());
    EXPECT_EQ(vab::WriteVb(out->stream(), bank, 0), 0U);
  }
  EXPECT_EQ(dir.Listing(), std::vector<std::string>{"s.vh"});
}

TEST(VabFiles, EmptyBankWritesNothing) {
  TempDir dir;
  vab::VabBank bank;
  EXPECT_EQ(vab::WriteVab(bank, dir / "out.vab"), 0U);
  EXPECT_EQ(vab::BuildVhImage(bank), std::nullopt);
  EXPECT_EQ(vab::BuildVbImage(bank), std::nullopt);
  {
    auto out = core::OutputFile::Create(dir / "out.vh");
    ASSERT_TRUE(out.has_value());
    EXPECT_EQ(vab::WriteVh(out->stream(), bank), 0U);
    EXPECT_EQ(vab::WriteVb(out->stream(), bank, 0), 0U);
  }
  EXPECT_TRUE(dir.Listing().empty());
}

TEST(VabFiles, WriteVhWithoutFileReleasesBank) {
  TempDir dir;
  WriteBytes(dir / "small.vab", SmallVab());
  vab::VabBank bank;
  ASSERT_EQ(vab::LoadVab(bank, dir / "small.vab"), 3120U);
  EXPECT_EQ(vab::WriteVh(nullptr, bank), 0U);
  EXPECT_FALSE(bank.loaded);
  EXPECT_EQ(vab::WriteVb(nullptr, bank, 0), 0U);
}

TEST(VabFiles, WriteVabReplacesExistingFileOrLeavesItAlone) {
  TempDir dir;
  WriteBytes(dir / "small.vab", SmallVab());
  WriteBytes(dir / "out.vab", Bytes{1, 2, 3});
  vab::VabBank bank;
  ASSERT_EQ(vab::LoadVab(bank, dir / "small.vab"), 3120U);
  EXPECT_EQ(vab::WriteVab(bank, dir / "out.vab"), 3120U);
  EXPECT_EQ(ReadBytes(dir / "out.vab"), SmallVab());

  EXPECT_EQ(vab::WriteVab(bank, dir / "no-such-dir" / "out.vab"), 0U);
  vab::ReleaseBank(bank);
  EXPECT_EQ(vab::WriteVab(bank, dir / "out.vab"), 0U);
  EXPECT_EQ(ReadBytes(dir / "out.vab"), SmallVab()) << "a failed write leaves the old file";
  EXPECT_EQ(dir.Listing(), (std::vector<std::string>{"out.vab", "small.vab"}));
}

}  // namespace
