// Drivers whose text does not start at 0x80010000: the header a PSF of them carries, and reading it back.

#include <gtest/gtest.h>

#include "core/failure.h"
#include "psf/psf_builder.h"
#include "psf/psf_file.h"
#include "psf/ram_image.h"
#include "psf_test_support.h"
#include "support/temp_dir.h"

namespace {

using psf_testing::BuiltinExe;
using psf_testing::Inflate;
using psf_testing::MakePsf;
using psf_testing::PutWord;
using psf_testing::WordAt;
using testing_support::ReadBytes;
using testing_support::TempDir;
using testing_support::WriteBytes;

// The built-in driver moved so that its text starts at tAddr, every byte still at its own PS address:
// text starting later drops the bytes before tAddr, text starting earlier gains zeros in front.
std::vector<std::uint8_t> DriverLoadingAt(std::uint32_t tAddr) {
  const std::vector<std::uint8_t> builtin = BuiltinExe();
  std::vector<std::uint8_t> exe;
  exe.reserve(builtin.size() + 0x10000);
  exe.assign(builtin.begin(), builtin.begin() + 2048);
  constexpr std::uint32_t BUILTIN_T_ADDR = 0x80010000;
  constexpr std::uint32_t BUILTIN_END = 0x80024000;
  if (tAddr >= BUILTIN_T_ADDR) {
    exe.insert(exe.end(), builtin.begin() + 2048 + (tAddr - BUILTIN_T_ADDR), builtin.end());
  } else {
    exe.resize(2048 + (BUILTIN_T_ADDR - tAddr), 0);
    exe.insert(exe.end(), builtin.begin() + 2048, builtin.end());
  }
  PutWord(exe, 0x18, tAddr);
  PutWord(exe, 0x1C, BUILTIN_END - tAddr);
  return exe;
}

TEST(LoadedHeader, DeclaresTheTextUpToTheStackTopForItsLoadAddress) {
  EXPECT_EQ(psf::LoadedTextSize(0x80010000), 0x001EFFF0u);
  EXPECT_EQ(psf::LoadedTextSize(0x80022000), 0x001DDFF0u);
  EXPECT_EQ(psf::LoadedTextSize(0x8000F000), 0x001F0FF0u);
  EXPECT_EQ(psf::LoadedTextSize(0x801FFFF0), 0u);
  EXPECT_EQ(psf::LoadedTextSize(0x801FFFF8), 0u);
}

TEST(OpenAndWrite, DriverLoadingAbove0x80010000WritesAPsfThatOpensAgain) {
  TempDir dir;
  WriteBytes(dir / "late.psf", MakePsf(DriverLoadingAt(0x80022000)));
  psf::PsfBuilder builder;
  ASSERT_TRUE(psf::LoadDriverFromPsf(builder, dir / "late.psf")) << core::TakeFailureReason();
  psf::SetParameter(builder, 100, 18);
  ASSERT_TRUE(psf::WritePsfFile(builder, dir / "out.psf"));

  const auto program = Inflate(ReadBytes(dir / "out.psf"), 0x200000);
  ASSERT_TRUE(program);
  EXPECT_EQ(program->size(), 0x1DE800u);  // 2048 header bytes + RAM 0x80022000-0x801FFFFF
  EXPECT_EQ(WordAt(*program, 0x18), 0x80022000u);
  EXPECT_EQ(WordAt(*program, 0x1C), 0x001DDFF0u);  // up to the stack top, inside what the PSF carries
  EXPECT_EQ(WordAt(*program, 0x34), 0x801FFFF0u);

  psf::PsfBuilder reopened;
  ASSERT_TRUE(psf::LoadDriverFromPsf(reopened, dir / "out.psf")) << core::TakeFailureReason();
  EXPECT_EQ(psf::GetParameter(reopened, 18), 100u);
  EXPECT_EQ(psf::ImageLoadAddress(reopened.image), 0x80022000u);
  // Written again, the same PSF comes out.
  ASSERT_TRUE(psf::WritePsfFile(reopened, dir / "again.psf"));
  EXPECT_EQ(Inflate(ReadBytes(dir / "again.psf"), 0x200000), program);
}

TEST(OpenAndWrite, DriverLoadingBelow0x80010000IsRefusedWithItsAddress) {
  TempDir dir;
  WriteBytes(dir / "early.psf", MakePsf(DriverLoadingAt(0x8000F000)));
  psf::PsfBuilder builder;
  ASSERT_TRUE(psf::LoadBuiltinDriver(builder));
  EXPECT_FALSE(psf::LoadDriverFromPsf(builder, dir / "early.psf"));
  EXPECT_EQ(core::TakeFailureReason(), "driver loads at 0x8000F000, below 0x80010000: its PSF would not read back");
  EXPECT_FALSE(builder.held);
  EXPECT_EQ(dir.Listing(), std::vector<std::string>{"early.psf"});

  // The lowest accepted address gives the largest PSF program a reader takes.
  WriteBytes(dir / "lowest.psf", MakePsf(DriverLoadingAt(0x80010000)));
  ASSERT_TRUE(psf::LoadDriverFromPsf(builder, dir / "lowest.psf"));
  ASSERT_TRUE(psf::WritePsfFile(builder, dir / "out.psf"));
  EXPECT_EQ(psf::DecodePsfFile(dir / "out.psf")->size(), 2033664u);
}

}  // namespace
