// Placing sequence and sound-bank files into the builder's RAM image.

#include "psf/placement.h"

#include <gtest/gtest.h>

#include "core/failure.h"
#include "psf/psf_builder.h"
#include "psf_test_support.h"
#include "support/temp_dir.h"

namespace {

using psf_testing::MakeVh;
using psf_testing::Ramp;
using testing_support::TempDir;
using testing_support::WriteBytes;

std::vector<std::uint8_t> ImageBytes(const psf::PsfBuilder& builder, std::uint32_t address, std::size_t size) {
  const auto bytes = psf::RamBytes(builder.image, address, size);
  return bytes ? std::vector<std::uint8_t>(bytes->begin(), bytes->end()) : std::vector<std::uint8_t>{};
}

bool AllZero(const psf::PsfBuilder& builder, std::uint32_t address, std::size_t size) {
  const auto bytes = ImageBytes(builder, address, size);
  return bytes.size() == size && std::all_of(bytes.begin(), bytes.end(), [](std::uint8_t b) { return b == 0; });
}

class Placement : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(psf::LoadBuiltinDriver(builder)); }
  TempDir dir;
  psf::PsfBuilder builder;
};

TEST_F(Placement, LongSequenceRunsIntoTheHeaderRegionUntilAHeaderIsPlaced) {
  const auto sequence = Ramp(300 * 1024, 3);
  WriteBytes(dir / "long.seq", sequence);
  ASSERT_TRUE(psf::PlaceSequenceFile(builder, dir / "long.seq"));
  EXPECT_EQ(ImageBytes(builder, 0x800A0000, sequence.size()), sequence);
  EXPECT_EQ(ImageBytes(builder, 0x800E0000, 4), (std::vector<std::uint8_t>{3, 4, 5, 6}));  // byte 256 KiB of the file
  EXPECT_TRUE(AllZero(builder, 0x800EB000, 0x1000));                                       // past the 44 KiB

  const auto vh = MakeVh(1, {2});
  WriteBytes(dir / "bank.vh", vh);
  ASSERT_TRUE(psf::PlaceHeaderFile(builder, dir / "bank.vh"));
  EXPECT_EQ(ImageBytes(builder, 0x800E0000, vh.size()), vh);
  EXPECT_TRUE(AllZero(builder, 0x800E0000 + static_cast<std::uint32_t>(vh.size()), 0x800EB000 - 0x800E0000));
  EXPECT_EQ(ImageBytes(builder, 0x800DFFFF, 1), std::vector<std::uint8_t>{static_cast<std::uint8_t>(3 + 0x3FFFF)});
}

TEST_F(Placement, ShortSequenceClearsWhatAnEarlierOneLeft) {
  WriteBytes(dir / "a.seq", Ramp(1000, 1));
  WriteBytes(dir / "b.seq", {0x70, 0x51, 0x45, 0x53});
  ASSERT_TRUE(psf::PlaceSequenceFile(builder, dir / "a.seq"));
  ASSERT_TRUE(psf::PlaceSequenceFile(builder, dir / "b.seq"));
  EXPECT_EQ(ImageBytes(builder, 0x800A0000, 4), (std::vector<std::uint8_t>{0x70, 0x51, 0x45, 0x53}));
  EXPECT_TRUE(AllZero(builder, 0x800A0004, 0x40000 - 4));
}

TEST_F(Placement, BodyWithoutHeaderChangesNothing) {
  WriteBytes(dir / "bank.vb", Ramp(64, 9));
  const std::vector<std::uint8_t> before = builder.image.ram;
  EXPECT_FALSE(psf::PlaceBodyFile(builder, dir / "bank.vb"));
  EXPECT_EQ(core::TakeFailureReason(), "no VH placed before the VB");
  EXPECT_TRUE(builder.image.ram == before);
}

TEST_F(Placement, BodyIsSerialisedFromTheLastHeaderPlaced) {
  WriteBytes(dir / "first.vh", MakeVh(1, {2}));   // one sample of 16 bytes
  WriteBytes(dir / "second.vh", MakeVh(2, {3}));  // one sample of 24 bytes
  const auto vb = Ramp(40, 0x20);
  WriteBytes(dir / "bank.vb", vb);
  ASSERT_TRUE(psf::PlaceHeaderFile(builder, dir / "first.vh"));
  ASSERT_TRUE(psf::PlaceHeaderFile(builder, dir / "second.vh"));
  ASSERT_TRUE(psf::PlaceBodyFile(builder, dir / "bank.vb"));
  EXPECT_EQ(ImageBytes(builder, 0x80160000, 24), std::vector<std::uint8_t>(vb.begin(), vb.begin() + 24));
  EXPECT_TRUE(AllZero(builder, 0x80160018, 0x80000 - 24));
  EXPECT_FALSE(builder.bank.loaded);  // released after the body
  EXPECT_FALSE(psf::PlaceBodyFile(builder, dir / "bank.vb"));
}

