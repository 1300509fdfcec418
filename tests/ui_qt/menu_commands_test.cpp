#include "ui/commands/menu_commands.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fake_window_platform.h"
#include "song_files.h"
#include "support/temp_dir.h"
#include "ui/commands/main_menu.h"

namespace {

using testing_support::ReadBytes;
using testing_support::TempDir;
using ui_testing::FakeWindowPlatform;
using ui_testing::Write;

std::vector<std::string> Lines(const std::string& text, const std::string& separator) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  for (;;) {
    const std::size_t end = text.find(separator, start);
    lines.push_back(text.substr(start, end == std::string::npos ? std::string::npos : end - start));
    if (end == std::string::npos) return lines;
    start = end + separator.size();
  }
}

class MenuCommands : public ::testing::Test {
 protected:
  void Answer(const std::filesystem::path& path) { platform.dialogs.answers.push_back(path.string()); }
  void Cancel() { platform.dialogs.answers.emplace_back(); }
  bool Run(int id) { return ui::RunMenuCommand(id, state, platform); }

  TempDir dir;
  ui::AppState state;
  FakeWindowPlatform platform;
};

TEST_F(MenuCommands, MenuBarHoldsTheItemsInOrderWithTheirIds) {
  std::vector<std::string> seen;
  for (const ui::MenuBarEntry& entry : ui::MainMenuBar()) {
    std::string line = std::string(entry.title) + ":";
    if (entry.items.empty()) line += " (" + std::to_string(entry.commandId) + ")";
    for (const ui::MenuItem& item : entry.items) {
      if (item.commandId == ui::MENU_SEPARATOR) {
        line += " -";
      } else {
        line += ' ';
        line += item.text;
        line += '(';
        line += std::to_string(item.commandId);
        line += ')';
      }
    }
    seen.push_back(line);
  }
  EXPECT_EQ(seen, (std::vector<std::string>{"File: About(104) - Exit(105)", "EXE: ToPSF(7000) FromPSF(7001)",
                                            "Sequence: SepToSeq(7009) - SeqToMid(7010)",
                                            "VAB: Split(7005) Combine(7006) - ToVAG(7007)", "PSF: (151)"}));
}

TEST_F(MenuCommands, AboutShowsEightLinesWithTheMachineFacts) {
  state.systemInfo.computerName = "lantern";
  state.systemInfo.osName = "Debian GNU/Linux 12 (bookworm)";
  ASSERT_TRUE(Run(ui::COMMAND_ABOUT));
  ASSERT_EQ(platform.dialogs.messages.size(), 1U);
  EXPECT_EQ(platform.dialogs.messages[0].first, "Lanternfieldquarrystone Utility");
  EXPECT_EQ(Lines(platform.dialogs.messages[0].second, "\r\n"),
            (std::vector<std::string>{"Powered by Mossgate", "Version 0.8.5.0", "", "May  9 2015", "13:00:57", "",
                                      "lantern", "Debian GNU/Linux 12 (bookworm)"}));
}

TEST_F(MenuCommands, AboutWithoutAnOsNameReadsNull) {
  state.systemInfo.computerName = "lantern";
  Run(ui::COMMAND_ABOUT);
  ASSERT_EQ(platform.dialogs.messages.size(), 1U);
  EXPECT_EQ(Lines(platform.dialogs.messages[0].second, "\r\n").back(), "(null)");
}

TEST_F(MenuCommands, ExitAndPsfGoToTheWindow) {
  EXPECT_TRUE(Run(ui::COMMAND_EXIT));
  EXPECT_TRUE(Run(ui::COMMAND_PSF));
  EXPECT_EQ(platform.closeRequests, 1);
  EXPECT_EQ(platform.builderDialogRuns, 1);
  EXPECT_FALSE(Run(9999));
  EXPECT_TRUE(platform.dialogOrder.empty());
}

