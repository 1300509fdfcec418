// The committed built-in driver image against its fixed layout, byte for byte.

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "assets/driver_image.h"
#include "psf_test_support.h"
#include "support/temp_dir.h"

namespace {

constexpr std::uint32_t TEXT_BASE = 0x80010000;

std::uint32_t TextWord(std::uint32_t address) {
  const auto text = assets::BuiltinDriverText();
  const std::size_t at = address - TEXT_BASE;
  return text[at] | (text[at + 1] << 8) | (text[at + 2] << 16) | (static_cast<std::uint32_t>(text[at + 3]) << 24);
}

// The NUL-terminated text at address; "<unterminated>" when no NUL follows inside the text.
std::string TextString(std::uint32_t address) {
  const auto text = assets::BuiltinDriverText();
  std::string result;
  for (std::size_t at = address - TEXT_BASE; at < text.size(); ++at) {
    if (text[at] == 0) return result;
    result.push_back(static_cast<char>(text[at]));
  }
  return "<unterminated>";
}

TEST(BuiltinDriverImage, HeaderHoldsTheFixedFields) {
  const std::vector<std::uint8_t> expected = {
      'P',  'S',  '-',  'X',  ' ',  'E',  'X',  'E',   // 0x00 magic
      0x00, 0x00, 0x00, 0x00,                          // 0x08 text offset
      0x00, 0x00, 0x00, 0x00,                          // 0x0C data offset
      0xBC, 0x02, 0x02, 0x80,                          // 0x10 pc0 0x800202BC
      0x00, 0x00, 0x00, 0x00,                          // 0x14 gp0
      0x00, 0x00, 0x01, 0x80,                          // 0x18 t_addr 0x80010000
      0x00, 0x40, 0x01, 0x00,                          // 0x1C t_size 0x00014000 as stored
      0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,  // 0x20 d_addr, d_size
      0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,  // 0x28 b_addr, b_size
      0xF0, 0xFF, 0x1F, 0x80,                          // 0x30 s_addr 0x801FFFF0
      0x00, 0x00, 0x00, 0x00,                          // 0x34 s_size
      0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,  // 0x38 saved SP, FP
      0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,  // 0x40 saved GP, RA
      0x00, 0x00, 0x00, 0x00,                          // 0x48 saved S0
  };
  const auto header = assets::BuiltinDriverHeader();
  ASSERT_EQ(header.size(), 2048u);
  EXPECT_EQ(std::vector<std::uint8_t>(header.begin(), header.begin() + 0x4C), expected);
  const std::string marker = "Sony Computer Entertainment Inc. for Japan area";  // 0x4C, NUL-padded
  EXPECT_EQ(std::string(header.begin() + 0x4C, header.begin() + 0x4C + marker.size()), marker);
  for (std::size_t i = 0x4C + marker.size(); i < header.size(); ++i) ASSERT_EQ(header[i], 0) << "header byte " << i;
}

TEST(BuiltinDriverImage, SignatureAndExecutableName) {
  const auto text = assets::BuiltinDriverText();
  ASSERT_EQ(text.size(), 0x14000u);
  // "Quillmoss" NUL at 0x80022130; the name text NUL at 0x8002213C; "MAIN.EXE" NUL at 0x8002215C.
  const std::string expected = std::string("Quillmoss\0\0\0", 12) +
                               std::string("Lanternfieldquarrystone V.4.2.0\0", 32) + std::string("MAIN.EXE\0", 9);
  EXPECT_EQ(std::string(text.begin() + 0x12130, text.begin() + 0x12130 + expected.size()), expected);
}

TEST(BuiltinDriverImage, DriverInfoBlockHeader) {
  const auto text = assets::BuiltinDriverText();
  EXPECT_EQ(std::string(text.begin() + 0x12570, text.begin() + 0x12580), "PSF_DRIVER_INFO:");
  EXPECT_EQ(TextWord(0x80022570 + 0x18), 0x8002213Cu);  // driver name text
  EXPECT_EQ(TextWord(0x80022570 + 0x1C), 0x8002215Cu);  // executable name
  const std::uint32_t areas[] = {
      0x80010000, 0x001F0000,  // +0x28 song area 0: song data
      0x80022860, 0x48,        // +0x30 song area 1: MuteBlock
      0x800228A8, 0xC4,        // +0x38 song area 2: ParameterBlock
      0x8002296C, 0xA4,        // +0x40 song area 3: driver-private
      0,                       // +0x48 end of the list
  };
  for (std::size_t i = 0; i < std::size(areas); ++i) {
    EXPECT_EQ(TextWord(0x80022570 + 0x28 + 4 * static_cast<std::uint32_t>(i)), areas[i]) << "word " << i;
  }
}

TEST(BuiltinDriverImage, ParameterListHoldsTheFiftySixParameters) {
  for (std::uint32_t i = 0; i < 56; ++i) {
    const std::uint32_t entry = 0x800225BC + 12 * i;
    const std::uint32_t nameAddress = TextWord(entry);
    EXPECT_GE(nameAddress, 0x80022168u) << i;
    EXPECT_LT(nameAddress, 0x80022570u) << i;
    EXPECT_EQ(nameAddress % 4, 0u) << i;
    EXPECT_EQ(TextString(nameAddress), psf_testing::BUILTIN_PARAMETERS[i].name) << i;
    EXPECT_EQ(TextWord(entry + 4), psf_testing::BUILTIN_PARAMETERS[i].valueAddress) << i;
    EXPECT_EQ(TextWord(entry + 8), psf_testing::BUILTIN_PARAMETERS[i].width) << i;
  }
  EXPECT_EQ(TextWord(0x8002285C), 0u);  // list end
}

TEST(BuiltinDriverImage, TextIsZeroFromTheListEndOn) {
  const auto text = assets::BuiltinDriverText();
  for (std::size_t i = 0x1285C; i < text.size(); ++i) ASSERT_EQ(text[i], 0) << "text byte 0x" << std::hex << i;
}

TEST(BuiltinDriverImage, CommittedFileIsTheEmbeddedImage) {
  const auto file = testing_support::ReadBytes(std::filesystem::path(LFQ_SOURCE_DIR) / "assets/driver.exe");
  ASSERT_EQ(file.size(), 2048u + 0x14000u);
  const auto header = assets::BuiltinDriverHeader();
  const auto text = assets::BuiltinDriverText();
  EXPECT_TRUE(std::equal(header.begin(), header.end(), file.begin()));
  EXPECT_TRUE(std::equal(text.begin(), text.end(), file.begin() + 2048));
}

}  // namespace
