// Driver loading, the parameter table, parameter reads and writes, defaults and the mute mask.

#include "psf/psf_builder.h"

#include <gtest/gtest.h>

#include "assets/driver_image.h"
#include "core/failure.h"
#include "psf/placement.h"
#include "psf/psf_file.h"
#include "psf/ram_image.h"
#include "psf_test_support.h"
#include "support/temp_dir.h"

namespace {

using psf_testing::BuiltinExe;
using psf_testing::MakePsf;
using psf_testing::PutWord;
using testing_support::TempDir;
using testing_support::WriteBytes;

// The ParameterBlock at 0x800228A8 in the image after LoadBuiltinDriver: the defaults, playback type 1.
const std::vector<std::uint8_t> PREPARED_PARAMETER_BLOCK = [] {
  std::vector<std::uint8_t> block(196, 0);
  PutWord(block, 0x00, 0x800A0000);  // sequence address
  PutWord(block, 0x04, 0x800E0000);  // VH address
  PutWord(block, 0x08, 0x80160000);  // VB address
  PutWord(block, 0x18, 1);           // playback type
  PutWord(block, 0x30, 1);           // unnamed word
  block[0x3A] = 1;                   // unnamed half
  block[0x3C] = 1;                   // sequence amount
  block[0x6C] = 127;                 // master volume L, R
  block[0x6E] = 127;
  block[0x70] = 127;  // reverb volume L, R
  block[0x72] = 127;
  block[0x74] = 110;  // sequence volume L, R
  block[0x76] = 110;
  block[0x84] = 80;  // reverb depth L, R
  block[0x86] = 80;
  PutWord(block, 0x88, 80);  // reverb delay
  PutWord(block, 0x8C, 80);  // reverb feedback
  PutWord(block, 0xB4, 1);   // sequence tick mode
  return block;
}();

std::vector<std::uint8_t> ImageBytes(const psf::PsfBuilder& builder, std::uint32_t address, std::size_t size) {
  const auto bytes = psf::RamBytes(builder.image, address, size);
  return bytes ? std::vector<std::uint8_t>(bytes->begin(), bytes->end()) : std::vector<std::uint8_t>{};
}

std::uint32_t ImageWord(const psf::PsfBuilder& builder, std::uint32_t address) {
  return psf_testing::WordAt(ImageBytes(builder, address, 4), 0);
}

TEST(LoadBuiltinDriver, ReadsTheFiftySixParametersInListOrder) {
  psf::PsfBuilder builder;
  ASSERT_TRUE(psf::LoadBuiltinDriver(builder));
  EXPECT_TRUE(builder.held);
  ASSERT_EQ(builder.parameterCount, 56u);
  for (std::uint32_t i = 0; i < 56; ++i) {
    const psf_testing::ExpectedParameter& expected = psf_testing::BUILTIN_PARAMETERS[i];
    EXPECT_EQ(psf::ReadImageString(builder.image, builder.parameters[i].nameAddress), expected.name) << i;
    EXPECT_EQ(psf::GetParameterName(builder, i), expected.name) << i;
    EXPECT_EQ(builder.parameters[i].valueAddress, expected.valueAddress) << i;
    EXPECT_EQ(builder.parameters[i].width, expected.width) << i;
    EXPECT_EQ(psf::GetParameter(builder, i), expected.value) << expected.name;
  }
}

TEST(LoadBuiltinDriver, WritesTheDefaultsIntoTheImageAndAdjustsTheHeader) {
  psf::PsfBuilder builder;
  ASSERT_TRUE(psf::LoadBuiltinDriver(builder));
  EXPECT_EQ(ImageBytes(builder, 0x800228A8, 196), PREPARED_PARAMETER_BLOCK);
  EXPECT_EQ(std::vector<std::uint8_t>(builder.parameterCopy.begin(), builder.parameterCopy.end()),
            PREPARED_PARAMETER_BLOCK);
  EXPECT_EQ(ImageBytes(builder, 0x80022860, 72), std::vector<std::uint8_t>(72, 0));  // nothing muted, mask 0
  const std::vector<std::uint8_t> header(builder.image.header.begin(), builder.image.header.end());
  EXPECT_EQ(psf_testing::WordAt(header, 0x18), 0x80010000u);  // t_addr
  EXPECT_EQ(psf_testing::WordAt(header, 0x1C), 0x001EFFF0u);  // t_size as loaded
  EXPECT_EQ(psf_testing::WordAt(header, 0x30), 0x801FFFF0u);  // s_addr
  EXPECT_EQ(psf_testing::WordAt(header, 0x34), 0x801FFFF0u);  // the word at 0x34
  EXPECT_EQ(psf::ReadImageString(builder.image, 0x80022130), "Quillmoss");
  EXPECT_TRUE(psf::CheckDriverSignature(builder.image));
  // The embedded image itself keeps its stored t_size.
  EXPECT_EQ(assets::BuiltinDriverHeader()[0x1D], 0x40);
}

TEST(GetParameter, YieldsZeroWithoutDriverOrWithAnIndexOutOfRange) {
  psf::PsfBuilder builder;
  EXPECT_EQ(psf::GetParameter(builder, 0), 0u);
  EXPECT_EQ(psf::SetParameter(builder, 5, 0), 0u);
  ASSERT_TRUE(psf::LoadBuiltinDriver(builder));
  EXPECT_EQ(psf::GetParameter(builder, 56), 0u);
  EXPECT_EQ(psf::GetParameter(builder, 0xFFFFFFFF), 0u);
  EXPECT_EQ(psf::SetParameter(builder, 5, 56), 0u);
  EXPECT_EQ(psf::GetParameterName(builder, 56), "");
}

TEST(SetParameter, WritesOnlyTheParameterWidth) {
  psf::PsfBuilder builder;
  ASSERT_TRUE(psf::LoadBuiltinDriver(builder));
  EXPECT_EQ(psf::SetParameter(builder, 0x12345678, 36), 0x12345678u);  // one-byte "Custom Tick Skip Unit"
  EXPECT_EQ(psf::GetParameter(builder, 36), 0x78u);
  // 0x80022968: the byte, then the private byte +0xC1 and "Custom Tick Skip Value" untouched.
  EXPECT_EQ(ImageBytes(builder, 0x80022968, 4), (std::vector<std::uint8_t>{0x78, 0x00, 0x00, 0x00}));
  EXPECT_EQ(psf::SetParameter(builder, 0xABCD1234, 18), 0xABCD1234u);  // two-byte "Master Volume (L)"
  EXPECT_EQ(psf::GetParameter(builder, 18), 0x1234u);
  EXPECT_EQ(ImageBytes(builder, 0x80022914, 4), (std::vector<std::uint8_t>{0x34, 0x12, 127, 0}));
}

TEST(SetParameter, ZeroStaysInTheImageWhilePlacementUsesTheDefault) {
  psf::PsfBuilder builder;
  ASSERT_TRUE(psf::LoadBuiltinDriver(builder));
  EXPECT_EQ(psf::SetParameter(builder, 0, 1), 0u);
  EXPECT_EQ(psf::GetParameter(builder, 1), 0u);
  EXPECT_EQ(ImageWord(builder, 0x800228AC), 0u);
  EXPECT_EQ(psf::SongRegionAddress(builder, psf::SongRegion::Header), 0x800E0000u);
}

TEST(SetParameter, PlaybackTypeTwoMovesTheDefaultSequenceAddress) {
  psf::PsfBuilder builder;
  ASSERT_TRUE(psf::LoadBuiltinDriver(builder));
  EXPECT_EQ(psf::SetParameter(builder, 2, 3), 2u);
  // The sequence address in the image is still 0x800A0000, so nothing moves yet.
  EXPECT_EQ(psf::SongRegionAddress(builder, psf::SongRegion::Sequence), 0x800A0000u);
  psf::SetParameter(builder, 0, 0);
  EXPECT_EQ(psf::SongRegionAddress(builder, psf::SongRegion::Sequence), 0x80030000u);
  EXPECT_EQ(psf::GetParameter(builder, 0), 0u);
  psf::SetParameter(builder, 1, 3);
  EXPECT_EQ(psf::SongRegionAddress(builder, psf::SongRegion::Sequence), 0x800A0000u);
}

TEST(MuteMask, IsComputedOnlyWhenADriverIsPrepared) {
  TempDir dir;
  psf::PsfBuilder builder;
  ASSERT_TRUE(psf::LoadBuiltinDriver(builder));
  psf::SetParameter(builder, 1, 43);  // "Mute Channel 3"
  psf::SetParameter(builder, 7, 55);  // "Mute Channel 15"
  EXPECT_EQ(ImageWord(builder, 0x8002286C), 1u);
  EXPECT_EQ(ImageWord(builder, 0x8002289C), 7u);
  EXPECT_EQ(ImageWord(builder, 0x800228A0), 0u);  // enable word unchanged
  EXPECT_EQ(ImageWord(builder, 0x800228A4), 0u);  // mask unchanged
  EXPECT_EQ(builder.muteCopy[0x0C], 1);           // the working copy follows the image

  ASSERT_TRUE(psf::WritePsfFile(builder, dir / "muted.psf"));
  psf::PsfBuilder reopened;
  ASSERT_TRUE(psf::LoadDriverFromPsf(reopened, dir / "muted.psf"));
  EXPECT_EQ(ImageWord(reopened, 0x800228A0), 1u);       // enable
  EXPECT_EQ(ImageWord(reopened, 0x800228A4), 0x8008u);  // bits 3 and 15

  // Unmuting everything clears the mask on the next preparation but never the enable word.
  psf::SetParameter(reopened, 0, 43);
  psf::SetParameter(reopened, 0, 55);
  ASSERT_TRUE(psf::WritePsfFile(reopened, dir / "unmuted.psf"));
  psf::PsfBuilder again;
  ASSERT_TRUE(psf::LoadDriverFromPsf(again, dir / "unmuted.psf"));
  EXPECT_EQ(ImageWord(again, 0x800228A0), 1u);
  EXPECT_EQ(ImageWord(again, 0x800228A4), 0u);
}

TEST(LoadDriverFromPsf, TakesTheDriverOfABuilderPsfWithItsParameters) {
  TempDir dir;
  psf::PsfBuilder builder;
  ASSERT_TRUE(psf::LoadBuiltinDriver(builder));
  psf::SetParameter(builder, 100, 18);
  psf::SetParameter(builder, 2, 3);  // a PSF driver of playback type 2 is prepared as type 1 again
  psf::SetParameter(builder, 0, 0);
  ASSERT_TRUE(psf::WritePsfFile(builder, dir / "built.psf"));

  psf::PsfBuilder opened;
  ASSERT_TRUE(psf::LoadDriverFromPsf(opened, dir / "built.psf"));
  EXPECT_EQ(opened.parameterCount, 56u);
  EXPECT_EQ(psf::GetParameter(opened, 18), 100u);
  EXPECT_EQ(psf::GetParameter(opened, 3), 1u);
  // The default was taken while the image still said type 2.
  EXPECT_EQ(psf::GetParameter(opened, 0), 0x80030000u);
  EXPECT_EQ(dir.Listing(), std::vector<std::string>{"built.psf"});  // nothing written beside it
}

TEST(LoadDriverFromPsf, ProgramOfAnotherDriverVersionLeavesTheBuilderEmpty) {
  TempDir dir;
  std::vector<std::uint8_t> exe = BuiltinExe();
  exe[2048 + 0x1215A] = '1';  // "...V.4.2.1"
  WriteBytes(dir / "other.psf", MakePsf(exe));
  psf::PsfBuilder builder;
  ASSERT_TRUE(psf::LoadBuiltinDriver(builder));
  EXPECT_FALSE(psf::LoadDriverFromPsf(builder, dir / "other.psf"));
  EXPECT_FALSE(builder.held);
  EXPECT_FALSE(builder.image.loaded);
  EXPECT_EQ(builder.parameterCount, 0u);
  EXPECT_NE(core::TakeFailureReason(), "");

  exe = BuiltinExe();
  exe[2048 + 0x12134] = 0;  // NUL inside "Quillmoss"
  WriteBytes(dir / "short.psf", MakePsf(exe));
  EXPECT_FALSE(psf::LoadDriverFromPsf(builder, dir / "short.psf"));
}

TEST(LoadDriverFromPsf, UndecodablePsfKeepsTheHeldDriver) {
  TempDir dir;
  psf::PsfBuilder builder;
  ASSERT_TRUE(psf::LoadBuiltinDriver(builder));
  psf::SetParameter(builder, 99, 19);
  std::vector<std::uint8_t> psfBytes = MakePsf(BuiltinExe());
  psfBytes[12] ^= 0x01;  // CRC
  WriteBytes(dir / "bad.psf", psfBytes);
  EXPECT_FALSE(psf::LoadDriverFromPsf(builder, dir / "bad.psf"));
  EXPECT_FALSE(psf::LoadDriverFromPsf(builder, dir / "missing.psf"));
  EXPECT_EQ(core::TakeFailureReason(), "cannot open: No such file or directory");
  EXPECT_TRUE(builder.held);
  EXPECT_EQ(psf::GetParameter(builder, 19), 99u);
}

TEST(LoadDriverFromPsf, RefusesProgramsThatDoNotFitOrHaveUnusableTables) {
  TempDir dir;
  psf::PsfBuilder builder;
  std::vector<std::uint8_t> exe = BuiltinExe();
  PutWord(exe, 0x18, 0x80100000);  // t_addr
  PutWord(exe, 0x1C, 0x00100001);  // t_size one byte past the end of RAM
  exe.resize(2048 + 0x100001);
  WriteBytes(dir / "long.psf", MakePsf(exe));
  EXPECT_FALSE(psf::LoadDriverFromPsf(builder, dir / "long.psf"));

  exe = BuiltinExe();
  PutWord(exe, 0x18, 0x7FFF0000);  // t_addr below RAM
  WriteBytes(dir / "low.psf", MakePsf(exe));
  EXPECT_FALSE(psf::LoadDriverFromPsf(builder, dir / "low.psf"));

  exe = BuiltinExe();
  exe.resize(2048 + 0x13FFF);  // one byte short of t_size
  WriteBytes(dir / "short.psf", MakePsf(exe));
  EXPECT_FALSE(psf::LoadDriverFromPsf(builder, dir / "short.psf"));

  exe = BuiltinExe();
  PutWord(exe, 2048 + 0x125A4, 73);  // song area 1 larger than the mute block
  WriteBytes(dir / "mute.psf", MakePsf(exe));
  EXPECT_FALSE(psf::LoadDriverFromPsf(builder, dir / "mute.psf"));

  exe = BuiltinExe();
  PutWord(exe, 2048 + 0x125BC + 12 * 5 + 8, 3);  // parameter 05 of width 3
  WriteBytes(dir / "width.psf", MakePsf(exe));
  EXPECT_FALSE(psf::LoadDriverFromPsf(builder, dir / "width.psf"));

  exe = BuiltinExe();
  PutWord(exe, 2048 + 0x125BC + 12 * 5 + 4, 0x801FFFFE);  // a 4-byte value running past RAM
  WriteBytes(dir / "value.psf", MakePsf(exe));
  EXPECT_FALSE(psf::LoadDriverFromPsf(builder, dir / "value.psf"));
  EXPECT_FALSE(builder.held);

  WriteBytes(dir / "plain.psf", MakePsf(BuiltinExe()));
  EXPECT_TRUE(psf::LoadDriverFromPsf(builder, dir / "plain.psf"));
}

TEST(LoadDriverFromPsf, EmptyParameterListGivesADriverWithoutParameters) {
  TempDir dir;
  std::vector<std::uint8_t> exe = BuiltinExe();
  PutWord(exe, 2048 + 0x125BC, 0);  // first name address 0
  WriteBytes(dir / "none.psf", MakePsf(exe));
  psf::PsfBuilder builder;
  ASSERT_TRUE(psf::LoadDriverFromPsf(builder, dir / "none.psf"));
  EXPECT_EQ(builder.parameterCount, 0u);
  EXPECT_EQ(psf::GetParameter(builder, 0), 0u);
  EXPECT_EQ(psf::SetParameter(builder, 1, 0), 0u);
}

TEST(LoadDriverFromPsf, ParameterListIsReadUpTo65535Entries) {
  // A list of 65,537 entries: the 65,536th is never read.
  TempDir dir;
  std::vector<std::uint8_t> exe = BuiltinExe();
  const std::uint32_t textSize = 0xD3000;  // up to 0x800E3000
  exe.resize(2048 + textSize, 0);
  PutWord(exe, 0x1C, textSize);
  for (std::uint32_t i = 0; i <= 65536; ++i) {
    const std::size_t entry = 2048 + 0x125BC + 12 * std::size_t{i};
    PutWord(exe, entry, 0x80022168);              // name of parameter 00
    PutWord(exe, entry + 4, 0x80100000 + 4 * i);  // value
    PutWord(exe, entry + 8, 4);                   // width
  }
  PutWord(exe, 2048 + 0x12570 + 0x30, 0x80180000);  // mute and parameter blocks off the list
  PutWord(exe, 2048 + 0x12570 + 0x38, 0x80180100);
  WriteBytes(dir / "long.psf", MakePsf(exe));
  psf::PsfBuilder builder;
  ASSERT_TRUE(psf::LoadDriverFromPsf(builder, dir / "long.psf"));
  ASSERT_EQ(builder.parameterCount, 65535u);
  EXPECT_EQ(builder.parameters.back().valueAddress, 0x80100000u + 4 * 65534);
  EXPECT_EQ(psf::SetParameter(builder, 9, 65534), 9u);
  EXPECT_EQ(psf::SetParameter(builder, 9, 65535), 0u);
}

TEST(ReleaseDriver, EmptiesTheBuilderButKeepsTheTagText) {
  psf::PsfBuilder builder;
  psf::ReleaseDriver(builder);  // nothing held: nothing happens
  builder.tagText = "length=1:00";
  ASSERT_TRUE(psf::LoadBuiltinDriver(builder));
  psf::ReleaseDriver(builder);
  EXPECT_FALSE(builder.held);
  EXPECT_FALSE(builder.image.loaded);
  EXPECT_TRUE(builder.image.ram.empty());
  EXPECT_EQ(builder.parameterCount, 0u);
  EXPECT_EQ(builder.tagText, "length=1:00");
  psf::ReleaseDriver(builder);
}

}  // namespace