TEST_F(Placement, MissingHeaderFileKeepsTheBankOfTheOneBefore) {
  WriteBytes(dir / "bank.vh", MakeVh(1, {1}));
  WriteBytes(dir / "bank.vb", Ramp(8, 0x40));
  ASSERT_TRUE(psf::PlaceHeaderFile(builder, dir / "bank.vh"));
  EXPECT_FALSE(psf::PlaceHeaderFile(builder, dir / "missing.vh"));
  EXPECT_EQ(core::TakeFailureReason(), "cannot open: No such file or directory");
  ASSERT_TRUE(psf::PlaceBodyFile(builder, dir / "bank.vb"));
  EXPECT_EQ(ImageBytes(builder, 0x80160000, 8), Ramp(8, 0x40));
}

TEST_F(Placement, HeaderFollowsTheDefaultWhenItsParameterIsZero) {
  psf::SetParameter(builder, 0, 1);
  const auto vh = MakeVh(0, {});
  WriteBytes(dir / "bank.vh", vh);
  ASSERT_TRUE(psf::PlaceHeaderFile(builder, dir / "bank.vh"));
  EXPECT_EQ(ImageBytes(builder, 0x800E0000, vh.size()), vh);
  EXPECT_EQ(psf::GetParameter(builder, 1), 0u);
}

TEST_F(Placement, VabPlacesBothPartsAndReleasesTheBank) {
  auto vab = MakeVh(1, {1, 0, 2});  // samples of 8, 0 and 16 bytes
  const auto body = Ramp(24, 0x80);
  vab.insert(vab.end(), body.begin(), body.end());
  vab.push_back(0xFF);  // ignored
  WriteBytes(dir / "bank.vab", vab);
  ASSERT_TRUE(psf::PlaceVabFile(builder, dir / "bank.vab"));
  EXPECT_EQ(ImageBytes(builder, 0x800E0000, 3104), std::vector<std::uint8_t>(vab.begin(), vab.begin() + 3104));
  EXPECT_EQ(ImageBytes(builder, 0x80160000, 24), body);
  EXPECT_TRUE(AllZero(builder, 0x80160018, 1));
  EXPECT_FALSE(builder.bank.loaded);
}

TEST_F(Placement, FileAtAddressDoesNotClear) {
  WriteBytes(dir / "a.seq", Ramp(16, 1));
  WriteBytes(dir / "tone.vag", {0xAA, 0xBB});
  ASSERT_TRUE(psf::PlaceSequenceFile(builder, dir / "a.seq"));
  ASSERT_TRUE(
      psf::PlaceFileAt(builder.image, dir / "tone.vag", psf::SongRegionAddress(builder, psf::SongRegion::Sequence)));
  EXPECT_EQ(ImageBytes(builder, 0x800A0000, 4), (std::vector<std::uint8_t>{0xAA, 0xBB, 3, 4}));
  EXPECT_FALSE(psf::PlaceFileAt(builder.image, dir / "missing.vag", 0x800A0000));
}

