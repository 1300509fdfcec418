#include "vab/vag_extract.h"

#include <gtest/gtest.h>

#include "bank_bytes.h"
#include "core/failure.h"
#include "support/temp_dir.h"
#include "vab/vab_io.h"

namespace {

using namespace vab_testing;
using testing_support::ReadBytes;
using testing_support::TempDir;
using testing_support::WriteBytes;
using Names = std::vector<std::string>;

// One program whose tone 0 plays sample 1 with fine tuning 0; one sample of two units (16 bytes).
Bytes OneSampleVab() {
  Bytes vh = MakeVh(1, 1, 1);
  SetTone(vh, 0, 0, 0, 1);
  SetSize(vh, 1, 0, 2);
  return Concat({vh, SampleBytes(0, 16)});
}

TEST(ExtractAllVags, OneSampleGivesTheNinetySixByteFile) {
  TempDir dir;
  WriteBytes(dir / "bank.vab", OneSampleVab());
  vab::VabBank bank;
  vab::ExtractAllVags(bank, dir / "bank.vab");
  EXPECT_FALSE(bank.loaded);
  EXPECT_TRUE(bank.vagHeader.empty());
  EXPECT_EQ(dir.Listing(), (Names{"bank.vab", "bank00.vag"}));

  const Bytes expected = {
      0x56, 0x41, 0x47, 0x70,                                      // "VAGp"
      0x00, 0x00, 0x00, 0x20,                                      // version 32, big-endian
      0x00, 0x00, 0x00, 0x00,                                      // zero
      0x00, 0x00, 0x00, 0x20,                                      // data size 32: 16 sample bytes + end block
      0x00, 0x00, 0xAC, 0x44,                                      // sample rate 44100
      0,    0,    0,    0,    0,    0,    0,    0,    0, 0, 0, 0,  // zero
      'b',  'a',  'n',  'k',  '0',  '0',  0,    0,    0, 0, 0, 0,  // name, zero-padded to 16
      0,    0,    0,    0,                                         //
      0,    0,    0,    0,    0,    0,    0,    0,    0, 0, 0, 0, 0, 0, 0, 0,  // zero
      0x10, 0x11, 0x12, 0x13, 0x14, 0x15, 0x16, 0x17,                          // the sample as the VB holds it
      0x18, 0x19, 0x1A, 0x1B, 0x1C, 0x1D, 0x1E, 0x1F,                          //
      0x00, 0x07, 0x77, 0x77, 0x77, 0x77, 0x77, 0x77,                          // end block
      0x77, 0x77, 0x77, 0x77, 0x77, 0x77, 0x77, 0x77,                          //
  };
  ASSERT_EQ(expected.size(), 96U);
  EXPECT_EQ(ReadBytes(dir / "bank00.vag"), expected);
}

TEST(ExtractAllVags, SizesAndRatesPerSample) {
  TempDir dir;
  Bytes vh = MakeVh(2, 2, 4);
  SetTone(vh, 0, 0, 4, 0);    // tone 0 of program 0 plays nothing, fine tuning 4
  SetTone(vh, 1, 3, 252, 1);  // sample 0: fine tuning 124 (the top bit is not read), 46640 Hz
  SetTone(vh, 0, 5, 64, 3);   // sample 2: 45391 Hz
  SetSize(vh, 2, 0, 5);       // 40 bytes
  SetSize(vh, 2, 1, 0);       // empty
  SetSize(vh, 2, 2, 1);       // 8 bytes
  SetSize(vh, 2, 3, 2);       // 16 bytes, named by no tone: tone 0 of program 0
  WriteBytes(dir / "s.vab", Concat({vh, SampleBytes(0, 40), SampleBytes(2, 8), SampleBytes(3, 16)}));
  vab::VabBank bank;
  vab::ExtractAllVags(bank, dir / "s.vab");
  EXPECT_EQ(dir.Listing(), (Names{"s.vab", "s00.vag", "s01.vag", "s02.vag", "s03.vag"}));

  const Bytes s0 = ReadBytes(dir / "s00.vag");
  ASSERT_EQ(s0.size(), 64U + 40 + 16);
  EXPECT_EQ(Bytes(s0.begin() + 12, s0.begin() + 20), (Bytes{0x00, 0x00, 0x00, 0x38, 0x00, 0x00, 0xB6, 0x30}));
  EXPECT_EQ(Bytes(s0.begin() + 64, s0.end()), Concat({SampleBytes(0, 40), END_BLOCK}));

  // The empty sample: header only, data size and rate zero.
  const Bytes s1 = ReadBytes(dir / "s01.vag");
  ASSERT_EQ(s1.size(), 64U);
  EXPECT_EQ(Bytes(s1.begin() + 12, s1.begin() + 20), Bytes(8, 0));
  EXPECT_EQ(Bytes(s1.begin() + 32, s1.begin() + 48), (Bytes{'s', '0', '1', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));

  const Bytes s2 = ReadBytes(dir / "s02.vag");
  ASSERT_EQ(s2.size(), 64U + 8 + 16);
  EXPECT_EQ(Bytes(s2.begin() + 12, s2.begin() + 20), (Bytes{0x00, 0x00, 0x00, 0x18, 0x00, 0x00, 0xB1, 0x4F}));

  // Fine tuning 4: 44175 Hz.
  const Bytes s3 = ReadBytes(dir / "s03.vag");
  ASSERT_EQ(s3.size(), 64U + 16 + 16);
  EXPECT_EQ(Bytes(s3.begin() + 12, s3.begin() + 20), (Bytes{0x00, 0x00, 0x00, 0x20, 0x00, 0x00, 0xAC, 0x8F}));
}

TEST(ExtractAllVags, NumbersRunFromTwoToThreeDigits) {
  TempDir dir;
  Bytes vh = MakeVh(0, 0, 102);
  for (unsigned i = 0; i < 102; ++i) SetSize(vh, 0, i, i % 3);
  Bytes vb;
  for (unsigned i = 0; i < 102; ++i) vb = Concat({vb, SampleBytes(i, 8 * (i % 3))});
  WriteBytes(dir / "big.vab", Concat({vh, vb}));
  vab::VabBank bank;
  vab::ExtractAllVags(bank, dir / "big.vab");

  Names expected = {"big.vab"};
  for (int i = 0; i < 102; ++i)
    expected.push_back(i < 10 ? "big0" + std::to_string(i) + ".vag" : "big" + std::to_string(i) + ".vag");
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(dir.Listing(), expected);
  EXPECT_EQ(ReadBytes(dir / "big101.vag").size(), 64U + 16 + 16);
  const Bytes last = ReadBytes(dir / "big101.vag");
  EXPECT_EQ(Bytes(last.begin() + 32, last.begin() + 40), (Bytes{'b', 'i', 'g', '1', '0', '1', 0, 0}));
}

TEST(ExtractAllVags, NothingForNoSamplesOrUnreadableVab) {
  TempDir dir;
  WriteBytes(dir / "none.vab", MakeVh(1, 1, 0));
  vab::VabBank bank;
  vab::ExtractAllVags(bank, dir / "none.vab");
  vab::ExtractAllVags(bank, dir / "missing.vab");
  const Bytes whole = OneSampleVab();
  WriteBytes(dir / "cut.vab", Bytes(whole.begin(), whole.end() - 1));
  core::TakeFailureReason();
  vab::ExtractAllVags(bank, dir / "cut.vab");
  EXPECT_NE(core::TakeFailureReason().find("truncated"), std::string::npos);
  EXPECT_FALSE(bank.loaded);
  EXPECT_EQ(dir.Listing(), (Names{"cut.vab", "none.vab"}));
}

TEST(ExtractAllVags, OneUnwritableSampleDoesNotStopTheOthers) {
  TempDir dir;
  Bytes vh = MakeVh(0, 0, 3);
  SetSize(vh, 0, 0, 1);
  SetSize(vh, 0, 1, 1);
  SetSize(vh, 0, 2, 1);
  WriteBytes(dir / "x.vab", Concat({vh, Bytes(24, 0x01)}));
  std::filesystem::create_directory(dir / "x01.vag");
  vab::VabBank bank;
  core::TakeFailureReason();
  vab::ExtractAllVags(bank, dir / "x.vab");
  EXPECT_EQ(dir.Listing(), (Names{"x.vab", "x00.vag", "x01.vag", "x02.vag"}));
  EXPECT_TRUE(std::filesystem::is_directory(dir / "x01.vag"));
  EXPECT_EQ(ReadBytes(dir / "x02.vag").size(), 64U + 8 + 16);
  EXPECT_NE(core::TakeFailureReason().find("x01.vag"), std::string::npos);
}

TEST(ExtractVag, NameFieldTakesSixteenBytesAtMost) {
  TempDir dir;
  WriteBytes(dir / "one.vab", OneSampleVab());
  vab::VabBank bank;
  ASSERT_EQ(vab::LoadVab(bank, dir / "one.vab"), 3120U);

  EXPECT_EQ(vab::ExtractVag(bank, dir / "abcdefghijklmnop.vag", 0), 1);
  Bytes vag = ReadBytes(dir / "abcdefghijklmnop.vag");
  EXPECT_EQ(Bytes(vag.begin() + 32, vag.begin() + 49),
            (Bytes{'a', 'b', 'c', 'd', 'e', 'f', 'g', 'h', 'i', 'j', 'k', 'l', 'm', 'n', 'o', 'p', 0}));

  EXPECT_EQ(vab::ExtractVag(bank, dir / "abcdefghijklmnopqrstu.vag", 0), 1);
  vag = ReadBytes(dir / "abcdefghijklmnopqrstu.vag");
  EXPECT_EQ(
      Bytes(vag.begin() + 32, vag.begin() + 64),
      Concat({Bytes{'a', 'b', 'c', 'd', 'e', 'f', 'g', 'h', 'i', 'j', 'k', 'l', 'm', 'n', 'o', 'p'}, Bytes(16, 0)}));
  EXPECT_EQ(vag.size(), 96U);
  EXPECT_TRUE(bank.loaded);
  EXPECT_TRUE(bank.vagHeader.empty());
}

TEST(MakeVagBytes, GivesTheFileInMemoryOrNothing) {
  Bytes vh = MakeVh(1, 1, 2);
  SetTone(vh, 0, 0, 127, 2);  // sample 1: 46705 Hz
  SetSize(vh, 1, 0, 1);
  SetSize(vh, 1, 1, 2);
  vab::VabBank bank;
  EXPECT_FALSE(vab::MakeVagBytes(bank, 0, "x").has_value()) << "bank not loaded";
  ASSERT_EQ(vab::ParseVh(bank, vh), 3104U);
  EXPECT_FALSE(vab::MakeVagBytes(bank, 0, "x").has_value()) << "no VB yet";
  ASSERT_EQ(vab::ParseVb(bank, Concat({SampleBytes(0, 8), SampleBytes(1, 16)})), 24U);
  EXPECT_FALSE(vab::MakeVagBytes(bank, 2, "x").has_value());

  const auto vag = vab::MakeVagBytes(bank, 1, "seventeen-chars-x");  // cut to 16
  ASSERT_TRUE(vag.has_value());
  const Bytes header = {
      'V',  'A',  'G',  'p',  0x00, 0x00, 0x00, 0x20, 0,   0,   0,   0,  // magic, version, zero
      0x00, 0x00, 0x00, 0x20, 0x00, 0x00, 0xB6, 0x71,                    // data size 32, rate 46705
      0,    0,    0,    0,    0,    0,    0,    0,    0,   0,   0,   0,  // zero
      's',  'e',  'v',  'e',  'n',  't',  'e',  'e',  'n', '-', 'c', 'h', 'a', 'r', 's', '-',
  };
  EXPECT_EQ(*vag, Concat({header, Bytes(16, 0), SampleBytes(1, 16), END_BLOCK}));
}

TEST(ExtractVag, RefusesWhatItCannotWrite) {
  TempDir dir;
  vab::VabBank bank;
  EXPECT_EQ(vab::ExtractVag(bank, dir / "a.vag", 0), 0) << "bank not loaded";

  WriteBytes(dir / "one.vab", OneSampleVab());
  ASSERT_EQ(vab::LoadVab(bank, dir / "one.vab"), 3120U);
  EXPECT_EQ(vab::ExtractVag(bank, dir / "a.vag", 1), 0) << "only one sample";
  EXPECT_EQ(vab::ExtractVag(bank, dir / "a.vag", -1), 0);
  EXPECT_EQ(vab::ExtractVag(bank, dir / "no-dir" / "a.vag", 0), 0);
  EXPECT_TRUE(bank.vagHeader.empty());

  // A bank holding only its VH has no sample data to copy.
  const Bytes whole = OneSampleVab();
  WriteBytes(dir / "one.vh", Bytes(whole.begin(), whole.begin() + 3104));
  ASSERT_EQ(vab::LoadVh(bank, dir / "one.vh"), 3104U);
  EXPECT_EQ(vab::ExtractVag(bank, dir / "a.vag", 0), 0);
  EXPECT_EQ(dir.Listing(), (Names{"one.vab", "one.vh"}));
}

}  // namespace
