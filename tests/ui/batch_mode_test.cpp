// Batch scenarios run through the real executable: exit status, standard error, the files left in the
// working directory, and the bytes of the PSFs written, decoded here with zlib and read at fixed addresses.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "batch_fixtures.h"
#include "support/run_program.h"
#include "support/temp_dir.h"

namespace {

using testing_support::BytesAt;
using testing_support::DecodeProgram;
using testing_support::ProgramRun;
using testing_support::ReadBytes;
using testing_support::TempDir;
using testing_support::ValueAt;
using testing_support::WriteBytes;
using Bytes = std::vector<std::uint8_t>;
using Strings = std::vector<std::string>;

// Placement addresses with the built-in defaults.
constexpr std::uint32_t SEQUENCE_ADDRESS = 0x800A0000;
constexpr std::uint32_t VH_ADDRESS = 0x800E0000;
constexpr std::uint32_t VB_ADDRESS = 0x80160000;
// Parameter values in the driver's ParameterBlock: (address, width).
constexpr std::uint32_t SEQUENCE_ADDRESS_PARAMETER = 0x800228A8;  // 4 bytes
constexpr std::uint32_t PLAYBACK_AMOUNT = 0x800228D4;             // 4 bytes
constexpr std::uint32_t MASTER_VOLUME_L = 0x80022914;             // 2 bytes
constexpr std::uint32_t MASTER_VOLUME_R = 0x80022916;             // 2 bytes
constexpr std::uint32_t REVERB_VOLUME_L = 0x80022918;             // 2 bytes
constexpr std::uint32_t REVERB_VOLUME_R = 0x8002291A;             // 2 bytes
constexpr std::uint32_t TICK_SKIP_UNIT = 0x80022968;              // 1 byte

class BatchModeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    WriteBytes(dir_ / "song.seq", testing_support::SmallSeq());
    WriteBytes(dir_ / "bank.vh", testing_support::SmallVh());
    WriteBytes(dir_ / "bank.vb", testing_support::SmallVb());
  }

  // Runs lfqutil in the test directory; every run must leave standard output empty.
  ProgramRun Run(const Strings& arguments) {
    ProgramRun run = testing_support::RunProgram(LFQUTIL_PATH, arguments, dir_.path());
    EXPECT_EQ(run.out, "") << "standard output must stay empty";
    return run;
  }

  // The decoded program image of a PSF in the test directory (empty when it does not decode).
  Bytes Program(const std::string& name) { return DecodeProgram(ReadBytes(dir_ / name)).value_or(Bytes{}); }

  bool Exists(const std::string& name) const { return std::filesystem::exists(dir_ / name); }

  static Strings Lines(const std::string& text) {
    Strings lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
  }

  TempDir dir_;
};

TEST_F(BatchModeTest, BuildsPsfFromSequenceBankAndParameter) {
  const ProgramRun run = Run({"MAKE", "SEQ", "song.seq", "VH", "bank.vh", "VB", "bank.vb", "PARAM", "Master Volume (L)",
                              "100", "OUT", "song.psf"});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(dir_.Listing(), (Strings{"bank.vb", "bank.vh", "song.psf", "song.seq"}));

  const Bytes psf = ReadBytes(dir_ / "song.psf");
  ASSERT_GE(psf.size(), 16u);
  EXPECT_EQ(Bytes(psf.begin(), psf.begin() + 8), (Bytes{'P', 'S', 'F', 0x01, 0x00, 0x00, 0x00, 0x00}));
  const std::string tags = "[TAG]length=3:00.000";
  EXPECT_EQ(testing_support::TagSection(psf), Bytes(tags.begin(), tags.end()));

  const Bytes program = Program("song.psf");
  ASSERT_EQ(program.size(), 2033664u);
  EXPECT_EQ(ValueAt(program, MASTER_VOLUME_L, 2), 100u);
  EXPECT_EQ(ValueAt(program, MASTER_VOLUME_R, 2), 127u);
  const Bytes seq = testing_support::SmallSeq();
  EXPECT_EQ(BytesAt(program, SEQUENCE_ADDRESS, seq.size()), seq);
  const Bytes vh = testing_support::SmallVhAsWritten();
  EXPECT_EQ(BytesAt(program, VH_ADDRESS, vh.size()), vh);
  // The VB's 8 trailing bytes belong to no sample and are not placed.
  EXPECT_EQ(BytesAt(program, VB_ADDRESS, 32), ([] {
              Bytes expected = testing_support::SmallVbAsWritten();
              expected.resize(32, 0x00);
              return expected;
            }()));
}