TEST_F(Placement, CopiesPastTheEndOfRamAreRefusedWhole) {
  psf::SetParameter(builder, 0x801F0000, 0);
  WriteBytes(dir / "fits.seq", Ramp(0x10000, 5));
  WriteBytes(dir / "long.seq", Ramp(0x10001, 6));
  ASSERT_TRUE(psf::PlaceSequenceFile(builder, dir / "fits.seq"));  // its 256 KiB clear is cut at the end of RAM
  EXPECT_EQ(ImageBytes(builder, 0x801F0000, 0x10000), Ramp(0x10000, 5));

  const std::vector<std::uint8_t> before = builder.image.ram;
  EXPECT_FALSE(psf::PlaceSequenceFile(builder, dir / "long.seq"));
  EXPECT_NE(core::TakeFailureReason().find("past the end"), std::string::npos);
  EXPECT_TRUE(builder.image.ram == before);  // not even cleared
  EXPECT_FALSE(psf::PlaceFileAt(builder.image, dir / "long.seq", 0x801F0000));
  EXPECT_TRUE(builder.image.ram == before);

  psf::SetParameter(builder, 0x801FF800, 1);  // a VH of 3104 bytes does not fit in the last 2 KiB
  const std::vector<std::uint8_t> withParameter = builder.image.ram;
  WriteBytes(dir / "bank.vh", MakeVh(1, {1}));
  WriteBytes(dir / "bank.vb", Ramp(8, 1));
  EXPECT_FALSE(psf::PlaceHeaderFile(builder, dir / "bank.vh"));
  EXPECT_FALSE(builder.bank.loaded);
  EXPECT_FALSE(psf::PlaceBodyFile(builder, dir / "bank.vb"));
  EXPECT_TRUE(builder.image.ram == withParameter);

  psf::SetParameter(builder, 0x12345678, 0);  // outside RAM altogether
  const std::vector<std::uint8_t> outside = builder.image.ram;
  EXPECT_FALSE(psf::PlaceSequenceFile(builder, dir / "fits.seq"));
  EXPECT_TRUE(builder.image.ram == outside);
}

// The PSF holds RAM from the driver's load address (0x80010000) on, and the driver's tables lie at
// 0x80022570-0x8002296B: data or a region's zeros there would be lost or leave a PSF that does not play.
TEST_F(Placement, DataBelowTheDriverOrOverItsTablesIsRefused) {
  WriteBytes(dir / "bank.vh", MakeVh(1, {1}));
  WriteBytes(dir / "a.seq", Ramp(16, 1));
  WriteBytes(dir / "tone.vag", Ramp(8, 2));
  psf::SetParameter(builder, 0x80005000, 1);
  const std::vector<std::uint8_t> before = builder.image.ram;
  EXPECT_FALSE(psf::PlaceHeaderFile(builder, dir / "bank.vh"));
  EXPECT_EQ(core::TakeFailureReason(),
            "VH data at 0x80005000 would lie below the driver's load address 0x80010000, outside the PSF");
  EXPECT_FALSE(builder.bank.loaded);
  EXPECT_TRUE(builder.image.ram == before);

  psf::SetParameter(builder, 0x80020000, 0);  // the 256 KiB clear would reach the driver-info block
  const std::vector<std::uint8_t> withParameter = builder.image.ram;
  EXPECT_FALSE(psf::PlaceSequenceFile(builder, dir / "a.seq"));
  EXPECT_EQ(core::TakeFailureReason(),
            "sequence data at 0x80020000 (0x40000 bytes with its cleared region) would overwrite the driver's "
            "driver-info block");
  EXPECT_TRUE(builder.image.ram == withParameter);
  psf::SetParameter(builder, 0x800228A4, 0);  // a VAG is not cleared first; its 8 bytes lie on the mute block
  const std::vector<std::uint8_t> vagAddress = builder.image.ram;
  EXPECT_FALSE(psf::PlaceVagFile(builder, dir / "tone.vag"));
  EXPECT_EQ(core::TakeFailureReason(),
            "sequence data at 0x800228A4 (0x8 bytes) would overwrite the driver's mute block");
  EXPECT_TRUE(builder.image.ram == vagAddress);

  psf::SetParameter(builder, 0x80030000, 0);  // beyond the tables the driver's own space may be used
  EXPECT_TRUE(psf::PlaceSequenceFile(builder, dir / "a.seq"));
}

TEST_F(Placement, ClearIsCutAtTheEndOfRam) {
  psf::SetParameter(builder, 0x801FFF00, 2);
  std::fill(builder.image.ram.end() - 0x200, builder.image.ram.end(), 0x33);
  psf::ClearSongRegion(builder, psf::SongRegion::Body);
  EXPECT_TRUE(AllZero(builder, 0x801FFF00, 0x100));
  EXPECT_EQ(ImageBytes(builder, 0x801FFEFF, 1), std::vector<std::uint8_t>{0x33});
}

TEST_F(Placement, DirectoriesAreRefused) {
  std::filesystem::create_directory(dir / "folder");
  const std::vector<std::uint8_t> before = builder.image.ram;
  EXPECT_FALSE(psf::PlaceSequenceFile(builder, dir / "folder"));
  EXPECT_EQ(core::TakeFailureReason(), "cannot open: Is a directory");
  EXPECT_FALSE(psf::PlaceHeaderFile(builder, dir / "folder"));
  EXPECT_FALSE(psf::PlaceVabFile(builder, dir / "folder"));
  EXPECT_FALSE(psf::PlaceFileAt(builder.image, dir / "folder", 0x800A0000));
  EXPECT_TRUE(builder.image.ram == before);
}

