// UNPACK and STEMS through the real executable: a PSF taken apart and rebuilt with the command it wrote
// gives the same program image and tags (a SEQ song, a SEP played through Sequence IDs, a VAG-mode song);
// a PSF of another driver writes nothing; STEMS writes one PSF per channel with notes and leaves the build
// as it was.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "batch_fixtures.h"
#include "support/run_program.h"
#include "support/temp_dir.h"
#include "support/test_system.h"

namespace {

using testing_support::ProgramRun;
using testing_support::ReadBytes;
using testing_support::TempDir;
using testing_support::WriteBytes;
using Bytes = std::vector<std::uint8_t>;
using Strings = std::vector<std::string>;

// A SEQ whose notes sound on channels 0 and 2, then the end of track.
Bytes TwoChannelSeq() {
  Bytes seq = testing_support::SmallSeq();
  seq.resize(seq.size() - 4);
  seq.insert(seq.end(), {0x00, 0x92, 0x40, 0x50, 0x60, 0x82, 0x40, 0x00, 0x00, 0xFF, 0x2F, 0x00});
  return seq;
}

// A SEP of two records: record 0 plays note 0x3C on channel 0, record 1 note 0x43 on channel 1.
Bytes TwoRecordSep() {
  return {'p',  'Q',  'E',  'S',  0x00, 0x00,                                            // signature, version 0
          0x00, 0x00, 0x01, 0xE0, 0x07, 0xA1, 0x20, 0x04, 0x02, 0x00, 0x00, 0x00, 0x0B,  // record 0, 11 bytes
          0x00, 0x90, 0x3C, 0x64, 0x60, 0x3C, 0x00, 0x00, 0xFF, 0x2F, 0x00,              //
          0x00, 0x01, 0x00, 0x60, 0x0F, 0x42, 0x40, 0x03, 0x02, 0x00, 0x00, 0x00, 0x0B,  // record 1, 11 bytes
          0x00, 0x91, 0x43, 0x64, 0x30, 0x43, 0x00, 0x00, 0xFF, 0x2F, 0x00};
}

// A VAG as the utility writes them: a 64-byte header (data size 32, 22,050 Hz), then two ADPCM blocks.
Bytes SmallVag() {
  Bytes vag(64, 0);
  const std::uint8_t head[] = {'V', 'A', 'G', 'p', 0, 0, 0, 3, 0, 0, 0, 0, 0, 0, 0, 32, 0, 0, 0x56, 0x22};
  std::copy(std::begin(head), std::end(head), vag.begin());
  for (int i = 0; i < 32; ++i) vag.push_back(static_cast<std::uint8_t>(i == 17 ? 0x01 : 0x11 * (i % 7)));
  return vag;
}

class BatchUnpackTest : public ::testing::Test {
 protected:
  void SetUp() override {
    WriteBytes(dir_ / "bank.vh", testing_support::SmallVh());
    WriteBytes(dir_ / "bank.vb", testing_support::SmallVb());
    // NAME.cmd names the program as "lfqutil": the one under test comes first on the path.
    if (!testing_support::CanRunLinuxPrograms()) return;
    const std::string path = std::filesystem::path(LFQUTIL_PATH).parent_path().string() + ":" + std::getenv("PATH");
    testing_support::SetEnvironment("PATH", path);
  }

  ProgramRun Run(const Strings& arguments, const std::filesystem::path& where) {
    ProgramRun run = testing_support::RunProgram(LFQUTIL_PATH, arguments, where);
    EXPECT_EQ(run.out, "");
    return run;
  }