TEST_F(BatchModeTest, KeywordsMatchInAnyLetterCaseButParameterNamesExactly) {
  EXPECT_EQ(Run({"make", "out", "lower.psf"}).status, 0);
  EXPECT_EQ(Run({"Make", "oUt", "mixed.psf"}).status, 0);
  EXPECT_EQ(ValueAt(Program("lower.psf"), MASTER_VOLUME_L, 2), 127u);
  EXPECT_EQ(ValueAt(Program("mixed.psf"), MASTER_VOLUME_L, 2), 127u);

  // The name matches nothing: PARAM fails, so OUT writes nothing from the build.
  const ProgramRun run = Run({"make", "param", "master volume (l)", "5", "out", "case.psf"});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err,
            "lfqutil: PARAM master volume (l): no such parameter\n"
            "lfqutil: OUT case.psf: not written: an earlier step failed\n");
  EXPECT_FALSE(Exists("case.psf"));
}

TEST_F(BatchModeTest, OperandIsTriedAsKeywordToo) {
  // A VH file named "out": after VH has placed it, it is read as OUT and writes the PSF named after it.
  WriteBytes(dir_ / "out", testing_support::SmallVh());
  EXPECT_EQ(Run({"MAKE", "VH", "out", "named.psf"}).status, 0);
  const Bytes vh = testing_support::SmallVhAsWritten();
  EXPECT_EQ(BytesAt(Program("named.psf"), VH_ADDRESS, vh.size()), vh);

  // A sequence file named "make": placed, then read as MAKE, which starts again from the built-in driver.
  WriteBytes(dir_ / "make", testing_support::SmallSeq());
  EXPECT_EQ(Run({"MAKE", "SEQ", "make", "OUT", "restarted.psf"}).status, 0);
  EXPECT_EQ(BytesAt(Program("restarted.psf"), SEQUENCE_ADDRESS, 4), Bytes(4, 0x00));
}

TEST_F(BatchModeTest, ParamScansLaterArgumentsSoOnlyLaterOutSeesIt) {
  ASSERT_EQ(Run({"MAKE", "OUT", "before.psf", "PARAM", "Master Volume (L)", "100", "OUT", "after.psf"}).status, 0);
  EXPECT_EQ(ValueAt(Program("before.psf"), MASTER_VOLUME_L, 2), 127u);
  EXPECT_EQ(ValueAt(Program("after.psf"), MASTER_VOLUME_L, 2), 100u);

  // PARAM before the names: the pairs are found among all later arguments, in any number.
  ASSERT_EQ(Run({"MAKE", "PARAM", "OUT", "x.psf", "Master Volume (R)", "7", "Master Volume (L)", "9"}).status, 0);
  const Bytes program = Program("x.psf");
  EXPECT_EQ(ValueAt(program, MASTER_VOLUME_L, 2), 9u);
  EXPECT_EQ(ValueAt(program, MASTER_VOLUME_R, 2), 7u);
}

TEST_F(BatchModeTest, ParamValuesReadLikePercentDWithHexadecimalAndFullUnsignedRange) {
  const ProgramRun run = Run({"MAKE", "PARAM",                  //
                              "Master Volume (L)", "12abc",     // digits up to the first other
                              "Master Volume (R)", "0x10",      // hexadecimal
                              "Reverb Volume (L)", "0xg",       // "0", then junk
                              "Reverb Volume (R)", "-1",        // wraps, low 2 bytes kept
                              "Playback Amount", "2148139008",  // above 2^31
                              "Custom Tick Skip Unit", "0x12345678", "OUT", "values.psf"});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.err, "");
  const Bytes program = Program("values.psf");
  EXPECT_EQ(ValueAt(program, MASTER_VOLUME_L, 2), 12u);
  EXPECT_EQ(ValueAt(program, MASTER_VOLUME_R, 2), 0x10u);
  EXPECT_EQ(ValueAt(program, REVERB_VOLUME_L, 2), 0u);
  EXPECT_EQ(ValueAt(program, REVERB_VOLUME_R, 2), 0xFFFFu);
  EXPECT_EQ(ValueAt(program, PLAYBACK_AMOUNT, 4), 0x800A0000u);
  EXPECT_EQ(ValueAt(program, TICK_SKIP_UNIT, 1), 0x78u);
  EXPECT_EQ(ValueAt(program, TICK_SKIP_UNIT + 1, 1), 0x00u);  // the byte after a one-byte value stays
}

