#include "ui/qt/file_names.h"

#include <gtest/gtest.h>

#include <QUrl>

#include "support/temp_dir.h"

namespace {

using testing_support::TempDir;
using testing_support::WriteBytes;

// How Qt shows a path whose bytes are not all UTF-8.
QString Shown(const std::filesystem::path& path) { return QString::fromUtf8(path.string().c_str()); }

TEST(FileNames, UrlsKeepTheirBytes) {
  EXPECT_EQ(ui::LocalPathOfUrl(QUrl::fromEncoded("file:///music/caf%E9.seq")), "/music/caf\xE9.seq");
  EXPECT_EQ(ui::LocalPathOfUrl(QUrl::fromEncoded("file:///music/caf%C3%A9%202.seq")), "/music/caf\xC3\xA9 2.seq");
  EXPECT_EQ(ui::LocalPathOfUrl(QUrl::fromEncoded("file://server/share/a%20b.seq")), "//server/share/a b.seq");
  EXPECT_EQ(ui::LocalPathOfUrl(QUrl::fromEncoded("http://example.com/town.seq")), std::nullopt);
  EXPECT_EQ(ui::PathFromQString(QString::fromUtf8("/music/caf\xC3\xA9.seq")), "/music/caf\xC3\xA9.seq");
}

TEST(FileNames, NamesQtShowsWithReplacementCharactersAreFoundOnDisk) {
  TempDir dir;
  std::filesystem::create_directory(dir / "caf\xE9");
  WriteBytes(dir / "caf\xE9" / "r\xE9sum\xE9.seq", {1});
  const std::filesystem::path file = dir / "caf\xE9" / "r\xE9sum\xE9.seq";
  EXPECT_EQ(ui::FindOnDisk(Shown(file)), file.string());
  EXPECT_EQ(ui::FindOnDisk(Shown(dir / "caf\xE9" / "other.seq")), std::nullopt);
  // A new file in a directory whose name is not UTF-8 goes into that directory.
  EXPECT_EQ(ui::FileToSave(Shown(dir / "caf\xE9" / "bank.vab")), (dir / "caf\xE9" / "bank.vab").string());
  EXPECT_EQ(ui::FileToSave(Shown(file)), file.string());

  // Two names Qt shows alike: neither is guessed.
  WriteBytes(dir / "caf\xE8", {1});
  EXPECT_EQ(ui::FindOnDisk(Shown(dir / "caf\xE8")), std::nullopt);
}

TEST(FileNames, OpenFindsTheExtensionInAnyLetterCase) {
  TempDir dir;
  WriteBytes(dir / "song.SEQ", {1});
  WriteBytes(dir / "town.seq", {1});
  WriteBytes(dir / "Town.SEQ", {1});
  std::filesystem::create_directory(dir / "folder.seq");
  const auto open = [&](const std::string& name) { return ui::FindFileToOpen(Shown(dir / name)); };
  EXPECT_EQ(open("song.seq"), (dir / "song.SEQ").string());
  EXPECT_EQ(open("town.seq"), (dir / "town.seq").string());  // the exact name first
  EXPECT_EQ(open("town.Seq"), (dir / "town.seq").string());  // the base name keeps its case
  EXPECT_EQ(open("sonG.seq"), std::nullopt);
  EXPECT_EQ(open("folder.seq"), std::nullopt);
  EXPECT_EQ(open("none.seq"), std::nullopt);
}

}  // namespace
