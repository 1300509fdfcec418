// OPEN on damaged and hostile PSFs, run in-process (thousands of cases): nothing may crash, read or write out
// of bounds, or leave a file behind; a PSF whose program section is damaged is refused.
#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "batch_fixtures.h"
#include "support/temp_dir.h"
#include "ui/commands/app_state.h"
#include "ui/commands/batch_mode.h"

namespace {

using testing_support::GetU32;
using testing_support::MakePsf;
using testing_support::ProgramOffset;
using testing_support::PutU32;
using testing_support::ReadBytes;
using testing_support::TempDir;
using testing_support::WriteBytes;
using Bytes = std::vector<std::uint8_t>;
using Strings = std::vector<std::string>;

constexpr std::size_t PSF_HEADER = 16;

using testing_support::BuiltinDriverExe;

class CorruptPsfTest : public ::testing::Test {
 protected:
  struct Outcome {
    int status = -1;
    std::string errors;
  };

  // Runs the keywords with a fresh application state; the failure lines are captured, not shown.
  static Outcome RunKeywords(const Strings& arguments) {
    ui::AppState state;
    Outcome outcome;
    std::FILE* errors = std::tmpfile();
    if (errors == nullptr) return outcome;
    outcome.status = ui::RunBatchCommands(arguments, state, errors);
    std::rewind(errors);
    char buffer[512];
    while (const std::size_t got = std::fread(buffer, 1, sizeof buffer, errors)) outcome.errors.append(buffer, got);
    std::fclose(errors);
    EXPECT_FALSE(state.builder.held) << "the driver is released after the last keyword";
    return outcome;
  }

  std::string PathOf(const std::string& name) const { return (dir_ / name).string(); }

  // OPEN alone on the bytes: the outcome, with a check that the directory holds nothing new.
  Outcome OpenOnly(const Bytes& psf) {
    WriteBytes(dir_ / "bad.psf", psf);
    const Outcome outcome = RunKeywords({"OPEN", PathOf("bad.psf")});
    EXPECT_EQ(dir_.Listing(), Strings{"bad.psf"});
    return outcome;
  }

