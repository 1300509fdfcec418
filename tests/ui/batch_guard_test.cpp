// What the command line refuses or warns about, through the real executable: usage mistakes (status 2,
// nothing run), words no keyword used, warnings about data that will not play, OUT after a failed step,
// outputs that would replace their own inputs, and how a replaced output keeps its permissions and links.
#include <gtest/gtest.h>

#include <cstdint>
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

const Bytes OLD_PSF = {'o', 'l', 'd'};

class BatchGuardTest : public ::testing::Test {
 protected:
  void SetUp() override {
    WriteBytes(dir_ / "song.seq", testing_support::SmallSeq());
    WriteBytes(dir_ / "bank.vh", testing_support::SmallVh());
    WriteBytes(dir_ / "bank.vb", testing_support::SmallVb());
    WriteBytes(dir_ / "out.psf", OLD_PSF);
  }

  ProgramRun Run(const Strings& arguments) {
    ProgramRun run = testing_support::RunProgram(LFQUTIL_PATH, arguments, dir_.path());
    EXPECT_EQ(run.out, "");
    return run;
  }

  bool OutWritten() const { return ReadBytes(dir_ / "out.psf") != OLD_PSF; }

  TempDir dir_;
};

TEST_F(BatchGuardTest, UsageMistakesPrintOneLineAndRunNothing) {
  const struct {
    Strings arguments;
    std::string mistake;
  } cases[] = {
      {{"-x"}, "unknown option -x"},
      {{"--verbose", "MAKE", "OUT", "out.psf"}, "unknown option --verbose"},
      {{"--version", "extra"}, "--version takes no arguments: extra"},
      {{"--help", "x"}, "--help takes no arguments: x"},
      {{"MAKE", "--info", "x.psf"}, "--info must come first"},
      {{"--params", "x"}, "--params takes no arguments: x"},
      {{"MAKE", "OUT", "out.psf", "--help"}, "--help must come first and alone"},
      {{"MAKE", "-q", "OUT", "out.psf"}, "unknown option -q"},
  };
  for (const auto& mistake : cases) {
    const ProgramRun run = Run(mistake.arguments);
    EXPECT_EQ(run.status, 2) << mistake.mistake;
    EXPECT_EQ(run.err, "lfqutil: " + mistake.mistake +
                           " (usage: lfqutil [KEYWORD [OPERAND]]... | --convert FILE... | --info [--json] FILE... | "
                           "--params | --help | --version)\n");
    EXPECT_FALSE(OutWritten()) << mistake.mistake;
  }
  // -h is --help; a negative number is a value, not an option.
  const ProgramRun help = testing_support::RunProgram(LFQUTIL_PATH, {"-h"}, dir_.path());
  EXPECT_EQ(help.status, 0);
  EXPECT_TRUE(help.out.starts_with("Usage: lfqutil")) << help.out;
  EXPECT_EQ(Run({"MAKE", "PARAM", "Reverb Volume (R)", "-1", "OUT", "out.psf"}).status, 0);
}

TEST_F(BatchGuardTest, ParameterNamesAndValuesAnywhereAfterParamAreUsed) {
  const ProgramRun run =
      Run({"MAKE", "PARAM", "Master Volume (L)", "5", "OUT", "out.psf", "Master Volume (R)", "6", "stray"});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err, "lfqutil: stray: not a keyword\n");
  const Bytes program = testing_support::DecodeProgram(ReadBytes(dir_ / "out.psf")).value_or(Bytes{});
  EXPECT_EQ(testing_support::ValueAt(program, 0x80022914, 2), 5u);
  EXPECT_EQ(testing_support::ValueAt(program, 0x80022916, 2), 6u);  // set at once, before OUT
}