TEST_F(BatchModeTest, ValueThatIsNoNumberKeepsTheNumberReadLastAndIsReported) {
  // The parameter still takes the number read last, but the build has failed: OUT writes nothing.
  ProgramRun run = Run({"MAKE", "PARAM", "Master Volume (L)", "abc", "OUT", "first.psf"});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err,
            "lfqutil: PARAM Master Volume (L): not a 32-bit number: \"abc\"; set to 0\n"
            "lfqutil: OUT first.psf: not written: an earlier step failed\n");
  EXPECT_FALSE(Exists("first.psf"));

  run = Run({"MAKE", "PARAM", "Master Volume (L)", "42", "Master Volume (R)", "4294967296", "OUT", "last.psf"});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err,
            "lfqutil: PARAM Master Volume (R): not a 32-bit number: \"4294967296\"; set to 42\n"
            "lfqutil: OUT last.psf: not written: an earlier step failed\n");
  EXPECT_FALSE(Exists("last.psf"));

  // A name as the very last argument has no value at all.
  run = Run({"MAKE", "OUT", "none.psf", "PARAM", "Master Volume (L)"});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err, "lfqutil: PARAM Master Volume (L): missing value; set to 0\n");
}

TEST_F(BatchModeTest, SequenceAddressParameterMovesTheSequence) {
  ASSERT_EQ(Run({"MAKE", "PARAM", "SEQ/SEP/VAG Address", "2148270080", "SEQ", "song.seq", "OUT", "moved.psf"}).status,
            0);
  const Bytes program = Program("moved.psf");
  const Bytes seq = testing_support::SmallSeq();
  EXPECT_EQ(ValueAt(program, SEQUENCE_ADDRESS_PARAMETER, 4), 0x800C0000u);
  EXPECT_EQ(BytesAt(program, 0x800C0000, seq.size()), seq);
  EXPECT_EQ(BytesAt(program, SEQUENCE_ADDRESS, seq.size()), Bytes(seq.size(), 0x00));
}

TEST_F(BatchModeTest, VagPlacesTheFileAtTheSequenceAddressWithoutClearing) {
  WriteBytes(dir_ / "short.vag", {0x11, 0x22});
  ASSERT_EQ(Run({"MAKE", "SEQ", "song.seq", "VAG", "short.vag", "OUT", "vag.psf"}).status, 0);
  Bytes expected = testing_support::SmallSeq();
  expected[0] = 0x11;
  expected[1] = 0x22;
  EXPECT_EQ(BytesAt(Program("vag.psf"), SEQUENCE_ADDRESS, expected.size()), expected);
}

TEST_F(BatchModeTest, SecondMakeStartsAgainFromTheBuiltInDriver) {
  ASSERT_EQ(Run({"MAKE", "SEQ", "song.seq", "VH", "bank.vh", "MAKE", "OUT", "again.psf"}).status, 0);
  const Bytes program = Program("again.psf");
  EXPECT_EQ(BytesAt(program, SEQUENCE_ADDRESS, 16), Bytes(16, 0x00));
  EXPECT_EQ(BytesAt(program, VH_ADDRESS, 16), Bytes(16, 0x00));
  EXPECT_EQ(ValueAt(program, MASTER_VOLUME_L, 2), 127u);
}

