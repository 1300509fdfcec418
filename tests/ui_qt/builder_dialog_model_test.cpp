#include "ui/commands/builder_dialog_model.h"

#include <gtest/gtest.h>

#include <string>

#include "core/failure.h"
#include "psf/placement.h"
#include "psf/psf_file.h"
#include "song_files.h"
#include "support/fake_platform.h"
#include "support/temp_dir.h"

namespace {

using testing_support::ReadBytes;
using testing_support::TempDir;
using ui::BuilderDialogModel;

// The decoded program of a PSF file: the 2048-byte EXE header, then RAM from the load address 0x80010000.
std::vector<std::uint8_t> ProgramOf(const std::filesystem::path& path) {
  const auto file = ReadBytes(path);
  auto program = psf::DecodePsfProgram(std::span<const std::uint8_t>(file));
  return program ? *program : std::vector<std::uint8_t>{};
}

constexpr std::size_t ProgramOffset(std::uint32_t address) { return 2048 + (address - 0x80010000); }

// The tag section behind the program: "[TAG]" and the tag text.
std::string TagSectionOf(const std::filesystem::path& path) {
  const auto file = ReadBytes(path);
  const std::size_t programLength = file[8] | (file[9] << 8) | (file[10] << 16) | (file[11] << 24);
  return std::string(file.begin() + 16 + static_cast<std::ptrdiff_t>(programLength), file.end());
}

class BuilderDialogModelTest : public ::testing::Test {
 protected:
  void SetUp() override { ui::OpenBuilderDialog(model, builder); }
  void TearDown() override { ui::CloseBuilderDialog(builder); }
  bool Command(int id) { return ui::RunBuilderCommand(model, id, builder, platform); }
  void Select(int position) {
    model.selected = position;
    Command(ui::BUILDER_PARAMETER_LIST);
  }