namespace {

std::vector<std::uint32_t> Found(const psf::PsfBuilder& builder, std::string_view name) {
  return psf::FindParameters(builder, name);
}

TEST(FindParameters, FindsExactNamesInListOrder) {
  psf::PsfBuilder builder;
  EXPECT_TRUE(Found(builder, "Master Volume (L)").empty());  // no driver
  ASSERT_TRUE(psf::LoadBuiltinDriver(builder));
  EXPECT_EQ(Found(builder, "Master Volume (L)"), std::vector<std::uint32_t>{18});
  EXPECT_EQ(Found(builder, "Mute Channel 15"), std::vector<std::uint32_t>{55});
  EXPECT_TRUE(Found(builder, "master volume (l)").empty());
  EXPECT_TRUE(Found(builder, "Master Volume").empty());
  EXPECT_TRUE(Found(builder, "").empty());
}

TEST(FindParameters, NamesAreThoseReadAtLoadingAndBounded) {
  // Parameter 01 takes parameter 00's name; parameter 02 a name of 300 letters in the driver's spare room;
  // parameter 05's value lies over the bytes of parameter 04's name.
  TempDir dir;
  std::vector<std::uint8_t> exe = BuiltinExe();
  const std::size_t list = 2048 + 0x125BC;
  const std::uint32_t nameOf00 = psf_testing::WordAt(exe, list);
  const std::uint32_t nameOf04 = psf_testing::WordAt(exe, list + 12 * 4);
  PutWord(exe, list + 12 * 1, nameOf00);
  PutWord(exe, list + 12 * 2, 0x80022A10);
  std::fill_n(exe.begin() + 2048 + 0x12A10, 300, std::uint8_t{'N'});
  exe[2048 + 0x12A10 + 300] = 0;
  PutWord(exe, list + 12 * 5 + 4, nameOf04);
  WriteBytes(dir / "odd.psf", MakePsf(exe));

  psf::PsfBuilder builder;
  ASSERT_TRUE(psf::LoadDriverFromPsf(builder, dir / "odd.psf"));
  EXPECT_EQ(Found(builder, "SEQ/SEP/VAG Address"), (std::vector<std::uint32_t>{0, 1}));
  const std::string cut(psf::PARAMETER_NAME_LIMIT, 'N');
  EXPECT_EQ(psf::GetParameterName(builder, 2), cut);
  EXPECT_EQ(Found(builder, cut), std::vector<std::uint32_t>{2});
  EXPECT_TRUE(Found(builder, std::string(300, 'N')).empty());

  ASSERT_EQ(psf::SetParameter(builder, 0x41414141, 5), 0x41414141u);
  EXPECT_EQ(psf::ReadImageString(builder.image, nameOf04).substr(0, 4), "AAAA");
  EXPECT_EQ(psf::GetParameterName(builder, 4), "Playback Amount");
  EXPECT_EQ(Found(builder, "Playback Amount"), std::vector<std::uint32_t>{4});
  EXPECT_EQ(psf::FindBuildInput(builder, dir / "odd.psf"), dir / "odd.psf");
}

}  // namespace
