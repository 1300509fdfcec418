// The driver image generator: a program is laid from 0x80010000, the fixed region is the committed one.

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "assets/driver_image.h"
#include "support/temp_dir.h"
#include "support/test_system.h"

namespace {

using testing_support::ReadBytes;
using testing_support::TempDir;
using testing_support::WriteBytes;

int RunGenerator(const std::string& arguments) {
  const std::string command =
      std::string("python3 '") + LFQ_SOURCE_DIR + "/driver/image/make_driver_image.py' " + arguments + " 2>/dev/null";
  return std::system(command.c_str());
}

std::string Quoted(const std::filesystem::path& path) {
  std::string quoted = "'";
  quoted += path.string();
  quoted += '\'';
  return quoted;
}

TEST(DriverImageGenerator, LaysTheProgramBelowTheFixedRegion) {
  if (!testing_support::CanRunLinuxPrograms()) GTEST_SKIP() << "needs python3 and a POSIX shell";
  TempDir dir;
  std::vector<std::uint8_t> program(0x12130);  // up to the last byte before 0x80022130
  for (std::size_t i = 0; i < program.size(); ++i) program[i] = static_cast<std::uint8_t>(i * 7 + 1);
  WriteBytes(dir / "program.bin", program);
  ASSERT_EQ(RunGenerator("--program " + Quoted(dir / "program.bin") + " --out " + Quoted(dir / "driver.exe")), 0);
  const auto image = ReadBytes(dir / "driver.exe");
  ASSERT_EQ(image.size(), 2048u + 0x14000u);
  const auto header = assets::BuiltinDriverHeader();
  const auto text = assets::BuiltinDriverText();
  EXPECT_TRUE(std::equal(header.begin(), header.end(), image.begin()));
  EXPECT_TRUE(std::equal(program.begin(), program.end(), image.begin() + 2048));
  EXPECT_TRUE(std::equal(text.begin() + 0x12130, text.end(), image.begin() + 2048 + 0x12130));
}

TEST(DriverImageGenerator, IdleLoopWithoutProgram) {
  if (!testing_support::CanRunLinuxPrograms()) GTEST_SKIP() << "needs python3 and a POSIX shell";
  TempDir dir;
  ASSERT_EQ(RunGenerator("--out " + Quoted(dir / "driver.exe")), 0);
  const auto image = ReadBytes(dir / "driver.exe");
  ASSERT_EQ(image.size(), 2048u + 0x14000u);
  const std::size_t pc = 2048 + 0x102BC;                                        // pc0 0x800202BC
  const std::vector<std::uint8_t> loop = {0xAF, 0x80, 0x00, 0x08, 0, 0, 0, 0};  // j 0x800202BC; nop
  EXPECT_EQ(std::vector<std::uint8_t>(image.begin() + pc, image.begin() + pc + 8), loop);
  EXPECT_TRUE(std::all_of(image.begin() + 2048, image.begin() + pc, [](std::uint8_t b) { return b == 0; }));
}

TEST(DriverImageGenerator, RefusesAProgramReachingTheFixedRegion) {
  if (!testing_support::CanRunLinuxPrograms()) GTEST_SKIP() << "needs python3 and a POSIX shell";
  TempDir dir;
  WriteBytes(dir / "program.bin", std::vector<std::uint8_t>(0x12131, 0));
  WriteBytes(dir / "driver.exe", {1});
  EXPECT_NE(RunGenerator("--program " + Quoted(dir / "program.bin") + " --out " + Quoted(dir / "driver.exe")), 0);
  EXPECT_EQ(ReadBytes(dir / "driver.exe"), std::vector<std::uint8_t>{1});
  EXPECT_EQ(dir.Listing(), (std::vector<std::string>{"driver.exe", "program.bin"}));
}

}  // namespace