  TempDir dir;
  psf::PsfBuilder builder;
  BuilderDialogModel model;
  testing_support::FakePlatform platform;
};

TEST_F(BuilderDialogModelTest, OpeningListsTheDriverParametersAndSelectsTheFirst) {
  ASSERT_EQ(model.items.size(), 56U);
  EXPECT_EQ(model.items.front(), "00 SEQ/SEP/VAG Address");
  EXPECT_EQ(model.items[18], "18 Master Volume (L)");
  EXPECT_EQ(model.items.back(), "55 Mute Channel 15");
  for (std::size_t i = 0; i < model.items.size(); ++i) EXPECT_EQ(std::stoi(model.items[i].substr(0, 2)), int(i));
  EXPECT_EQ(model.selected, 0);
  EXPECT_EQ(model.value, "800A0000");
  EXPECT_EQ(model.tagText, "length=3:00.000");
  EXPECT_TRUE(model.sequencePath.empty() && model.headerPath.empty() && model.samplePath.empty() &&
              model.psfPath.empty());
  EXPECT_TRUE(builder.held);
}

TEST_F(BuilderDialogModelTest, SelectingShowsTheValueInHexadecimal) {
  Select(18);
  EXPECT_EQ(model.value, "7F");
  Select(20);
  EXPECT_EQ(model.value, "6E");
  Select(-1);
  EXPECT_EQ(model.value, "0");
}

TEST_F(BuilderDialogModelTest, SetWritesTheValueAsTheImageHoldsIt) {
  Select(22);  // VAB ID, two bytes wide
  model.value = "1FFFF";
  Command(ui::BUILDER_SET);
  EXPECT_EQ(model.value, "FFFF");
  EXPECT_EQ(psf::GetParameter(builder, 22), 0xFFFFU);
}

TEST_F(BuilderDialogModelTest, EmptyValueWritesZeroWhilePlacementKeepsTheDefault) {
  Select(1);  // VH Address
  model.value.clear();
  Command(ui::BUILDER_SET);
  EXPECT_EQ(model.value, "0");
  EXPECT_EQ(psf::GetParameter(builder, 1), 0U);
  EXPECT_EQ(psf::SongRegionAddress(builder, psf::SongRegion::Header), 0x800E0000U);
}

TEST_F(BuilderDialogModelTest, EnterRefreshesAndOtherIdsDoNothing) {
  model.value = "1234";
  Command(ui::BUILDER_PARAMETER_LIST);
  EXPECT_EQ(model.value, "800A0000");
  model.value = "1234";
  for (int id : {ui::BUILDER_VALUE, 5, 7, 9, 10, 1000, 42}) EXPECT_TRUE(Command(id));
  EXPECT_EQ(model.value, "1234");
  EXPECT_TRUE(platform.openRequests.empty());
}

TEST_F(BuilderDialogModelTest, OpenButtonsFillTheirFieldsAndACancelEmptiesThem) {
  platform.answers = {"/music/town.seq", "/music/town.vh", "/music/town.vb"};
  Command(ui::BUILDER_OPEN_SEQUENCE);
  Command(ui::BUILDER_OPEN_HEADER);
  Command(ui::BUILDER_OPEN_SAMPLE);
  EXPECT_EQ(model.sequencePath, "/music/town.seq");
  EXPECT_EQ(model.headerPath, "/music/town.vh");
  EXPECT_EQ(model.samplePath, "/music/town.vb");
  ASSERT_EQ(platform.openRequests.size(), 3U);
  EXPECT_EQ(platform.openRequests[0].defaultExtension, "SEQ");
  EXPECT_EQ(platform.openRequests[0].filter.entries,
            (std::vector<std::pair<std::string, std::string>>{
                {"Sony PlayStation File (*.SEQ;*.SEP;*.VAG)", "*.SEQ;*.SEP;*.VAG"}}));
  EXPECT_EQ(platform.openRequests[1].defaultExtension, "VH");
  EXPECT_EQ(platform.openRequests[1].filter.entries,
            (std::vector<std::pair<std::string, std::string>>{{"Sony PlayStation File (*.VH)", "*.VH"}}));
  EXPECT_EQ(platform.openRequests[2].defaultExtension, "VB");
  EXPECT_EQ(platform.openRequests[2].filter.entries,
            (std::vector<std::pair<std::string, std::string>>{{"Sony PlayStation File (*.VB)", "*.VB"}}));

  Command(ui::BUILDER_OPEN_HEADER);  // the queue is empty: cancelled
  EXPECT_EQ(model.headerPath, "");
}

TEST_F(BuilderDialogModelTest, SaveWithoutAPsfPathWritesNothingAndSaysNothing) {
  model.sequencePath = ui_testing::Write(dir, "town.seq", ui_testing::SeqBytes()).string();
  EXPECT_TRUE(Command(ui::BUILDER_SAVE));
  EXPECT_EQ(dir.Listing(), std::vector<std::string>{"town.seq"});
}

TEST_F(BuilderDialogModelTest, SavePlacesTheSongAndASecondSaveKeepsIt) {
  const auto seq = ui_testing::SeqBytes();
  model.sequencePath = ui_testing::Write(dir, "town.seq", seq).string();
  model.headerPath = ui_testing::Write(dir, "town.vh", ui_testing::VhBytes()).string();
  model.samplePath = ui_testing::Write(dir, "town.vb", ui_testing::VbBytes()).string();
  model.psfPath = (dir / "first.psf").string();
  ASSERT_TRUE(Command(ui::BUILDER_SAVE));

  model.sequencePath.clear();
  model.headerPath.clear();
  model.samplePath.clear();
  model.psfPath = (dir / "second.psf").string();
  ASSERT_TRUE(Command(ui::BUILDER_SAVE));

  const auto first = ProgramOf(dir / "first.psf");
  const auto second = ProgramOf(dir / "second.psf");
  ASSERT_FALSE(first.empty());
  EXPECT_EQ(first, second);
  ASSERT_GT(second.size(), ProgramOffset(0x800E0000) + 4);
  EXPECT_TRUE(std::equal(seq.begin(), seq.end(), second.begin() + ProgramOffset(0x800A0000)));
  const std::vector<std::uint8_t> vhMagic{'p', 'B', 'A', 'V'};
  EXPECT_TRUE(std::equal(vhMagic.begin(), vhMagic.end(), second.begin() + ProgramOffset(0x800E0000)));
  EXPECT_EQ(TagSectionOf(dir / "second.psf"), "[TAG]length=3:00.000");
}

TEST_F(BuilderDialogModelTest, TagTextIsCutAfter259Characters) {
  model.tagText = "title=" + std::string(300, 'x');
  model.psfPath = (dir / "long.psf").string();
  ASSERT_TRUE(Command(ui::BUILDER_SAVE));
  EXPECT_EQ(TagSectionOf(dir / "long.psf"), "[TAG]title=" + std::string(253, 'x'));
}

TEST_F(BuilderDialogModelTest, NonAsciiTagTextIsWrittenAsUtf8) {
  model.tagText = "title=Caf\xC3\xA9 \xE6\x9D\xB1\xE4\xBA\xAC";
  model.psfPath = (dir / "town.psf").string();
  ASSERT_TRUE(Command(ui::BUILDER_SAVE));
  EXPECT_EQ(TagSectionOf(dir / "town.psf"), "[TAG]title=Caf\xC3\xA9 \xE6\x9D\xB1\xE4\xBA\xAC");
}

TEST_F(BuilderDialogModelTest, SaveThatCannotWriteReportsFailure) {
  model.psfPath = (dir / "no-such-dir" / "out.psf").string();
  EXPECT_FALSE(Command(ui::BUILDER_SAVE));
  ASSERT_EQ(platform.messages.size(), 1U);
  EXPECT_EQ(platform.messages[0].first, "Lanternfieldquarrystone Utility");
  EXPECT_EQ(platform.messages[0].second,
            "Save " + model.psfPath + ":\ncannot create output: No such file or directory");
}

// Song files that cannot be placed: nothing is written, an earlier PSF stays, and one message names each
// file with its reason.
class BuilderDialogSaveRefused : public BuilderDialogModelTest {
 protected:
  void SetUp() override {
    BuilderDialogModelTest::SetUp();
    model.sequencePath = ui_testing::Write(dir, "town.seq", ui_testing::SeqBytes()).string();
    model.psfPath = (dir / "town.psf").string();
    EXPECT_TRUE(Command(ui::BUILDER_SAVE));
    goodPsf = ReadBytes(dir / "town.psf");
    EXPECT_TRUE(platform.messages.empty());
  }
  std::string Message() const { return platform.messages.empty() ? "" : platform.messages.back().second; }
  std::string Listed(const std::string& name, const std::string& reason) const {
    return "\n\n" + (dir / name).string() + ":\n" + reason;
  }