TEST_F(BatchModeTest, CombineAndSplitBetweenMakeAndOutLeaveTheBuilderBankAlone) {
  // Another bank: its header's master volume byte and its sample bytes differ from bank.vh/bank.vb.
  Bytes otherVh = testing_support::SmallVh();
  otherVh[0x18] = 0x55;
  Bytes otherVb;
  for (std::uint8_t i = 0; i < 24; ++i) otherVb.push_back(static_cast<std::uint8_t>(0x10 + i));
  WriteBytes(dir_ / "other.vh", otherVh);
  WriteBytes(dir_ / "other.vb", otherVb);
  Bytes otherVhWritten = testing_support::SmallVhAsWritten();
  otherVhWritten[0x18] = 0x55;
  Bytes otherVab = otherVhWritten;
  otherVab.insert(otherVab.end(), otherVb.begin(), otherVb.end());
  WriteBytes(dir_ / "whole.vab", otherVab);

  // The builder's bank holds bank.vh when COMBINE and SPLIT run; VB then still finds it.
  const ProgramRun run = Run({"MAKE", "VH", "bank.vh", "COMBINE", "joined.vab", "other.vh", "other.vb", "SPLIT",
                              "whole.vab", "VB", "bank.vb", "OUT", "song.psf"});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.err, "");

  const Bytes program = Program("song.psf");
  const Bytes vh = testing_support::SmallVhAsWritten();
  EXPECT_EQ(BytesAt(program, VH_ADDRESS, vh.size()), vh);
  const Bytes vb = testing_support::SmallVbAsWritten();
  EXPECT_EQ(BytesAt(program, VB_ADDRESS, vb.size()), vb);

  EXPECT_EQ(ReadBytes(dir_ / "joined.vab"), otherVab);
  EXPECT_EQ(ReadBytes(dir_ / "whole.vh"), otherVhWritten);
  EXPECT_EQ(ReadBytes(dir_ / "whole.vb"), otherVb);
}

TEST_F(BatchModeTest, OpenContinuesFromAPsfWeWrote) {
  ASSERT_EQ(Run({"MAKE", "PARAM", "Master Volume (L)", "100", "SEQ", "song.seq", "OUT", "first.psf"}).status, 0);
  const ProgramRun run = Run({"OPEN", "first.psf", "VH", "bank.vh", "VB", "bank.vb", "OUT", "second.psf"});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.err, "");
  const Bytes program = Program("second.psf");
  EXPECT_EQ(ValueAt(program, MASTER_VOLUME_L, 2), 100u);
  const Bytes seq = testing_support::SmallSeq();
  EXPECT_EQ(BytesAt(program, SEQUENCE_ADDRESS, seq.size()), seq);
  const Bytes vh = testing_support::SmallVhAsWritten();
  EXPECT_EQ(BytesAt(program, VH_ADDRESS, vh.size()), vh);
  const Bytes vb = testing_support::SmallVbAsWritten();
  EXPECT_EQ(BytesAt(program, VB_ADDRESS, vb.size()), vb);
}

TEST_F(BatchModeTest, EachFailedKeywordGivesOneLineAndExitStatusOne) {
  const ProgramRun run = Run({"MAKE", "VH", "town.vh", "VB", "bank.vb", "OUT", "partial.psf"});
  EXPECT_EQ(run.status, 1);
  // VB has no header placed before it because the VH failed; OUT writes no half-built PSF.
  const Strings lines = Lines(run.err);
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0], "lfqutil: VH town.vh: cannot open: No such file or directory");
  EXPECT_TRUE(lines[1].starts_with("lfqutil: VB bank.vb: ")) << lines[1];
  EXPECT_EQ(lines[2], "lfqutil: OUT partial.psf: not written: an earlier step failed");
  EXPECT_FALSE(Exists("partial.psf"));
}

TEST_F(BatchModeTest, KeywordsThatNeedADriverFailWithoutOne) {
  const ProgramRun run = Run({"SEQ", "song.seq", "VAG", "song.seq", "VH", "bank.vh", "VB", "bank.vb", "VAB",
                              "whole.vab", "PARAM", "Master Volume (L)", "1", "OUT", "nothing.psf"});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err,
            "lfqutil: SEQ song.seq: no driver loaded (MAKE or OPEN first)\n"
            "lfqutil: VAG song.seq: no driver loaded (MAKE or OPEN first)\n"
            "lfqutil: VH bank.vh: no driver loaded (MAKE or OPEN first)\n"
            "lfqutil: VB bank.vb: no driver loaded (MAKE or OPEN first)\n"
            "lfqutil: VAB whole.vab: no driver loaded (MAKE or OPEN first)\n"
            "lfqutil: PARAM Master Volume (L): no driver loaded (MAKE or OPEN first)\n"
            "lfqutil: OUT nothing.psf: no driver loaded (MAKE or OPEN first)\n");
  EXPECT_EQ(dir_.Listing(), (Strings{"bank.vb", "bank.vh", "song.seq"}));
}

