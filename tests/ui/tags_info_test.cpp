// TAG, the tags OPEN keeps, the computed length, and --info, through the real executable.
#include <gtest/gtest.h>

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
using Strings = std::vector<std::string>;

class TagsInfoTest : public ::testing::Test {
 protected:
  void SetUp() override {
    WriteBytes(dir_ / "song.seq", testing_support::SmallSeq());
    WriteBytes(dir_ / "bank.vh", testing_support::SmallVh());
    WriteBytes(dir_ / "bank.vb", testing_support::SmallVb());
  }

  ProgramRun Run(const Strings& arguments) { return testing_support::RunProgram(LFQUTIL_PATH, arguments, dir_.path()); }

  // The bytes after "[TAG]" of a PSF in the directory.
  std::string TagText(const std::string& name) const {
    const std::vector<std::uint8_t> bytes = ReadBytes(dir_ / name);
    const std::string file(bytes.begin(), bytes.end());
    const std::size_t at = file.rfind("[TAG]");
    return at == std::string::npos ? "(none)" : file.substr(at + 5);
  }

  TempDir dir_;
};

const Strings BUILD = {"MAKE", "SEQ", "song.seq", "VH", "bank.vh", "VB", "bank.vb"};

Strings With(Strings arguments) {
  arguments.insert(arguments.begin(), BUILD.begin(), BUILD.end());
  return arguments;
}

TEST_F(TagsInfoTest, TagsAreWrittenKeptByOpenAndLengthIsComputed) {
  // The song: one note of 96 ticks at 480 ticks and 500,000 us a quarter, 0.1 s a pass, repeated without end
  // (Playback Amount 0). At 60 services a second on the 2.5 ms clock a service falls at 100,000 us, so the
  // passes end at 0.1 and 0.2 s: length 0:00.2, fade 10 s. Operands of TAG are never keywords ("Out").
  ProgramRun run = Run(With({"TAG", "Title", "Caf\xC3\xA9", "TAG", "comment", "a\nb", "TAG", "artist", "Out", "TAG",
                             "length", "auto", "OUT", "one.psf"}));
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(TagText("one.psf"),
            "title=Caf\xC3\xA9\ncomment=a\ncomment=b\nartist=Out\nlength=0:00.2\nfade=0:10.0\nutf8=1");

  // OPEN keeps them; TAG removes and adds; no TAG at all keeps the described default.
  run = Run({"OPEN", "one.psf", "TAG", "Comment", "", "TAG", "game", "G", "TAG", "_refresh", "", "OUT", "two.psf"});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(TagText("two.psf"), "title=Caf\xC3\xA9\nartist=Out\nlength=0:00.2\nfade=0:10.0\ngame=G\nutf8=1");
  EXPECT_EQ(Run(With({"OUT", "plain.psf"})).status, 0);
  EXPECT_EQ(TagText("plain.psf"), "length=3:00.000");
}

TEST_F(TagsInfoTest, RefusedTagsKeepTheOutputFromBeingWritten) {
  struct Case {
    Strings tag;
    std::string line;
  };
  auto check = [&](const Case& c) {
    Strings arguments = With(c.tag);
    arguments.insert(arguments.end(), {"OUT", "out.psf"});
    const ProgramRun run = Run(arguments);
    EXPECT_EQ(run.status, 1) << c.line;
    EXPECT_EQ(run.err.rfind(c.line, 0), 0U) << run.err;
    EXPECT_NE(run.err.find("lfqutil: OUT out.psf: not written: an earlier step failed"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(dir_ / "out.psf"));
  };
  std::string large;
  for (int i = 0; i < 17000; ++i) large += "\xE7\x94\xBA";  // 51,000 bytes in 17,000 characters
  const Case cases[] = {
      {{"TAG", "_lib", "x.psflib"}, "lfqutil: TAG _lib: tag name \"_lib\" is reserved for players"},
      {{"TAG", "9x", "1"}, "lfqutil: TAG 9x: tag name \"9x\" is not ASCII letters"},
      {{"TAG", "_refresh", "55"}, "lfqutil: TAG _refresh: _refresh must be 50 or 60"},
      {{"TAG", "length", "soon"}, "lfqutil: TAG length: value of tag length is neither"},
      {{"TAG", "comment", large}, "lfqutil: TAG comment: the tag section would be larger"},
  };
  for (const Case& c : cases) check(c);
  const ProgramRun run = Run(With({"TAG", "title"}));
  EXPECT_EQ(run.err, "lfqutil: TAG title: missing value\n");

  if (!testing_support::CanPassAnyArgumentBytes()) {
    GTEST_SKIP() << "a Windows command line is UTF-16 of at most 32,767 characters: it carries neither bytes "
                    "that are no UTF-8 nor a 50,000-character argument";
  }
  const Case raw[] = {
      {{"TAG", "title", "\xE9t\xE9"}, "lfqutil: TAG title: value of tag title is not valid UTF-8"},
      {{"TAG", "comment", std::string(50000, 'x')}, "lfqutil: TAG comment: the tag section would be larger"},
  };
  for (const Case& c : raw) check(c);
}

TEST_F(TagsInfoTest, InfoShowsParametersTagsAndLengthAlsoAsJson) {
  ASSERT_EQ(
      Run(With({"PARAM", "Master Volume (L)", "90", "TAG", "title", "T", "TAG", "length", "auto", "OUT", "song.psf"}))
          .status,
      0);
  const ProgramRun text = Run({"--info", "song.psf"});
  EXPECT_EQ(text.status, 0) << text.err;
  EXPECT_NE(text.out.find("   *18 Master Volume (L) = 0x005A\n"), std::string::npos) << text.out;
  EXPECT_NE(text.out.find("    55 Mute Channel 15 = 0x00000000\n"), std::string::npos);
  EXPECT_NE(text.out.find("    title=T\n"), std::string::npos);
  EXPECT_NE(text.out.find("  computed length: 0.20 s (0:00.2), fade 10.00 s\n"), std::string::npos);

  const ProgramRun missing = Run({"--info", "nothing.psf"});
  EXPECT_EQ(missing.status, 1);
  EXPECT_EQ(missing.err, "lfqutil: nothing.psf: cannot open: No such file or directory\n");

  // A real JSON reader takes each line; the keys and the 56 parameters are there.
  const ProgramRun json = Run({"--info", "--json", "song.psf", "song.seq", "bank.vh"});
  ASSERT_EQ(json.status, 0) << json.err;
  if (!testing_support::CanRunLinuxPrograms()) GTEST_SKIP() << "the JSON is read by python3, which runs on Linux";
  WriteBytes(dir_ / "info.json", std::vector<std::uint8_t>(json.out.begin(), json.out.end()));
  const ProgramRun check = testing_support::RunProgram(
      "/usr/bin/python3",
      {"-c",
       "import json\n"
       "docs = [json.loads(line) for line in open('info.json')]\n"
       "print(len(docs), [d['type'] for d in docs], len(docs[0]['parameters']), docs[0]['tags']['title'],\n"
       "      docs[0]['length_s'], docs[0]['fade_s'], sorted(docs[0]['parameters'][18]),\n"
       "      docs[0]['parameters'][18]['value'], docs[0]['parameters'][18]['default'])"},
      dir_.path());
  EXPECT_EQ(check.out, "3 ['psf', 'seq', 'vh'] 56 T 0.2 10 ['default', 'index', 'name', 'value', 'width'] 90 127\n")
      << check.err;
}

}  // namespace