TEST_F(MenuCommands, ToPsfAndFromPsfWriteBesideTheChosenFile) {
  const auto exe = Write(dir, "song.exe", ui_testing::ExeBytes());
  Answer(exe);
  Run(ui::COMMAND_EXE_TO_PSF);
  ASSERT_EQ(platform.dialogs.openRequests.size(), 1U);
  EXPECT_EQ(platform.dialogs.openRequests[0].defaultExtension, "EXE");
  EXPECT_EQ(platform.dialogs.openRequests[0].filter.entries,
            (std::vector<std::pair<std::string, std::string>>{{"Sony PlayStation File (*.EXE)", "*.EXE"}}));
  const auto psfBytes = ReadBytes(dir / "song.psf");
  ASSERT_GT(psfBytes.size(), 16U);
  EXPECT_EQ(std::string(psfBytes.begin(), psfBytes.begin() + 4), std::string("PSF\x01", 4));

  // Back again from a copy under another name, so the EXE written is a new file.
  Write(dir, "back.psf", psfBytes);
  Answer(dir / "back.psf");
  Run(ui::COMMAND_PSF_TO_EXE);
  EXPECT_EQ(platform.dialogs.openRequests[1].defaultExtension, "PSF");
  EXPECT_EQ(platform.dialogs.openRequests[1].filter.entries,
            (std::vector<std::pair<std::string, std::string>>{
                {"Portable Sound Format (*.PSF;*.MINIPSF)", "*.PSF;*.MINIPSF"}}));
  EXPECT_EQ(ReadBytes(dir / "back.exe"), ui_testing::ExeBytes());
  EXPECT_TRUE(platform.dialogs.messages.empty());
  EXPECT_EQ(platform.notes, (std::vector<std::string>{"wrote song.psf", "wrote back.exe"}));
}

TEST_F(MenuCommands, CancelledSingleDialogsDoNothingAndSayNothing) {
  Write(dir, "song.exe", ui_testing::ExeBytes());
  for (int id : {ui::COMMAND_EXE_TO_PSF, ui::COMMAND_PSF_TO_EXE, ui::COMMAND_SPLIT_VAB, ui::COMMAND_VAB_TO_VAG,
                 ui::COMMAND_SEP_TO_SEQ, ui::COMMAND_SEQ_TO_MIDI}) {
    Cancel();
    EXPECT_TRUE(Run(id));
  }
  EXPECT_EQ(platform.dialogOrder,
            (std::vector<std::string>{"open EXE", "open PSF", "open VAB", "open VAB", "open SEP", "open SEQ"}));
  EXPECT_EQ(dir.Listing(), std::vector<std::string>{"song.exe"});
  EXPECT_TRUE(platform.dialogs.messages.empty());
  EXPECT_TRUE(platform.notes.empty());
}

TEST_F(MenuCommands, SplitWritesVhAndVbAndReleasesTheSharedBank) {
  Answer(Write(dir, "bank.vab", ui_testing::VabBytes()));
  Run(ui::COMMAND_SPLIT_VAB);
  EXPECT_EQ(platform.dialogs.openRequests[0].filter.entries,
            (std::vector<std::pair<std::string, std::string>>{{"Sony PlayStation File (*.VAB)", "*.VAB"}}));
  EXPECT_EQ(ReadBytes(dir / "bank.vh"), ui_testing::VhBytes());
  EXPECT_EQ(ReadBytes(dir / "bank.vb"), ui_testing::VbBytes());
  EXPECT_FALSE(state.sharedBank.loaded);
  EXPECT_TRUE(platform.dialogs.messages.empty());
  EXPECT_EQ(platform.notes, std::vector<std::string>{"wrote bank.vh and bank.vb"});
}

TEST_F(MenuCommands, CombineAsksForVhVbThenTheVabAndReplacesAnExistingOne) {
  Answer(Write(dir, "town.vh", ui_testing::VhBytes()));
  Answer(Write(dir, "town.vb", ui_testing::VbBytes()));
  Answer(Write(dir, "joined.vab", {1, 2, 3}));
  Run(ui::COMMAND_COMBINE_VAB);
  EXPECT_EQ(platform.dialogOrder, (std::vector<std::string>{"open VH", "open VB", "save"}));
  EXPECT_EQ(platform.dialogs.openRequests[0].filter.entries,
            (std::vector<std::pair<std::string, std::string>>{{"Sony PlayStation File (*.VH)", "*.VH"}}));
  EXPECT_EQ(platform.dialogs.openRequests[1].filter.entries,
            (std::vector<std::pair<std::string, std::string>>{{"Sony PlayStation File (*.VB)", "*.VB"}}));
  EXPECT_EQ(ReadBytes(dir / "joined.vab"), ui_testing::VabBytes());
  EXPECT_FALSE(state.sharedBank.loaded);
  EXPECT_TRUE(platform.dialogs.messages.empty());
  EXPECT_EQ(platform.notes, std::vector<std::string>{"wrote joined.vab"});
}