TEST_F(BatchGuardTest, DataThatWillNotPlayIsWarnedAboutAndStillBuilt) {
  Bytes noBank = testing_support::SmallVh();
  noBank[0] = 'X';
  WriteBytes(dir_ / "odd.vh", noBank);
  WriteBytes(dir_ / "text.seq", {'h', 'e', 'l', 'l', 'o'});
  Bytes longSeq = testing_support::SmallSeq();
  longSeq.resize(0x40001, 0);
  WriteBytes(dir_ / "long.seq", longSeq);
  Bytes longVag = {'V', 'A', 'G', 'p'};
  longVag.resize(0x7F021, 0);
  WriteBytes(dir_ / "long.vag", longVag);
  const ProgramRun run = Run({"MAKE", "SEQ", "text.seq", "SEQ", "long.seq", "VAG", "long.vag", "VH", "odd.vh", "VB",
                              "bank.vb", "OUT", "out.psf"});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.err,
            "lfqutil: warning: SEQ text.seq: no SEQ, SEP or VAG signature (\"pQES\" or \"VAGp\"): the driver will "
            "not play it\n"
            "lfqutil: warning: SEQ long.seq: 262145 bytes, of which the driver reads only the first 262144\n"
            "lfqutil: warning: VAG long.vag: 520225 bytes, of which the driver reads only the first 520224\n"
            "lfqutil: warning: VH odd.vh: no \"pBAV\" signature: not a sound bank that will play\n");
  EXPECT_TRUE(OutWritten());
}

TEST_F(BatchGuardTest, OutWritesNothingAfterAFailedStepSinceMakeOrOpen) {
  const struct {
    Strings steps;
    bool written;
  } cases[] = {
      {{"MAKE", "SEQ", "missing.seq"}, false},
      {{"MAKE", "VAG"}, false},
      {{"MAKE", "VB", "bank.vb"}, false},   // no VH before it
      {{"MAKE", "VAB", "bank.vh"}, false},  // refused: not a VAB
      {{"MAKE", "PARAM", "No Such Parameter", "1"}, false},
      {{"MAKE", "PARAM", "Master Volume (L)", "loud"}, false},
      {{"MAKE", "bogus"}, false},
      {{"SEQ", "missing.seq", "MAKE"}, true},                      // before the build began
      {{"OPEN", "missing.psf", "MAKE"}, true},                     // MAKE starts a new build
      {{"MAKE", "COMBINE", "j.vab", "none.vh", "bank.vb"}, true},  // a bank of its own
      {{"MAKE", "SPLIT", "none.vab"}, true},
  };
  for (const auto& failing : cases) {
    WriteBytes(dir_ / "out.psf", OLD_PSF);
    Strings arguments = failing.steps;
    arguments.insert(arguments.end(), {"OUT", "out.psf"});
    const ProgramRun run = Run(arguments);
    const std::string what = failing.steps.back();
    EXPECT_EQ(run.status, 1) << what;
    EXPECT_EQ(OutWritten(), failing.written) << what;
    EXPECT_EQ(run.err.ends_with("lfqutil: OUT out.psf: not written: an earlier step failed\n"), !failing.written)
        << run.err;
  }
}

TEST_F(BatchGuardTest, OutputsThatAreTheirOwnInputsAreRefused) {
  if (!testing_support::CanMakeSymbolicLinks()) GTEST_SKIP() << "symbolic links need a privilege on Windows";
  ASSERT_EQ(Run({"MAKE", "OUT", "opened.psf"}).status, 0);
  const Bytes opened = ReadBytes(dir_ / "opened.psf");
  std::filesystem::create_symlink("song.seq", dir_ / "link.psf");
  std::filesystem::create_hard_link(dir_ / "bank.vh", dir_ / "hard.vab");
  {  // a VAB named like its own VH part
    Bytes vab = testing_support::SmallVh();
    const Bytes vb = testing_support::SmallVbAsWritten();
    vab.insert(vab.end(), vb.begin(), vb.end());
    WriteBytes(dir_ / "whole.vh", vab);
  }
  const Bytes wholeVab = ReadBytes(dir_ / "whole.vh");
  const struct {
    Strings arguments;
    std::string line;
  } cases[] = {
      {{"MAKE", "SEQ", "song.seq", "OUT", "song.seq"},
       "lfqutil: OUT song.seq: not written: it is the same file as the build's input song.seq"},
      {{"MAKE", "SEQ", "song.seq", "OUT", "link.psf"},
       "lfqutil: OUT link.psf: not written: it is the same file as the build's input song.seq"},
      {{"MAKE", "VH", "bank.vh", "VB", "bank.vb", "OUT", "./bank.vb"},
       "lfqutil: OUT ./bank.vb: not written: it is the same file as the build's input bank.vb"},
      {{"OPEN", "opened.psf", "OUT", "opened.psf"},
       "lfqutil: OUT opened.psf: not written: it is the same file as the build's input opened.psf"},
      {{"COMBINE", "bank.vb", "bank.vh", "bank.vb"},
       "lfqutil: COMBINE bank.vb: not written: it is the same file as the VB"},
      {{"COMBINE", "hard.vab", "bank.vh", "bank.vb"},
       "lfqutil: COMBINE hard.vab: not written: it is the same file as the VH"},
      {{"SPLIT", "whole.vh"}, "lfqutil: SPLIT whole.vh: not written: ./whole.vh is the same file as the VAB"},
  };
  const Strings before = dir_.Listing();
  for (const auto& refused : cases) {
    const ProgramRun run = Run(refused.arguments);
    EXPECT_EQ(run.status, 1) << refused.line;
    EXPECT_EQ(run.err, refused.line + "\n");
  }
  EXPECT_EQ(dir_.Listing(), before);
  EXPECT_EQ(ReadBytes(dir_ / "song.seq"), testing_support::SmallSeq());
  EXPECT_EQ(ReadBytes(dir_ / "bank.vh"), testing_support::SmallVh());
  EXPECT_EQ(ReadBytes(dir_ / "bank.vb"), testing_support::SmallVb());
  EXPECT_EQ(ReadBytes(dir_ / "opened.psf"), opened);
  EXPECT_EQ(ReadBytes(dir_ / "whole.vh"), wholeVab);
}

