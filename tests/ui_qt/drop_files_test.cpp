#include "ui/commands/drop_files.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fake_window_platform.h"
#include "song_files.h"
#include "support/temp_dir.h"

namespace {

using testing_support::TempDir;
using ui_testing::Write;
using StatusPair = std::pair<std::string, std::string>;

class DropFiles : public ::testing::Test {
 protected:
  DropFiles() {
    // What was on disk each time the status bar changed.
    platform.onStatusTexts = [this] { listings.push_back(dir.Listing()); };
  }
  void Drop(const std::vector<std::string>& names) {
    std::vector<std::string> paths;
    for (const std::string& name : names) paths.push_back(name.empty() ? name : (dir / name).string());
    ui::HandleDroppedFiles(paths, state, platform);
  }

  TempDir dir;
  ui::AppState state;
  ui_testing::FakeWindowPlatform platform;
  std::vector<std::vector<std::string>> listings;
};

TEST_F(DropFiles, MixedKindsAreAllConvertedInOrderBetweenWaitAndReady) {
  Write(dir, "x.exe", ui_testing::ExeBytes());
  Write(dir, "song.seq", ui_testing::SeqBytes());
  Write(dir, "music.SEP", ui_testing::SepBytes());
  Write(dir, "bank.Vab", ui_testing::VabBytes());
  const std::vector<std::string> before = dir.Listing();

  // x.psf only exists once x.exe has been converted, and turns back into x.exe: both succeed only in order.
  Drop({"x.exe", "", "x.psf", "song.seq", "music.SEP", "bank.Vab"});

  EXPECT_EQ(platform.statusTexts, (std::vector<StatusPair>{{"WM_DROPFILES", "WAIT"}, {"4.2.2.0", "READY"}}));
  ASSERT_EQ(listings.size(), 2U);
  EXPECT_EQ(listings[0], before);  // "WAIT" came up before any work
  EXPECT_EQ(listings[1], (std::vector<std::string>{"bank.Vab", "bank00.vag", "bank01.vag", "music.SEP", "music00.seq",
                                                   "music01.seq", "song.mid", "song.seq", "x.exe", "x.psf"}));
  EXPECT_EQ(testing_support::ReadBytes(dir / "x.exe"), ui_testing::ExeBytes());
  EXPECT_TRUE(platform.dialogs.messages.empty());
  EXPECT_FALSE(state.sharedBank.loaded);
  EXPECT_EQ(platform.notes, std::vector<std::string>{"converted 5 dropped files"});
}

TEST_F(DropFiles, ExtensionCaseDoesNotMatter) {
  for (const char* name : {"a.SEQ", "b.seq", "c.Seq"}) Write(dir, name, ui_testing::SeqBytes());
  Drop({"a.SEQ", "b.seq", "c.Seq"});
  EXPECT_EQ(dir.Listing(), (std::vector<std::string>{"a.SEQ", "a.mid", "b.mid", "b.seq", "c.Seq", "c.mid"}));
}

TEST_F(DropFiles, FilesThatProduceNothingAreListedAfterTheIdleTextsReturn) {
  Write(dir, "archive.minipsf", {1, 2, 3});
  Write(dir, "README", {1});
  Write(dir, "fake.sep", ui_testing::SeqBytes());
  Drop({"archive.minipsf", "README", "fake.sep", "missing.vab"});

  ASSERT_EQ(platform.statusTexts.size(), 2U);
  EXPECT_EQ(platform.statusTexts.back(), (StatusPair{"4.2.2.0", "READY"}));
  EXPECT_EQ(dir.Listing(), (std::vector<std::string>{"README", "archive.minipsf", "fake.sep"}));
  ASSERT_EQ(platform.dialogs.messages.size(), 1U);
  EXPECT_EQ(platform.dialogs.messages[0].first, "Lanternfieldquarrystone Utility");
  const std::string& text = platform.dialogs.messages[0].second;
  for (const char* name : {"archive.minipsf", "README", "missing.vab"}) {
    EXPECT_NE(text.find((dir / name).string() + ":\n"), std::string::npos) << name << " in " << text;
  }
  EXPECT_LT(text.find("archive.minipsf"), text.find("missing.vab"));
  EXPECT_TRUE(platform.notes.empty());
}

TEST_F(DropFiles, UrlsThatAreNoLocalFilesAreNamedAfterTheFiles) {
  Write(dir, "song.seq", ui_testing::SeqBytes());
  ui::HandleDroppedFiles({(dir / "song.seq").string(), (dir / "notes").string()}, state, platform,
                         {"http://example.com/town.seq"});
  EXPECT_EQ(dir.Listing(), (std::vector<std::string>{"song.mid", "song.seq"}));
  ASSERT_EQ(platform.dialogs.messages.size(), 1U);
  const std::string& text = platform.dialogs.messages[0].second;
  EXPECT_EQ(text.rfind((dir / "notes").string() + ":\n", 0), 0U) << text;
  EXPECT_NE(text.find("\n\nhttp://example.com/town.seq:\nnot a local file"), std::string::npos) << text;
  // The one file converted is named too.
  EXPECT_EQ(platform.notes, std::vector<std::string>{"wrote song.mid"});
}

TEST_F(DropFiles, NothingDroppedStillRestoresTheIdleTexts) {
  Drop({});
  EXPECT_EQ(platform.statusTexts, (std::vector<StatusPair>{{"WM_DROPFILES", "WAIT"}, {"4.2.2.0", "READY"}}));
  EXPECT_TRUE(platform.dialogs.messages.empty());
  EXPECT_TRUE(platform.notes.empty());
}

}  // namespace
