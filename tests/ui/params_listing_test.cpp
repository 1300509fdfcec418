// The informational options run through the real executable.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "support/run_program.h"
#include "support/temp_dir.h"

namespace {

using testing_support::ProgramRun;
using testing_support::RunProgram;
using testing_support::TempDir;

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

TEST(ParamsListingTest, ListsEveryBuiltInParameterWithIndexNameWidthAndDefault) {
  TempDir dir;
  const ProgramRun run = RunProgram(LFQUTIL_PATH, {"--params"}, dir.path());
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.err, "");
  const std::vector<std::string> lines = Lines(run.out);
  ASSERT_EQ(lines.size(), 56u);
  EXPECT_EQ(lines[0], "00 SEQ/SEP/VAG Address 4 0x800A0000");
  EXPECT_EQ(lines[1], "01 VH Address 4 0x800E0000");
  EXPECT_EQ(lines[2], "02 VB Address 4 0x80160000");
  EXPECT_EQ(lines[3], "03 Playback Type 4 0x00000001");
  EXPECT_EQ(lines[7], "07 Sequence Amount 2 0x0001");
  EXPECT_EQ(lines[11], "11 Reverb Mode 4 0x00000000");
  EXPECT_EQ(lines[12], "12 Reverb Depth (L) 2 0x0050");
  EXPECT_EQ(lines[18], "18 Master Volume (L) 2 0x007F");
  EXPECT_EQ(lines[20], "20 Sequence Volume (L) 2 0x006E");
  EXPECT_EQ(lines[36], "36 Custom Tick Skip Unit 1 0x00");
  EXPECT_EQ(lines[40], "40 Mute Channel 0 4 0x00000000");
  EXPECT_EQ(lines[55], "55 Mute Channel 15 4 0x00000000");
  EXPECT_TRUE(dir.Listing().empty());
}

TEST(ParamsListingTest, HelpNamesEveryKeywordAndOption) {
  TempDir dir;
  const ProgramRun run = RunProgram(LFQUTIL_PATH, {"--help"}, dir.path());
  EXPECT_EQ(run.status, 0);
  for (const char* word : {"  MAKE", "  OPEN", "  SEQ", "  VAG", "  VH", "VB", "  VAB", "  PARAM", "  OUT", "  SPLIT",
                           "  COMBINE VAB VH VB", "--params", "--convert", "--version"})
    EXPECT_NE(run.out.find(word), std::string::npos) << word;
}

TEST(ParamsListingTest, OptionsOnlyCountAlone) {
  // Beside other arguments "--params" is a usage mistake: one line, status 2, nothing listed.
  TempDir dir;
  const ProgramRun run = RunProgram(LFQUTIL_PATH, {"--params", "MAKE"}, dir.path());
  EXPECT_EQ(run.status, 2);
  EXPECT_EQ(run.out, "");
  EXPECT_TRUE(run.err.starts_with("lfqutil: --params takes no arguments: MAKE (usage: lfqutil ")) << run.err;
}

}  // namespace