TEST_F(BatchGuardTest, ReplacedOutputsKeepTheirModeAndLinks) {
  if (!testing_support::HasPermissionBits()) {
    GTEST_SKIP() << "Windows files carry no permission bits, and symbolic links need a privilege";
  }
  std::filesystem::permissions(dir_ / "out.psf", std::filesystem::perms(0640));
  std::filesystem::create_directory(dir_ / "releases");
  WriteBytes(dir_ / "releases" / "song.psf", OLD_PSF);
  std::filesystem::create_symlink("releases/song.psf", dir_ / "linked.psf");
  std::filesystem::create_symlink("releases/new.psf", dir_ / "dangling.psf");
  ASSERT_EQ(Run({"MAKE", "OUT", "out.psf", "OUT", "linked.psf", "OUT", "dangling.psf"}).status, 0);

  EXPECT_EQ(std::filesystem::status(dir_ / "out.psf").permissions(), std::filesystem::perms(0640));
  EXPECT_TRUE(OutWritten());
  for (const char* link : {"linked.psf", "dangling.psf"}) {
    EXPECT_TRUE(std::filesystem::is_symlink(dir_ / link)) << link;
  }
  EXPECT_EQ(ReadBytes(dir_ / "releases" / "song.psf"), ReadBytes(dir_ / "out.psf"));
  EXPECT_EQ(ReadBytes(dir_ / "releases" / "new.psf"), ReadBytes(dir_ / "out.psf"));
  EXPECT_EQ(dir_.Listing(),
            (Strings{"bank.vb", "bank.vh", "dangling.psf", "linked.psf", "out.psf", "releases", "song.seq"}));
}

TEST_F(BatchGuardTest, AnOutputTheUserMayNotWriteIsRefused) {
  // Root may write any file, as cp may; the refusal is checked as an unprivileged user then.
  Strings command = {LFQUTIL_PATH};
  if (testing_support::MayWriteEveryFile()) {
    if (!std::filesystem::exists("/usr/bin/setpriv")) GTEST_SKIP() << "running as root without setpriv";
    command = {"/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups", LFQUTIL_PATH};
    std::filesystem::permissions(dir_.path(), std::filesystem::perms::all);
  }
  std::filesystem::permissions(dir_ / "out.psf", std::filesystem::perms(0444));
  command.insert(command.end(), {"MAKE", "OUT", "out.psf"});
  const ProgramRun run =
      testing_support::RunProgram(command[0], Strings(command.begin() + 1, command.end()), dir_.path());
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err, "lfqutil: OUT out.psf: cannot write: Permission denied\n");
  EXPECT_FALSE(OutWritten());
  EXPECT_EQ(dir_.Listing(), (Strings{"bank.vb", "bank.vh", "out.psf", "song.seq"}));
}

TEST_F(BatchGuardTest, AVabWithoutSamplesIsANoticeNotAFailure) {
  Bytes empty = testing_support::SmallVh();
  empty[0x16] = 0;  // sampleCount 0: the VAB is its VH alone
  WriteBytes(dir_ / "empty.vab", empty);
  const ProgramRun run = Run({"--convert", "empty.vab", "song.seq"});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.err, "lfqutil: empty.vab: the VAB holds no sample\n");
  EXPECT_TRUE(std::filesystem::exists(dir_ / "song.mid"));
}

}  // namespace