TEST(PlacementWithoutDriver, DoesNothing) {
  TempDir dir;
  WriteBytes(dir / "a.seq", Ramp(16, 1));
  WriteBytes(dir / "a.vh", MakeVh(1, {1}));
  psf::PsfBuilder builder;
  EXPECT_FALSE(psf::PlaceSequenceFile(builder, dir / "a.seq"));
  EXPECT_EQ(core::TakeFailureReason(), "no driver loaded (MAKE or OPEN first)");
  EXPECT_FALSE(psf::PlaceHeaderFile(builder, dir / "a.vh"));
  EXPECT_FALSE(psf::PlaceVabFile(builder, dir / "a.vh"));
  EXPECT_FALSE(psf::PlaceFileAt(builder.image, dir / "a.seq", 0x800A0000));
  psf::ClearSongRegion(builder, psf::SongRegion::Sequence);
  EXPECT_FALSE(builder.bank.loaded);
  EXPECT_TRUE(builder.image.ram.empty());
}

}  // namespace

namespace {

std::vector<std::uint8_t> Signed(const char* signature, std::size_t size) {
  std::vector<std::uint8_t> data(size, 0);
  std::copy(signature, signature + 4, data.begin());
  return data;
}

TEST(SongDataWarnings, NameDataWithoutSignatureOrLongerThanTheDriverReads) {
  const std::string noSignature = "no SEQ, SEP or VAG signature (\"pQES\" or \"VAGp\"): the driver will not play it";
  EXPECT_EQ(psf::SongDataWarnings({}), std::vector<std::string>{noSignature});
  EXPECT_EQ(psf::SongDataWarnings(Signed("pQEX", 16)), std::vector<std::string>{noSignature});
  EXPECT_TRUE(psf::SongDataWarnings(Signed("pQES", 0x40000)).empty());
  EXPECT_EQ(psf::SongDataWarnings(Signed("pQES", 0x40001)),
            std::vector<std::string>{"262145 bytes, of which the driver reads only the first 262144"});
  // A VAG: its 48-byte header and what sound RAM holds beside the driver's 0x1010 bytes.
  EXPECT_TRUE(psf::SongDataWarnings(Signed("VAGp", 48 + 0x80000 - 0x1010)).empty());
  EXPECT_EQ(psf::SongDataWarnings(Signed("VAGp", 48 + 0x80000 - 0x1010 + 1)).size(), 1U);

  EXPECT_TRUE(psf::BankHeaderWarnings(Signed("pBAV", 32)).empty());
  EXPECT_EQ(psf::BankHeaderWarnings(Signed("VABp", 32)),
            std::vector<std::string>{"no \"pBAV\" signature: not a sound bank that will play"});
  EXPECT_EQ(psf::BankHeaderWarnings(std::vector<std::uint8_t>{'p', 'B'}).size(), 1U);
}

TEST_F(Placement, NotesItsInputsAndWarningsForTheFrontEnd) {
  WriteBytes(dir / "text.seq", {'h', 'i'});
  std::vector<std::uint8_t> vh = MakeVh(1, {4});
  vh[0] = 'X';
  WriteBytes(dir / "odd.vh", vh);
  ASSERT_TRUE(psf::PlaceSequenceFile(builder, dir / "text.seq"));
  ASSERT_TRUE(psf::PlaceHeaderFile(builder, dir / "odd.vh"));
  EXPECT_EQ(psf::TakePlacementWarnings(builder).size(), 2U);
  EXPECT_TRUE(psf::TakePlacementWarnings(builder).empty());

  EXPECT_EQ(psf::FindBuildInput(builder, dir / "." / "text.seq"), dir / "text.seq");
  EXPECT_EQ(psf::FindBuildInput(builder, dir / "odd.vh"), dir / "odd.vh");
  EXPECT_FALSE(psf::FindBuildInput(builder, dir / "song.psf").has_value());
  // A new build has read nothing yet.
  ASSERT_TRUE(psf::LoadBuiltinDriver(builder));
  EXPECT_FALSE(psf::FindBuildInput(builder, dir / "text.seq").has_value());
}

}  // namespace
