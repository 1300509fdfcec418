// lfqutil --convert FILE... through the real executable.
#include <gtest/gtest.h>

#include <algorithm>

#include "seq_test_files.h"
#include "support/run_program.h"
#include "support/temp_dir.h"

namespace {

using seq_testing::Bytes;
using seq_testing::Cat;
using seq_testing::SepRecord;
using seq_testing::SepStart;
using testing_support::ReadBytes;
using testing_support::TempDir;
using testing_support::WriteBytes;

using Names = std::vector<std::string>;

using testing_support::ProgramRun;

ProgramRun RunLfqutil(const std::filesystem::path& directory, const std::vector<std::string>& arguments) {
  return testing_support::RunProgram(LFQUTIL_PATH, arguments, directory);
}

const Bytes SEQ{
    'p',  'Q',  'E',  'S',  0x00, 0x00, 0x00, 0x01, 0x01, 0xE0, 0x07, 0xA1, 0x20, 0x04, 0x02,  // header
    0x00, 0x90, 0x3C, 0x64, 0x60, 0x80, 0x3C, 0x00, 0x00, 0xFF, 0x2F, 0x00,                    // events
};
const Bytes TIMING{0x01, 0xE0, 0x07, 0xA1, 0x20, 0x04, 0x02};
const Bytes END{0x00, 0xFF, 0x2F, 0x00};

// A VAB of one program whose tone 0 plays sample 1 (16 bytes), or of nothing at all.
Bytes Vab(bool withSample) {
  Bytes vab(2592 + (withSample ? 512 + 16 : 0), 0x00);
  vab[0x12] = withSample ? 1 : 0;  // programs
  vab[0x16] = withSample ? 1 : 0;  // samples
  if (withSample) {
    vab[2080 + 22] = 0x01;       // tone 0 of program 0 plays sample number 1
    vab[2080 + 512 + 2] = 0x02;  // size table entry 1: 2 units of 8 bytes
    for (std::size_t i = 0; i < 16; ++i) vab[2592 + 512 + i] = static_cast<std::uint8_t>(0x10 + i);
  }
  return vab;
}

TEST(ConvertCliTest, MixedKindsInOneCallAreConvertedInOrder) {
  TempDir dir;
  const Bytes program{'P', 'S', '-', 'X', ' ', 'E', 'X', 'E', 0x00, 0x01, 0x02, 0x03};
  WriteBytes(dir / "prog.exe", program);
  WriteBytes(dir / "music.sep", Cat({SepStart(), SepRecord(0, TIMING, END), SepRecord(1, TIMING, END)}));
  WriteBytes(dir / "song.seq", SEQ);
  WriteBytes(dir / "bank.vab", Vab(true));
  // prog.psf is written by the first file and read back by the second.
  const ProgramRun run =
      RunLfqutil(dir.path(), {"--convert", "prog.exe", "prog.psf", "music.sep", "song.seq", "bank.vab"});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(dir.Listing(), (Names{"bank.vab", "bank00.vag", "music.sep", "music00.seq", "music01.seq", "prog.exe",
                                  "prog.psf", "song.mid", "song.seq"}));
  EXPECT_EQ(ReadBytes(dir / "prog.exe"), program);
  EXPECT_EQ(ReadBytes(dir / "song.mid").size(), 45u + 12u);
  EXPECT_EQ(ReadBytes(dir / "music01.seq"), Cat({{'p', 'Q', 'E', 'S', 0x00, 0x00, 0x00, 0x01}, TIMING, END}));
  const Bytes vag = ReadBytes(dir / "bank00.vag");
  ASSERT_EQ(vag.size(), 64u + 16u + 16u);
  EXPECT_EQ(Bytes(vag.begin(), vag.begin() + 4), (Bytes{'V', 'A', 'G', 'p'}));
}

TEST(ConvertCliTest, ExtensionLetterCaseDoesNotMatter) {
  TempDir dir;
  for (const char* name : {"a.SEQ", "b.Seq", "c.seq", "d.sEp"})
    WriteBytes(dir / name, name[0] == 'd' ? Cat({SepStart(), SepRecord(0, TIMING, END)}) : SEQ);
  const ProgramRun run = RunLfqutil(dir.path(), {"--convert", "a.SEQ", "b.Seq", "c.seq", "d.sEp"});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(dir.Listing(), (Names{"a.SEQ", "a.mid", "b.Seq", "b.mid", "c.mid", "c.seq", "d.sEp", "d00.seq"}));
}

TEST(ConvertCliTest, FilesThatProduceNothingAreReportedAndTheOthersStillConvert) {
  TempDir dir;
  WriteBytes(dir / "archive.minipsf", {0x50, 0x53, 0x46, 0x01});
  WriteBytes(dir / "README", {'h', 'i'});
  WriteBytes(dir / "fake.sep", SEQ);  // a SEQ named as a SEP
  WriteBytes(dir / "empty.vab", Vab(false));
  WriteBytes(dir / "good.seq", SEQ);
  Bytes broken = SEQ;
  broken.resize(broken.size() - 2);  // cut inside its end of track: 00 FF
  WriteBytes(dir / "broken.seq", broken);
  const ProgramRun run = RunLfqutil(dir.path(), {"--convert", "archive.minipsf", "README", "fake.sep", "missing.seq",
                                                 "broken.seq", "good.seq", "empty.vab"});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(run.err,
            "lfqutil: archive.minipsf: not converted: the extension is none of EXE, PSF, SEP, SEQ, VAB\n"
            "lfqutil: README: not converted: the extension is none of EXE, PSF, SEP, SEQ, VAB\n"
            "lfqutil: fake.sep: not a SEP file: bytes 4 to 7 are not zero\n"
            "lfqutil: missing.seq: cannot open: No such file or directory\n"
            "lfqutil: broken.seq: no end of track: the events stop at byte 23\n"
            "lfqutil: empty.vab: the VAB holds no sample\n");
  EXPECT_EQ(dir.Listing(),
            (Names{"README", "archive.minipsf", "broken.seq", "empty.vab", "fake.sep", "good.mid", "good.seq"}));
}

TEST(ConvertCliTest, EachFailureStaysOnOneLine) {
  TempDir dir;
  const ProgramRun run = RunLfqutil(dir.path(), {"--convert", "two\nlines.seq"});
  EXPECT_EQ(run.status, 1);
  // The system's reason differs (Windows refuses the name itself); the line stays one line.
  EXPECT_EQ(run.err.rfind("lfqutil: two?lines.seq: cannot open: ", 0), 0u) << run.err;
  EXPECT_EQ(run.err.find('\n'), run.err.size() - 1) << run.err;
}

TEST(ConvertCliTest, PathsInOtherDirectoriesWriteBesideTheirInput) {
  TempDir work;
  TempDir songs;
  WriteBytes(work / "sequence.mid", {'m', 'i', 'n', 'e'});
  WriteBytes(work / "00.seq", {'m', 'i', 'n', 'e'});
  WriteBytes(songs / "song.seq", SEQ);
  WriteBytes(songs / "music.sep", Cat({SepStart(), SepRecord(0, TIMING, END)}));
  const ProgramRun run =
      RunLfqutil(work.path(), {"--convert", (songs / "song.seq").string(), (songs / "music.sep").string()});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(work.Listing(), (Names{"00.seq", "sequence.mid"}));
  EXPECT_EQ(songs.Listing(), (Names{"music.sep", "music00.seq", "song.mid", "song.seq"}));
}

TEST(ConvertCliTest, NoFileNamedIsAFailure) {
  TempDir dir;
  const ProgramRun run = RunLfqutil(dir.path(), {"--convert"});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err, "lfqutil: --convert: no file named\n");
  EXPECT_TRUE(dir.Listing().empty());
}

}  // namespace