TEST_F(MenuCommands, CombineShowsAllThreeDialogsEvenAfterACancel) {
  Cancel();
  Answer(Write(dir, "town.vb", ui_testing::VbBytes()));
  Answer(dir / "joined.vab");
  Run(ui::COMMAND_COMBINE_VAB);
  EXPECT_EQ(platform.dialogOrder, (std::vector<std::string>{"open VH", "open VB", "save"}));
  EXPECT_EQ(dir.Listing(), std::vector<std::string>{"town.vb"});
  EXPECT_TRUE(platform.dialogs.messages.empty());
  EXPECT_TRUE(platform.notes.empty());
}

TEST_F(MenuCommands, CombineOfUnreadableFilesSaysWhichAndWhy) {
  Answer(dir / "missing.vh");
  Answer(Write(dir, "town.vb", ui_testing::VbBytes()));
  Answer(dir / "joined.vab");
  Run(ui::COMMAND_COMBINE_VAB);
  ASSERT_EQ(platform.dialogs.messages.size(), 1U);
  const std::string& text = platform.dialogs.messages[0].second;
  EXPECT_NE(text.find("Combine " + (dir / "missing.vh").string()), std::string::npos) << text;
  EXPECT_NE(text.find("cannot open"), std::string::npos) << text;
  EXPECT_FALSE(std::filesystem::exists(dir / "joined.vab"));
  EXPECT_TRUE(platform.notes.empty());
}

TEST_F(MenuCommands, ToVagWritesEverySample) {
  Answer(Write(dir, "bank.vab", ui_testing::VabBytes()));
  Run(ui::COMMAND_VAB_TO_VAG);
  EXPECT_EQ(dir.Listing(), (std::vector<std::string>{"bank.vab", "bank00.vag", "bank01.vag"}));
  // 64-byte header, the sample's bytes, the 16-byte end block.
  EXPECT_EQ(ReadBytes(dir / "bank00.vag").size(), 64U + 32U + 16U);
  EXPECT_EQ(ReadBytes(dir / "bank01.vag").size(), 64U + 16U + 16U);
  EXPECT_FALSE(state.sharedBank.loaded);
  EXPECT_EQ(platform.notes, std::vector<std::string>{"wrote bank00.vag to bank01.vag"});
}

TEST_F(MenuCommands, ToVagOfABankWithoutSamplesSaysWhyNothingAppeared) {
  auto vab = ui_testing::VhBytes();
  vab[0x16] = 0;  // sampleCount 0: the VAB is its VH alone
  vab[0x17] = 0;
  const auto path = Write(dir, "empty.vab", vab);
  Answer(path);
  Run(ui::COMMAND_VAB_TO_VAG);
  ASSERT_EQ(platform.dialogs.messages.size(), 1U);
  EXPECT_EQ(platform.dialogs.messages[0].second, "ToVAG " + path.string() + ":\nthe VAB holds no sample");
  EXPECT_EQ(dir.Listing(), std::vector<std::string>{"empty.vab"});
  EXPECT_TRUE(platform.notes.empty());
}

TEST_F(MenuCommands, SepToSeqAndSeqToMidWriteBesideTheChosenFile) {
  Answer(Write(dir, "music.sep", ui_testing::SepBytes()));
  Run(ui::COMMAND_SEP_TO_SEQ);
  Answer(Write(dir, "song.seq", ui_testing::SeqBytes()));
  Run(ui::COMMAND_SEQ_TO_MIDI);
  EXPECT_EQ(dir.Listing(),
            (std::vector<std::string>{"music.sep", "music00.seq", "music01.seq", "song.mid", "song.seq"}));
  const auto midi = ReadBytes(dir / "song.mid");
  ASSERT_GE(midi.size(), 4U);
  EXPECT_EQ(std::string(midi.begin(), midi.begin() + 4), "MThd");
  EXPECT_TRUE(platform.dialogs.messages.empty());
  EXPECT_EQ(platform.notes, (std::vector<std::string>{"wrote music00.seq to music01.seq", "wrote song.mid"}));
}