TEST_F(BatchModeTest, MissingOperandsAndUnreadableFilesAreReported) {
  ProgramRun run = Run({"MAKE", "OUT"});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err, "lfqutil: OUT: missing file name\n");

  run = Run({"COMBINE", "joined.vab", "none.vh", "bank.vb", "SPLIT", "none.vab", "OPEN", "song.seq", "MAKE", "PARAM"});
  EXPECT_EQ(run.status, 1);
  const Strings lines = Lines(run.err);
  ASSERT_EQ(lines.size(), 4u) << run.err;
  EXPECT_EQ(lines[0], "lfqutil: COMBINE none.vh: cannot open: No such file or directory");
  EXPECT_EQ(lines[1], "lfqutil: SPLIT none.vab: cannot open: No such file or directory");
  EXPECT_TRUE(lines[2].starts_with("lfqutil: OPEN song.seq: ")) << lines[2];
  EXPECT_EQ(lines[3], "lfqutil: PARAM: missing parameter name");
  EXPECT_EQ(dir_.Listing(), (Strings{"bank.vb", "bank.vh", "song.seq"}));

  // Every failure line has the shape "lfqutil: KEYWORD[ FILE]: reason".
  const std::regex shape("lfqutil: (COMBINE|SPLIT|MAKE|OPEN|VAG|SEQ|VH|VB|VAB|OUT|PARAM)( [^:]+)?: .+");
  for (const std::string& line : lines) EXPECT_TRUE(std::regex_match(line, shape)) << line;
}

TEST_F(BatchModeTest, CombineNamesTheFileThatFailedAndWritesNoVab) {
  Bytes shortVb = testing_support::SmallVbAsWritten();
  shortVb.resize(20);  // the VH's two samples need 24 bytes
  WriteBytes(dir_ / "short.vb", shortVb);
  ProgramRun run = Run({"COMBINE", "joined.vab", "bank.vh", "short.vb"});
  EXPECT_EQ(run.status, 1);
  EXPECT_TRUE(run.err.starts_with("lfqutil: COMBINE short.vb: ")) << run.err;
  EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1);
  EXPECT_FALSE(Exists("joined.vab"));

  run = Run({"COMBINE", "joined.vab", "bank.vh"});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err, "lfqutil: COMBINE joined.vab: needs three file names: VAB to write, VH and VB\n");
  EXPECT_FALSE(Exists("joined.vab"));
}

TEST_F(BatchModeTest, FailureStaysOnOneLineWhateverTheFileName) {
  const ProgramRun run = Run({"SEQ", "two\nlines.seq"});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err, "lfqutil: SEQ two?lines.seq: no driver loaded (MAKE or OPEN first)\n");
}

TEST_F(BatchModeTest, FailedOutLeavesNoFileBehind) {
  // The target is an existing directory: the finished PSF cannot take its place.
  std::filesystem::create_directory(dir_ / "taken.psf");
  ProgramRun run = Run({"MAKE", "OUT", "taken.psf", "OUT", "missing-dir/x.psf"});
  EXPECT_EQ(run.status, 1);
  const Strings lines = Lines(run.err);
  ASSERT_EQ(lines.size(), 2u) << run.err;
  EXPECT_TRUE(lines[0].starts_with("lfqutil: OUT taken.psf: ")) << lines[0];
  EXPECT_TRUE(lines[1].starts_with("lfqutil: OUT missing-dir/x.psf: ")) << lines[1];
  EXPECT_EQ(dir_.Listing(), (Strings{"bank.vb", "bank.vh", "song.seq", "taken.psf"}));
  EXPECT_TRUE(std::filesystem::is_empty(dir_ / "taken.psf"));

  // An existing PSF stays as it was when OUT cannot write.
  WriteBytes(dir_ / "keep.psf", {'o', 'l', 'd'});
  run = Run({"OUT", "keep.psf"});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(ReadBytes(dir_ / "keep.psf"), (Bytes{'o', 'l', 'd'}));
}

TEST_F(BatchModeTest, ArgumentsNoKeywordUsedAreReported) {
  // Each is named in turn; one after MAKE leaves the build failed, so OUT writes nothing.
  const ProgramRun run = Run({"hello", "MAKE", "42", "song.seq", "OUT", "plain.psf", "trailing"});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err,
            "lfqutil: hello: not a keyword\n"
            "lfqutil: 42: not a keyword\n"
            "lfqutil: song.seq: not a keyword\n"
            "lfqutil: OUT plain.psf: not written: an earlier step failed\n"
            "lfqutil: trailing: not a keyword\n");
  EXPECT_FALSE(Exists("plain.psf"));
}

}  // namespace