  const Bytes exe_ = BuiltinDriverExe();
  const Bytes psf_ = MakePsf(exe_, "[TAG]length=3:00.000");
  TempDir dir_;
};

TEST_F(CorruptPsfTest, TheUndamagedSmallPsfOpensAndBuilds) {
  WriteBytes(dir_ / "small.psf", psf_);
  const Outcome outcome = RunKeywords({"OPEN", PathOf("small.psf"), "OUT", PathOf("rebuilt.psf")});
  EXPECT_EQ(outcome.status, 0) << outcome.errors;
  const std::optional<Bytes> program = testing_support::DecodeProgram(ReadBytes(dir_ / "rebuilt.psf"));
  ASSERT_TRUE(program.has_value());
  EXPECT_EQ(program->size(), 2033664u);
}

TEST_F(CorruptPsfTest, EveryTruncationOfTheProgramSectionIsRefused) {
  const std::size_t programEnd = PSF_HEADER + GetU32(psf_, 8);
  for (std::size_t length = 0; length < psf_.size(); ++length) {
    const Outcome outcome = OpenOnly(Bytes(psf_.begin(), psf_.begin() + static_cast<std::ptrdiff_t>(length)));
    if (length < programEnd) {
      ASSERT_EQ(outcome.status, 1) << "length " << length;
      ASSERT_TRUE(outcome.errors.starts_with("lfqutil: OPEN ")) << outcome.errors;
    } else {
      ASSERT_EQ(outcome.status, 0) << "length " << length << ": only the tag section is cut";
    }
  }
}

TEST_F(CorruptPsfTest, RandomByteFlipsNeverCrash) {
  std::mt19937 random(20240611);
  for (int round = 0; round < 1500; ++round) {
    Bytes psf = psf_;
    const int flips = 1 + static_cast<int>(random() % 4);
    for (int i = 0; i < flips; ++i) psf[random() % psf.size()] ^= static_cast<std::uint8_t>(1 + random() % 255);
    const Outcome outcome = OpenOnly(psf);
    ASSERT_TRUE(outcome.status == 0 || outcome.status == 1) << "round " << round;
  }
}

TEST_F(CorruptPsfTest, DamagedStreamsWithMatchingChecksumNeverCrash) {
  // The CRC is brought up to date after each change, so zlib itself meets the damaged stream.
  const std::size_t length = GetU32(psf_, 8);
  std::mt19937 random(777);
  for (int round = 0; round < 400; ++round) {
    Bytes psf = psf_;
    const int flips = 1 + static_cast<int>(random() % 3);
    for (int i = 0; i < flips; ++i)
      psf[PSF_HEADER + random() % length] ^= static_cast<std::uint8_t>(1 + random() % 255);
    PutU32(psf, 12, static_cast<std::uint32_t>(::crc32(0, psf.data() + PSF_HEADER, static_cast<uInt>(length))));
    const Outcome outcome = OpenOnly(psf);
    ASSERT_TRUE(outcome.status == 0 || outcome.status == 1) << "round " << round;
  }
}

TEST_F(CorruptPsfTest, DamagedDriversThatDecodeNeverCrashTheKeywordsAfterOpen) {
  // Changes inside the EXE header and the driver's self-description (signature, info block, parameter list,
  // mute and parameter blocks), packed into valid PSFs; every keyword that touches the driver then runs.
  WriteBytes(dir_ / "song.seq", testing_support::SmallSeq());
  WriteBytes(dir_ / "bank.vh", testing_support::SmallVh());
  WriteBytes(dir_ / "bank.vb", testing_support::SmallVb());
  const std::size_t describedStart = ProgramOffset(0x80022130);
  const std::size_t describedEnd = ProgramOffset(0x80022A10);
  std::mt19937 random(4242);
  for (int round = 0; round < 300; ++round) {
    Bytes exe = exe_;
    const int changes = 1 + static_cast<int>(random() % 4);
    for (int i = 0; i < changes; ++i) {
      const std::size_t offset =
          random() % 4 == 0 ? random() % 0x40 : describedStart + random() % (describedEnd - describedStart);
      exe[offset] = static_cast<std::uint8_t>(random());
    }
    WriteBytes(dir_ / "bad.psf", MakePsf(exe));
    const Outcome outcome = RunKeywords({"OPEN", PathOf("bad.psf"), "PARAM", "Master Volume (L)", "5", "Mute Channel 3",
                                         "1", "", "9", "SEQ", PathOf("song.seq"), "VH", PathOf("bank.vh"), "VB",
                                         PathOf("bank.vb"), "VAG", PathOf("song.seq"), "OUT", PathOf("out.psf")});
    ASSERT_TRUE(outcome.status == 0 || outcome.status == 1) << "round " << round;
    if (outcome.errors.find("lfqutil: OPEN ") != std::string::npos) {
      ASSERT_FALSE(std::filesystem::exists(dir_ / "out.psf")) << outcome.errors;
    }
    std::filesystem::remove(dir_ / "out.psf");
    ASSERT_EQ(dir_.Listing(), (Strings{"bad.psf", "bank.vb", "bank.vh", "song.seq"}));
  }
}

TEST_F(CorruptPsfTest, HostileDriverLayoutsAreRefusedOrKeptInsideTheImage) {
  struct Case {
    const char* what;
    std::size_t offset;
    std::uint32_t value;
  };
  const Case cases[] = {
      {"text address at the very end of RAM", 0x18, 0x801FFFF0},
      {"text address below RAM", 0x18, 0x7FFF0000},
      {"text size beyond the file", 0x1C, 0xFFFFFFFF},
      {"text size zero", 0x1C, 0},
      {"mute block at the end of RAM, huge", ProgramOffset(0x80022570 + 0x30), 0x801FFFFC},
      {"mute block size huge", ProgramOffset(0x80022570 + 0x34), 0xFFFFFFFF},
      {"parameter block outside RAM", ProgramOffset(0x80022570 + 0x38), 0x00001000},
      {"parameter block size huge", ProgramOffset(0x80022570 + 0x3C), 0x7FFFFFFF},
      {"first name outside RAM", ProgramOffset(0x800225BC), 0xFFFFFFF0},
      {"first value at the last byte of RAM", ProgramOffset(0x800225BC + 4), 0x801FFFFF},
      {"first value outside RAM", ProgramOffset(0x800225BC + 4), 0x00000010},
      {"first width 3", ProgramOffset(0x800225BC + 8), 3},
      {"first width huge", ProgramOffset(0x800225BC + 8), 0xFFFFFFFF},
      {"first width 0", ProgramOffset(0x800225BC + 8), 0},
  };
  WriteBytes(dir_ / "song.seq", testing_support::SmallSeq());
  for (const Case& hostile : cases) {
    Bytes exe = exe_;
    PutU32(exe, hostile.offset, hostile.value);
    WriteBytes(dir_ / "bad.psf", MakePsf(exe));
    const Outcome outcome = RunKeywords({"OPEN", PathOf("bad.psf"), "PARAM", "SEQ/SEP/VAG Address", "1", "", "2", "SEQ",
                                         PathOf("song.seq"), "OUT", PathOf("out.psf")});
    EXPECT_TRUE(outcome.status == 0 || outcome.status == 1) << hostile.what;
    std::filesystem::remove(dir_ / "out.psf");
  }
}

TEST_F(CorruptPsfTest, ParameterListStopsAtItsLimit) {
  // 65,535 entries named "SEQ/SEP/VAG Address" with their value at 0x80100000, then one more of that name
  // with its value at 0x80100004, then the end of the list. PARAM sets every entry the driver has, so the
  // value behind the limit stays 0.
  Bytes exe = exe_;
  const std::size_t textSize = 0xD3000;  // up to 0x800E3000, past the 65,537 entries from 0x800225BC
  exe.resize(testing_support::PROGRAM_HEADER_SIZE + textSize, 0x00);
  PutU32(exe, 0x1C, static_cast<std::uint32_t>(textSize));
  for (std::uint32_t i = 0; i <= 65535; ++i) {
    const std::size_t entry = ProgramOffset(0x800225BC + 12 * i);
    PutU32(exe, entry, 0x80022168);                                 // name of parameter 00
    PutU32(exe, entry + 4, i < 65535 ? 0x80100000u : 0x80100004u);  // value
    PutU32(exe, entry + 8, 4);                                      // width
  }
  PutU32(exe, ProgramOffset(0x800225BC + 12 * 65536), 0);     // end of the list
  PutU32(exe, ProgramOffset(0x80022570 + 0x30), 0x80180000);  // mute and parameter blocks off the list
  PutU32(exe, ProgramOffset(0x80022570 + 0x38), 0x80180100);
  WriteBytes(dir_ / "long.psf", MakePsf(exe));
  const Outcome outcome =
      RunKeywords({"OPEN", PathOf("long.psf"), "PARAM", "SEQ/SEP/VAG Address", "5", "OUT", PathOf("out.psf")});
  ASSERT_EQ(outcome.status, 0) << outcome.errors;
  const std::optional<Bytes> program = testing_support::DecodeProgram(ReadBytes(dir_ / "out.psf"));
  ASSERT_TRUE(program.has_value());
  EXPECT_EQ(testing_support::ValueAt(*program, 0x80100000, 4), 5u);
  EXPECT_EQ(testing_support::ValueAt(*program, 0x80100004, 4), 0u);
}

}  // namespace