TEST_F(MenuCommands, PercentInANameIsTakenLiterally) {
  Answer(Write(dir, "100%s.seq", ui_testing::SeqBytes()));
  Run(ui::COMMAND_SEQ_TO_MIDI);
  Answer(Write(dir, "50%d.vab", ui_testing::VabBytes()));
  Run(ui::COMMAND_VAB_TO_VAG);
  EXPECT_TRUE(std::filesystem::exists(dir / "100%s.mid"));
  EXPECT_TRUE(std::filesystem::exists(dir / "50%d00.vag"));
}

TEST_F(MenuCommands, AConversionThatWritesNothingNamesTheFileAndTheReason) {
  const auto notSep = Write(dir, "song.sep", ui_testing::SeqBytes());
  Answer(notSep);
  Run(ui::COMMAND_SEP_TO_SEQ);
  Answer(dir / "gone.exe");
  Run(ui::COMMAND_EXE_TO_PSF);
  ASSERT_EQ(platform.dialogs.messages.size(), 2U);
  EXPECT_EQ(platform.dialogs.messages[0].first, "Lanternfieldquarrystone Utility");
  EXPECT_EQ(platform.dialogs.messages[0].second.rfind("SepToSeq " + notSep.string() + ":\n", 0), 0U)
      << platform.dialogs.messages[0].second;
  EXPECT_EQ(platform.dialogs.messages[1].second,
            "ToPSF " + (dir / "gone.exe").string() + ":\ncannot open: No such file or directory");
  EXPECT_EQ(dir.Listing(), std::vector<std::string>{"song.sep"});
  EXPECT_TRUE(platform.notes.empty());
}

TEST_F(MenuCommands, NotesNameSingleAndNumberedOutputsByFileName) {
  EXPECT_EQ(ui::WrittenNote(ui::COMMAND_SEQ_TO_MIDI, "/m/town.SEQ"), "wrote town.mid");
  EXPECT_EQ(ui::WrittenNote(ui::COMMAND_SEP_TO_SEQ, "/m/town.sep", 1), "wrote town00.seq");
  // A drop does not know how many numbered files it wrote.
  EXPECT_EQ(ui::WrittenNote(ui::COMMAND_VAB_TO_VAG, "/m/bank.vab"), "wrote the VAG files of bank.vab");
  EXPECT_EQ(ui::WrittenNote(ui::COMMAND_ABOUT, "/m/bank.vab"), "");
}

TEST_F(MenuCommands, EveryMenuHasDistinctMnemonicsTakenFromItsTexts) {
  std::string titleLetters;
  for (const ui::MenuBarEntry& entry : ui::MainMenuBar()) {
    EXPECT_NE(entry.title.find(entry.mnemonic), std::string_view::npos) << entry.title;
    titleLetters += entry.mnemonic;
    std::string itemLetters;
    for (const ui::MenuItem& item : entry.items) {
      if (item.commandId == ui::MENU_SEPARATOR) continue;
      EXPECT_NE(item.text.find(item.mnemonic), std::string_view::npos) << item.text;
      EXPECT_EQ(itemLetters.find(item.mnemonic), std::string::npos) << item.text;
      itemLetters += item.mnemonic;
    }
  }
  EXPECT_EQ(titleLetters, "FESVP");
  EXPECT_EQ(ui::MenuTextWithMnemonic("Exit", 'x'), "E&xit");
  EXPECT_EQ(ui::MenuTextWithMnemonic("SeqToMid", 'S'), "&SeqToMid");
  EXPECT_EQ(ui::MenuTextWithMnemonic("R&B", 'B'), "R&&&B");
  EXPECT_EQ(ui::MenuTextWithMnemonic("PSF", 0), "PSF");
  EXPECT_EQ(ui::MenuTextWithMnemonic("PSF", 'z'), "PSF");
}

}  // namespace
