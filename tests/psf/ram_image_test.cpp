// The RAM image: its one address check, strings, writes, EXE loading and the signature check.

#include "psf/ram_image.h"

#include <gtest/gtest.h>

#include "core/failure.h"
#include "psf/driver_info.h"
#include "psf_test_support.h"

namespace {

using psf_testing::PutWord;

psf::RamImage LoadedImage() {
  psf::RamImage image;
  EXPECT_TRUE(psf::LoadEmbeddedImage(image));
  return image;
}

// A PS-X EXE whose text of textSize bytes (counting up from 1) belongs at tAddr.
std::vector<std::uint8_t> MakeExe(std::uint32_t tAddr, std::uint32_t tSize, std::size_t textSize) {
  std::vector<std::uint8_t> exe(2048, 0);
  const char magic[] = "PS-X EXE";
  std::copy(magic, magic + 8, exe.begin());
  PutWord(exe, 0x18, tAddr);
  PutWord(exe, 0x1C, tSize);
  exe[0x83] = 0xEE;  // last kept header byte
  exe[0x84] = 0xFF;  // first dropped header byte
  const auto text = psf_testing::Ramp(textSize, 1);
  exe.insert(exe.end(), text.begin(), text.end());
  return exe;
}

TEST(RamOffset, AcceptsOnlyRangesWhollyInsideRam) {
  EXPECT_EQ(psf::RamOffset(0x80000000, 0x200000), 0u);
  EXPECT_EQ(psf::RamOffset(0x801FFFFF, 1), 0x1FFFFFu);
  EXPECT_EQ(psf::RamOffset(0x80200000, 0), 0x200000u);  // the end itself, for nothing
  EXPECT_FALSE(psf::RamOffset(0x801FFFFF, 2));
  EXPECT_FALSE(psf::RamOffset(0x80200000, 1));
  EXPECT_FALSE(psf::RamOffset(0x7FFFFFFF, 1));
  EXPECT_FALSE(psf::RamOffset(0x00010000, 4));  // the uncached mirror has no place in the image
  EXPECT_FALSE(psf::RamOffset(0xFFFFFFFF, 1));
  EXPECT_FALSE(psf::RamOffset(0x80000000, 0x200001));
  EXPECT_FALSE(psf::RamOffset(0x80000000, SIZE_MAX));
}

TEST(WriteBytesAt, CopiesInsideRamAndRefusesWholeWhatRunsPast) {
  psf::RamImage image = LoadedImage();
  const std::vector<std::uint8_t> bytes = {0xDE, 0xAD, 0xBE, 0xEF};
  EXPECT_EQ(psf::WriteBytesAt(image, 0x801FFFFC, bytes), 4u);
  EXPECT_EQ(std::vector<std::uint8_t>(image.ram.end() - 4, image.ram.end()), bytes);

  EXPECT_EQ(psf::WriteBytesAt(image, 0x801FFFFE, std::vector<std::uint8_t>{0x11, 0x22, 0x33}), 0u);
  EXPECT_EQ(image.ram[0x1FFFFE], 0xBE);  // nothing of the refused write landed
  EXPECT_EQ(image.ram[0x1FFFFF], 0xEF);
  EXPECT_NE(core::TakeFailureReason().find("0x801FFFFE"), std::string::npos);
  EXPECT_EQ(psf::WriteBytesAt(image, 0x7FFFFFFF, std::vector<std::uint8_t>{0x11}), 0u);

  psf::RamImage empty;
  EXPECT_EQ(psf::WriteBytesAt(empty, 0x80100000, bytes), 0u);
  EXPECT_TRUE(empty.ram.empty());
}

TEST(ReadImageString, StopsAtNulLimitOrEndOfRam) {
  psf::RamImage image = LoadedImage();
  EXPECT_EQ(psf::ReadImageString(image, 0x80022168), "SEQ/SEP/VAG Address");
  EXPECT_EQ(psf::ReadImageString(image, 0x80022139), "");  // a NUL stands there
  EXPECT_EQ(psf::ReadImageString(image, 0x80200000), "");
  EXPECT_EQ(psf::ReadImageString(image, 0x12345678), "");

  std::fill(image.ram.end() - 3, image.ram.end(), 'x');  // no NUL before the end of RAM
  EXPECT_EQ(psf::ReadImageString(image, 0x801FFFFD), "xxx");
  std::fill(image.ram.begin() + 0x100000, image.ram.begin() + 0x100000 + 70000, 'y');
  EXPECT_EQ(psf::ReadImageString(image, 0x80100000).size(), 65535u);
  EXPECT_EQ(psf::ReadImageString(psf::RamImage{}, 0x80022168), "");
}

TEST(LoadExeImage, KeepsTheFirst132HeaderBytesAndLaysTheText) {
  psf::RamImage image;
  ASSERT_TRUE(psf::LoadExeImage(image, MakeExe(0x801FFFF0, 16, 16)));
  EXPECT_EQ(image.header[0x83], 0xEE);
  EXPECT_EQ(image.header[0], 'P');
  EXPECT_EQ(std::vector<std::uint8_t>(image.ram.end() - 16, image.ram.end()), psf_testing::Ramp(16, 1));
  EXPECT_EQ(image.ram[0x1FFFEF], 0);

  // Bytes behind t_size are not laid.
  ASSERT_TRUE(psf::LoadExeImage(image, MakeExe(0x80000000, 2, 8)));
  EXPECT_EQ(image.ram[1], 2);
  EXPECT_EQ(image.ram[2], 0);
}

TEST(LoadExeImage, RefusesTextsThatDoNotFitOrAreMissing) {
  psf::RamImage image;
  EXPECT_FALSE(psf::LoadExeImage(image, MakeExe(0x801FFFF0, 17, 17)));  // one byte past RAM
  EXPECT_FALSE(image.loaded);
  EXPECT_FALSE(psf::LoadExeImage(image, MakeExe(0x7FFFFFF0, 16, 16)));  // below RAM
  EXPECT_FALSE(psf::LoadExeImage(image, MakeExe(0x80010000, 0xFFFFFFFF, 16)));
  EXPECT_FALSE(psf::LoadExeImage(image, MakeExe(0x80010000, 17, 16)));  // shorter than 2048 + t_size
  EXPECT_FALSE(psf::LoadExeImage(image, std::vector<std::uint8_t>(2047, 0)));
  EXPECT_TRUE(image.ram.empty());
  EXPECT_TRUE(psf::LoadExeImage(image, MakeExe(0x80010000, 0, 0)));  // nothing to lay is fine
}

TEST(CheckDriverSignature, NeedsBothHalvesExactly) {
  psf::RamImage image = LoadedImage();
  EXPECT_TRUE(psf::CheckDriverSignature(image));
  image.ram[0x2215A] = '1';  // "V.4.2.1"
  EXPECT_FALSE(psf::CheckDriverSignature(image));
  image = LoadedImage();
  image.ram[0x22130] = 'q';  // "quillmoss"
  EXPECT_FALSE(psf::CheckDriverSignature(image));
  image = LoadedImage();
  image.ram[0x22140] = 0;  // NUL inside the driver name
  EXPECT_FALSE(psf::CheckDriverSignature(image));
  image = LoadedImage();
  image.ram[0x22139] = 'S';  // bytes after the 9 letters are not compared
  EXPECT_TRUE(psf::CheckDriverSignature(image));
  EXPECT_FALSE(psf::CheckDriverSignature(psf::RamImage{}));
}

TEST(DecodeDriverInfo, ReadsTheBuiltinBlock) {
  const psf::RamImage image = LoadedImage();
  const auto block = psf::RamBytes(image, 0x80022570, 76);
  ASSERT_TRUE(block);
  const psf::DriverInfo info = psf::DecodeDriverInfo(block->first<76>());
  EXPECT_EQ(std::string(info.marker.begin(), info.marker.end()), "PSF_DRIVER_INFO:");
  EXPECT_EQ(info.driverNameAddress, 0x8002213Cu);
  EXPECT_EQ(info.executableNameAddress, 0x8002215Cu);
  EXPECT_EQ(info.songAreas[0].address, 0x80010000u);
  EXPECT_EQ(info.songAreas[0].size, 0x1F0000u);
  EXPECT_EQ(info.songAreas[1].address, 0x80022860u);
  EXPECT_EQ(info.songAreas[2].size, 0xC4u);
  EXPECT_EQ(info.songAreas[3].address, 0x8002296Cu);
}

}  // namespace
