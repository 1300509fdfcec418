// LIB and MINI, and a set read back by OPEN and --info, through the real executable.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "batch_fixtures.h"
#include "support/run_program.h"
#include "support/temp_dir.h"

namespace {

using testing_support::ProgramRun;
using testing_support::ReadBytes;
using testing_support::TempDir;
using testing_support::WriteBytes;
using Strings = std::vector<std::string>;

class BatchSetsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    WriteBytes(dir_ / "song.seq", testing_support::SmallSeq());
    WriteBytes(dir_ / "bank.vh", testing_support::SmallVh());
    WriteBytes(dir_ / "bank.vb", testing_support::SmallVb());
    std::filesystem::create_directories(dir_ / "set");
  }

  ProgramRun Run(const Strings& arguments) { return testing_support::RunProgram(LFQUTIL_PATH, arguments, dir_.path()); }

  std::vector<std::uint8_t> Program(const std::string& name) const {
    return testing_support::DecodeProgram(ReadBytes(dir_ / name)).value_or(std::vector<std::uint8_t>{});
  }

  // The bytes after "[TAG]" of a PSF in the directory.
  std::string TagText(const std::string& name) const {
    const std::vector<std::uint8_t> bytes = ReadBytes(dir_ / name);
    const std::string file(bytes.begin(), bytes.end());
    const std::size_t at = file.rfind("[TAG]");
    return at == std::string::npos ? "(none)" : file.substr(at + 5);
  }

  TempDir dir_;
};

// A path the program composed itself (not one of its arguments), spelt with this platform's separator.
std::string Composed(std::string text) {
  if (std::filesystem::path::preferred_separator == '\\') std::replace(text.begin(), text.end(), '/', '\\');
  return text;
}

TEST_F(BatchSetsTest, OpenedMinipsfWritesTheFullBuildsImage) {
  ProgramRun run = Run({"MAKE", "VH", "bank.vh", "VB", "bank.vb", "LIB", "set/town.psflib", "SEQ", "song.seq", "TAG",
                        "length", "auto", "MINI", "set/a.minipsf", "OUT", "full.psf"});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_LT(std::filesystem::file_size(dir_ / "set" / "a.minipsf"), 4096u);
  EXPECT_EQ(TagText("set/a.minipsf"), "_lib=town.psflib\nlength=0:00.2\nfade=0:10.0");
  EXPECT_EQ(TagText("set/town.psflib"), "(none)");

  run = Run({"OPEN", "set/a.minipsf", "OUT", "again.psf", "OUT", "set/town.psflib"});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err, "lfqutil: OUT set/town.psflib: not written: it is the same file as the build's input " +
                         Composed("set/town.psflib") + "\n");
  const std::vector<std::uint8_t> full = Program("full.psf");
  ASSERT_FALSE(full.empty());
  EXPECT_EQ(Program("again.psf"), full);
  EXPECT_EQ(TagText("again.psf"), "length=0:00.2\nfade=0:10.0");

  const ProgramRun info = Run({"--info", "set/a.minipsf"});
  EXPECT_EQ(info.status, 0) << info.err;
  EXPECT_NE(info.out.find(Composed("  set files: set/town.psflib, set/a.minipsf\n")), std::string::npos) << info.out;
  EXPECT_NE(info.out.find("  computed length: 0.20 s"), std::string::npos) << info.out;
}

TEST_F(BatchSetsTest, MiniWithoutItsLibraryWritesNothing) {
  ProgramRun run = Run({"MAKE", "MINI", "set/a.minipsf", "LIB", "no/such/dir/x.psflib", "MINI", "set/b.minipsf"});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err.substr(0, run.err.find('\n') + 1), "lfqutil: MINI set/a.minipsf: not written: no LIB before it\n");
  EXPECT_NE(run.err.find("lfqutil: MINI set/b.minipsf: not written: the LIB it refers to failed\n"), std::string::npos)
      << run.err;
  EXPECT_FALSE(std::filesystem::exists(dir_ / "set" / "a.minipsf"));
  EXPECT_FALSE(std::filesystem::exists(dir_ / "set" / "b.minipsf"));

  // A minipsf that names a missing library does not open.
  ASSERT_EQ(Run({"MAKE", "LIB", "set/t.psflib", "MINI", "set/c.minipsf"}).status, 0);
  std::filesystem::remove(dir_ / "set" / "t.psflib");
  run = Run({"OPEN", "set/c.minipsf", "OUT", "c.psf"});
  EXPECT_EQ(run.err.substr(0, run.err.find('\n') + 1),
            "lfqutil: OPEN set/c.minipsf: " + Composed("_lib set/t.psflib (named by set/c.minipsf)") +
                ": cannot open: No such file or directory\n");
  EXPECT_FALSE(std::filesystem::exists(dir_ / "c.psf"));
}

}  // namespace