  // UNPACK song.psf into out/, then the command it wrote, run by the shell in out/.
  void ExpectRebuildIsIdentical(const std::string& songFile) {
    const ProgramRun unpack = Run({"UNPACK", "song.psf", "out"}, dir_.path());
    ASSERT_EQ(unpack.status, 0) << unpack.err;
    EXPECT_EQ(unpack.err, "");
    EXPECT_EQ(ReadBytes(dir_ / "out" / songFile), ReadBytes(dir_ / songFile));
    EXPECT_EQ(ReadBytes(dir_ / "out/song.vh"), testing_support::SmallVhAsWritten());
    EXPECT_EQ(ReadBytes(dir_ / "out/song.vb"), testing_support::SmallVbAsWritten());
    if (!testing_support::CanRunLinuxPrograms()) GTEST_SKIP() << "NAME.cmd is a POSIX shell line: no shell here";
    const ProgramRun rebuild = testing_support::RunProgram("/bin/sh", {"song.cmd"}, dir_ / "out");
    ASSERT_EQ(rebuild.status, 0) << rebuild.err;
    const Bytes original = ReadBytes(dir_ / "song.psf");
    const Bytes rebuilt = ReadBytes(dir_ / "out/song.psf");
    EXPECT_EQ(testing_support::DecodeProgram(rebuilt), testing_support::DecodeProgram(original));
    EXPECT_EQ(testing_support::TagSection(rebuilt), testing_support::TagSection(original));
  }

  TempDir dir_;
};

TEST_F(BatchUnpackTest, SeqSongRebuildsIdentically) {
  WriteBytes(dir_ / "song.seq", TwoChannelSeq());
  const ProgramRun build =
      Run({"MAKE",          "PARAM", "Master Volume (L)", "90",         "VB Address", "0x80170000", "SEQ",
           "song.seq",      "VH",    "bank.vh",           "VB",         "bank.vb",    "TAG",        "title",
           "It's \"ours\"", "TAG",   "comment",           "two\nlines", "OUT",        "song.psf"},
          dir_.path());
  ASSERT_EQ(build.status, 0) << build.err;
  ExpectRebuildIsIdentical("song.seq");
  const std::string command(reinterpret_cast<const char*>(ReadBytes(dir_ / "out/song.cmd").data()),
                            ReadBytes(dir_ / "out/song.cmd").size());
  EXPECT_EQ(
      command,
      "lfqutil MAKE TAG title 'It'\\''s \"ours\"' TAG comment 'two\nlines' TAG length 3:00.000 PARAM 'VB Address' "
      "0x80170000 'Master Volume (L)' 90 SEQ song.seq VH song.vh VB song.vb OUT song.psf\n");
}

TEST_F(BatchUnpackTest, SepPlayedThroughSequenceIdsRebuildsIdentically) {
  WriteBytes(dir_ / "song.sep", TwoRecordSep());
  const ProgramRun build =
      Run({"MAKE", "SEQ", "song.sep", "VH", "bank.vh", "VB", "bank.vb", "PARAM", "Sequence Amount", "2",
           "Sequence ID #1", "1", "Sequence ID #2", "0", "TAG", "length", "auto", "OUT", "song.psf"},
          dir_.path());
  ASSERT_EQ(build.status, 0) << build.err;
  ExpectRebuildIsIdentical("song.sep");
}

TEST_F(BatchUnpackTest, VagModeSongRebuildsIdentically) {
  WriteBytes(dir_ / "song.vag", SmallVag());
  const ProgramRun build = Run({"MAKE", "PARAM", "SEQ/SEP/VAG Address", "0", "Playback Type", "2", "VAG", "song.vag",
                                "VH", "bank.vh", "VB", "bank.vb", "OUT", "song.psf"},
                               dir_.path());
  ASSERT_EQ(build.status, 0) << build.err;
  ExpectRebuildIsIdentical("song.vag");
}

TEST_F(BatchUnpackTest, PsfOfAnotherDriverWritesNothing) {
  Bytes program = testing_support::BuiltinDriverExe();
  program[testing_support::ProgramOffset(0x80022570)] = 'X';  // the driver-info block's marker
  WriteBytes(dir_ / "other.psf", testing_support::MakePsf(program, "title=x"));
  const ProgramRun run = Run({"UNPACK", "other.psf", "out"}, dir_.path());
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err,
            "lfqutil: UNPACK other.psf: nothing written: no driver-info block (\"PSF_DRIVER_INFO:\" at 0x80022570): "
            "not a PSF of this driver\n");
  EXPECT_FALSE(std::filesystem::exists(dir_ / "out"));
}