  std::vector<std::uint8_t> goodPsf;
};

TEST_F(BuilderDialogSaveRefused, MistypedPathAndVbWithoutItsVh) {
  model.sequencePath = (dir / "twon.seq").string();
  model.samplePath = ui_testing::Write(dir, "town.vb", ui_testing::VbBytes()).string();
  EXPECT_FALSE(Command(ui::BUILDER_SAVE));
  ASSERT_EQ(platform.messages.size(), 1U);
  EXPECT_EQ(Message(), "Save " + model.psfPath + ":\nnot written: a song file could not be placed" +
                           Listed("twon.seq", "cannot open: No such file or directory") +
                           Listed("town.vb", "no VH placed before the VB"));
  EXPECT_EQ(ReadBytes(dir / "town.psf"), goodPsf);
}

TEST_F(BuilderDialogSaveRefused, DataThatDoesNotFitAndTheVbOfARefusedVh) {
  // The sequence region starts at 0x800A0000, 0x160000 bytes before the end of RAM.
  model.sequencePath = ui_testing::Write(dir, "long.seq", std::vector<std::uint8_t>(0x160001, 0x11)).string();
  model.headerPath = ui_testing::Write(dir, "short.vh", {'p', 'B', 'A', 'V'}).string();
  model.samplePath = ui_testing::Write(dir, "town.vb", ui_testing::VbBytes()).string();
  EXPECT_FALSE(Command(ui::BUILDER_SAVE));
  ASSERT_EQ(platform.messages.size(), 1U);
  const std::string message = Message();
  EXPECT_NE(message.find(Listed("long.seq",
                                "1441793 bytes of sequence data at 0x800A0000 would run past the end "
                                "of the RAM image")),
            std::string::npos)
      << message;
  EXPECT_NE(message.find("\n\n" + model.headerPath + ":\n"), std::string::npos) << message;
  EXPECT_NE(message.find(Listed("town.vb", "no VH placed before the VB")), std::string::npos) << message;
  EXPECT_EQ(ReadBytes(dir / "town.psf"), goodPsf);

  // Mended fields: the same Save writes again, silently.
  model.sequencePath = ui_testing::Write(dir, "town.seq", ui_testing::SeqBytes()).string();
  model.headerPath = ui_testing::Write(dir, "town.vh", ui_testing::VhBytes()).string();
  EXPECT_TRUE(Command(ui::BUILDER_SAVE));
  EXPECT_EQ(platform.messages.size(), 1U);
  EXPECT_NE(ReadBytes(dir / "town.psf"), goodPsf);
}

TEST_F(BuilderDialogSaveRefused, PsfPathNamingASongFileLeavesItAlone) {
  model.psfPath = model.sequencePath;
  EXPECT_FALSE(Command(ui::BUILDER_SAVE));
  EXPECT_EQ(Message(), "Save " + model.psfPath + ":\nnot written: it is the song file " + model.sequencePath);
  EXPECT_EQ(ReadBytes(dir / "town.seq"), ui_testing::SeqBytes());
}

TEST_F(BuilderDialogModelTest, SongFileNamesThatAreNotUtf8AreRead) {
  const auto seq = ui_testing::SeqBytes();
  platform.answers = {ui_testing::Write(dir, "caf\xE9.seq", seq).string()};
  Command(ui::BUILDER_OPEN_SEQUENCE);
  model.psfPath = (dir / "caf\xE9.psf").string();
  ASSERT_TRUE(Command(ui::BUILDER_SAVE));
  const auto program = ProgramOf(dir / "caf\xE9.psf");
  ASSERT_GT(program.size(), ProgramOffset(0x800A0000) + seq.size());
  EXPECT_TRUE(std::equal(seq.begin(), seq.end(), program.begin() + ProgramOffset(0x800A0000)));
}

TEST_F(BuilderDialogModelTest, ClosingReleasesTheDriverSoSetAndSaveDoNothing) {
  ui::CloseBuilderDialog(builder);
  EXPECT_FALSE(builder.held);
  model.value = "5";
  Command(ui::BUILDER_SET);
  EXPECT_EQ(model.value, "0");
  model.psfPath = (dir / "after.psf").string();
  EXPECT_FALSE(Command(ui::BUILDER_SAVE));
  EXPECT_TRUE(dir.Listing().empty());
}

// The Length button: the song's length from the chosen files and the parameters as they stand, nothing written.
TEST_F(BuilderDialogModelTest, LengthFillsInTheSongsLengthAndFade) {
  // One note of 96 ticks at 480 ticks and 120 BPM: 0.1 s a pass. Played without end (Playback Amount 0) the
  // length covers two passes and a fade of 10 s follows.
  model.sequencePath = ui_testing::Write(dir, "town.seq", ui_testing::SeqBytes()).string();
  model.tagText = "title=Town\nLENGTH = 3:00\nartist=Me\nfade=5\n";
  ASSERT_TRUE(Command(ui::BUILDER_LENGTH));
  EXPECT_EQ(model.tagText, "title=Town\nlength=0:00.2\nfade=0:10.0\nartist=Me\n");
  EXPECT_EQ(dir.Listing(), std::vector<std::string>{"town.seq"});
  EXPECT_TRUE(platform.messages.empty());

  // Played once with Automatic Stop: one pass of 0.1 s with no release (no VH), and no fade.
  for (int parameter : {4, 5}) {
    Select(parameter);
    model.value = "1";
    Command(ui::BUILDER_SET);
  }
  model.tagText = "title=Town";
  ASSERT_TRUE(Command(ui::BUILDER_LENGTH));
  EXPECT_EQ(model.tagText, "title=Town\nlength=0:00.1\nfade=0:00.0");
  // The song stays placed for Save.
  model.psfPath = (dir / "town.psf").string();
  model.sequencePath.clear();
  ASSERT_TRUE(Command(ui::BUILDER_SAVE));
  EXPECT_EQ(TagSectionOf(dir / "town.psf"), "[TAG]title=Town\nlength=0:00.1\nfade=0:00.0");
}

TEST_F(BuilderDialogModelTest, LengthThatCannotPlaceOrFindASongSaysSoAndKeepsTheTags) {
  model.sequencePath = (dir / "twon.seq").string();
  EXPECT_FALSE(Command(ui::BUILDER_LENGTH));
  ASSERT_EQ(platform.messages.size(), 1U);
  EXPECT_EQ(platform.messages[0].second, "Length:\nnot computed: a song file could not be placed\n\n" +
                                             model.sequencePath + ":\ncannot open: No such file or directory");
  EXPECT_EQ(model.tagText, "length=3:00.000");

  model.sequencePath.clear();
  EXPECT_FALSE(Command(ui::BUILDER_LENGTH));
  ASSERT_EQ(platform.messages.size(), 2U);
  EXPECT_EQ(platform.messages[1].second,
            "Length:\nnot computed: no sequence, SEP or VAG that the driver plays is placed");
  EXPECT_EQ(model.tagText, "length=3:00.000");
}

TEST(BuilderDialogValues, ReplaceLengthLinesKeepsTheOtherLines) {
  EXPECT_EQ(ui::ReplaceLengthLines("", "length=1", "fade=2"), "length=1\nfade=2");
  EXPECT_EQ(ui::ReplaceLengthLines("title=A\n\n", "length=1", "fade=2"), "title=A\nlength=1\nfade=2\n\n");
  EXPECT_EQ(ui::ReplaceLengthLines(" Fade\t= 3\ngame=G\nlength=9\nlengthy=x", "length=1", "fade=2"),
            "length=1\nfade=2\ngame=G\nlengthy=x");
  EXPECT_EQ(ui::ReplaceLengthLines("comment length=5", "length=1", "fade=2"), "comment length=5\nlength=1\nfade=2");
}

TEST(BuilderDialogValues, ReadHexValueReadsLikeScanf) {
  EXPECT_EQ(ui::ReadHexValue("1FFFF"), 0x1FFFFU);
  EXPECT_EQ(ui::ReadHexValue("0x7f"), 0x7FU);
  EXPECT_EQ(ui::ReadHexValue("  ff"), 0xFFU);
  EXPECT_EQ(ui::ReadHexValue("12G4"), 0x12U);
  EXPECT_EQ(ui::ReadHexValue("-1"), 0xFFFFFFFFU);
  EXPECT_EQ(ui::ReadHexValue("123456789"), 0x23456789U);  // the low 32 bits
  EXPECT_EQ(ui::ReadHexValue(""), 0U);
  EXPECT_EQ(ui::ReadHexValue("zz"), 0U);
  EXPECT_EQ(ui::ReadHexValue("0x"), 0U);
}

TEST(BuilderDialogValues, CutCountsCharactersNotBytes) {
  EXPECT_EQ(ui::CutToCharacters("abc", 2), "ab");
  EXPECT_EQ(ui::CutToCharacters("\xC3\xA9t\xC3\xA9", 2), "\xC3\xA9t");  // "été" cut to "ét"
  EXPECT_EQ(ui::CutToCharacters("\xF0\x9F\x8E\xB5x", 1), "\xF0\x9F\x8E\xB5");
  EXPECT_EQ(ui::CutToCharacters("ab", 5), "ab");
}

}  // namespace