namespace {

TEST(CorruptPsfParamTest, LongNamesInAFullListAreCutAndEveryEntryOfTheNameIsSet) {
  // 65,535 entries sharing one name of 65,534 letters: PARAM knows the name by its first 255 letters, and
  // sets every entry (all hold their value at 0x80100000); words that name nothing are not keywords.
  TempDir dir;
  WriteBytes(dir / "evil.psf", testing_support::LongParameterListPsf(65534));
  ui::AppState state;
  std::FILE* errors = std::tmpfile();
  ASSERT_NE(errors, nullptr);
  const std::string path = (dir / "evil.psf").string();
  const std::string out = (dir / "out.psf").string();
  EXPECT_EQ(ui::RunBatchCommands({"OPEN", path, "PARAM", std::string(255, 'a'), "7", "OUT", out}, state, errors), 0);
  EXPECT_EQ(ui::RunBatchCommands({"OPEN", path, "PARAM", std::string(256, 'a'), "8", "OUT", out}, state, errors), 1);
  std::fclose(errors);
  const std::optional<Bytes> program = testing_support::DecodeProgram(ReadBytes(dir / "out.psf"));
  ASSERT_TRUE(program.has_value());
  EXPECT_EQ(testing_support::ValueAt(*program, 0x80100000, 4), 7u);
}

}  // namespace