TEST_F(BatchUnpackTest, StemsWriteOneMutedPsfPerChannelAndLeaveTheBuild) {
  WriteBytes(dir_ / "two.seq", TwoChannelSeq());
  const Strings build = {"MAKE", "SEQ", "two.seq", "VH", "bank.vh", "VB", "bank.vb", "TAG", "title", "Two"};
  Strings withStems = build;
  withStems.insert(withStems.end(), {"STEMS", "two", "OUT", "whole.psf"});
  ProgramRun run = Run(withStems, dir_.path());
  ASSERT_EQ(run.status, 0) << run.err;
  Strings plain = build;
  plain.insert(plain.end(), {"OUT", "plain.psf"});
  ASSERT_EQ(Run(plain, dir_.path()).status, 0);
  EXPECT_EQ(ReadBytes(dir_ / "whole.psf"), ReadBytes(dir_ / "plain.psf"));

  const auto names = [&] {
    Strings found;
    for (const auto& entry : std::filesystem::directory_iterator(dir_.path()))
      if (entry.path().filename().string().starts_with("two_")) found.push_back(entry.path().filename().string());
    std::sort(found.begin(), found.end());
    return found;
  };
  EXPECT_EQ(names(), (Strings{"two_ch00.psf", "two_ch02.psf"}));
  for (const std::uint32_t channel : {0u, 2u}) {
    const Bytes stem = ReadBytes(dir_ / (channel == 0 ? "two_ch00.psf" : "two_ch02.psf"));
    const auto program = testing_support::DecodeProgram(stem);
    ASSERT_TRUE(program);
    for (std::uint32_t muted = 0; muted < 16; ++muted)
      EXPECT_EQ(testing_support::ValueAt(*program, 0x80022860 + 4 * muted, 4), muted == channel ? 0u : 1u) << muted;
    const std::string tags = "[TAG]title=Two\nlength=3:00.000";
    EXPECT_EQ(testing_support::TagSection(stem), Bytes(tags.begin(), tags.end()));
  }

  // After a failed step no stem is written.
  std::filesystem::remove(dir_ / "two_ch00.psf");
  std::filesystem::remove(dir_ / "two_ch02.psf");
  run = Run({"MAKE", "SEQ", "missing.seq", "SEQ", "two.seq", "STEMS", "two"}, dir_.path());
  EXPECT_EQ(run.status, 1);
  EXPECT_TRUE(run.err.ends_with("lfqutil: STEMS two: not written: an earlier step failed\n")) << run.err;
  EXPECT_TRUE(names().empty());
}

// After a LIB the stems are minipsfs of its set: each opens to the same program as its full stem, and UNPACK
// of a minipsf takes its whole set apart.
TEST_F(BatchUnpackTest, StemsAfterLibAreMinipsfsOfItsSet) {
  WriteBytes(dir_ / "two.seq", TwoChannelSeq());
  ASSERT_EQ(Run({"MAKE", "VH", "bank.vh", "VB", "bank.vb", "SEQ", "two.seq", "STEMS", "two"}, dir_.path()).status, 0);
  const ProgramRun set = Run(
      {"MAKE", "VH", "bank.vh", "VB", "bank.vb", "LIB", "set.psflib", "SEQ", "two.seq", "STEMS", "two"}, dir_.path());
  ASSERT_EQ(set.status, 0) << set.err;
  for (const std::string channel : {"00", "02"}) {
    const std::string mini = "two_ch" + channel + ".minipsf";
    ASSERT_LT(std::filesystem::file_size(dir_ / mini), 4096u);
    // Opening prepares the driver again (its mute mask follows the mute words), so both sides are opened.
    ASSERT_EQ(Run({"OPEN", mini, "OUT", "opened.psf"}, dir_.path()).status, 0);
    ASSERT_EQ(Run({"OPEN", "two_ch" + channel + ".psf", "OUT", "full.psf"}, dir_.path()).status, 0);
    EXPECT_EQ(testing_support::DecodeProgram(ReadBytes(dir_ / "opened.psf")),
              testing_support::DecodeProgram(ReadBytes(dir_ / "full.psf")));
  }
  const ProgramRun unpack = Run({"UNPACK", "two_ch02.minipsf", "parts"}, dir_.path());
  ASSERT_EQ(unpack.status, 0) << unpack.err;
  EXPECT_EQ(ReadBytes(dir_ / "parts/two_ch02.seq"), TwoChannelSeq());
}

}  // namespace
