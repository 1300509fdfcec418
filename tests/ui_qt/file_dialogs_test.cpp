#include "ui/qt/file_dialogs.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QStringList>
#include <QTest>
#include <algorithm>

#include "qt_test_application.h"
#include "support/temp_dir.h"

namespace {

using testing_support::TempDir;

core::FileFilter Filter(const char* description, const char* pattern) {
  core::FileFilter filter;
  filter.entries.emplace_back(description, pattern);
  return filter;
}

// The names the dialog lists in a directory, once it has read the directory (at most a few seconds).
QStringList ListedNames(QFileDialog& dialog, const std::filesystem::path& directory, qsizetype expectedCount) {
  auto* model = dialog.findChild<QFileSystemModel*>();
  if (model == nullptr) return {};
  const QString path = QString::fromStdString(directory.string());
  dialog.setDirectory(path);
  QStringList names;
  QElapsedTimer clock;
  clock.start();
  do {
    QTest::qWait(10);
    const QModelIndex root = model->index(path);
    names.clear();
    for (int row = 0; row < model->rowCount(root); ++row) names << model->index(row, 0, root).data().toString();
  } while (names.size() < expectedCount && clock.elapsed() < 5000);
  QTest::qWait(50);  // anything that should not be listed has had its chance to show up too
  const QModelIndex root = model->index(path);
  names.clear();
  for (int row = 0; row < model->rowCount(root); ++row) names << model->index(row, 0, root).data().toString();
  names.sort();
  return names;
}

TEST(FileDialogs, PatternsMatchEveryLetterCase) {
  EXPECT_EQ(ui::CaselessPatterns("*.SEQ"), QStringLiteral("*.[Ss][Ee][Qq]"));
  EXPECT_EQ(ui::CaselessPatterns("*.PSF;*.MINIPSF"), QStringLiteral("*.[Pp][Ss][Ff] *.[Mm][Ii][Nn][Ii][Pp][Ss][Ff]"));
  EXPECT_EQ(ui::QtNameFilter("Sony PlayStation File (*.VH)", "*.VH"),
            QStringLiteral("Sony PlayStation File (*.VH) (*.[Vv][Hh])"));
}

TEST(FileDialogs, OpenDialogListsMatchingFilesInAnyCase) {
  ui_testing::TestApplication();
  TempDir dir;
  for (const char* name : {"a.SEQ", "b.seq", "c.Seq", "d.sep", "e.VAG", "notes.txt"}) {
    testing_support::WriteBytes(dir / name, {1});
  }
  const auto dialog =
      ui::MakeOpenFileDialog("SEQ", Filter("Sony PlayStation File (*.SEQ;*.SEP;*.VAG)", "*.SEQ;*.SEP;*.VAG"));
  EXPECT_EQ(dialog->defaultExtension(), QStringLiteral("SEQ"));
  EXPECT_EQ(dialog->defaultSuffix(), QStringLiteral("seq"));
  EXPECT_EQ(dialog->fileMode(), QFileDialog::ExistingFile);
  EXPECT_EQ(dialog->acceptMode(), QFileDialog::AcceptOpen);
  // The dialog shows the description alone; the caseless patterns stay behind it.
  EXPECT_EQ(dialog->nameFilters(),
            QStringList{QStringLiteral("Sony PlayStation File (*.SEQ;*.SEP;*.VAG) (*.[Ss][Ee][Qq] *.[Ss][Ee][Pp] "
                                       "*.[Vv][Aa][Gg])")});
  EXPECT_EQ(dialog->selectedNameFilter(), QStringLiteral("Sony PlayStation File (*.SEQ;*.SEP;*.VAG)"));
  EXPECT_EQ(ListedNames(*dialog, dir.path(), 5), (QStringList{"a.SEQ", "b.seq", "c.Seq", "d.sep", "e.VAG"}));
}

TEST(FileDialogs, SaveVabDialogNeverAsksBeforeReplacing) {
  ui_testing::TestApplication();
  const auto dialog = ui::MakeSaveVabFileDialog();
  EXPECT_EQ(dialog->acceptMode(), QFileDialog::AcceptSave);
  EXPECT_TRUE(dialog->testOption(QFileDialog::DontConfirmOverwrite));
  EXPECT_EQ(dialog->defaultExtension(), QStringLiteral("VAB"));
  EXPECT_EQ(dialog->defaultSuffix(), QStringLiteral("vab"));
  EXPECT_EQ(dialog->nameFilters(), QStringList{QStringLiteral("Sony PlayStation File (*.VAB) (*.[Vv][Aa][Bb])")});
}

TEST(FileDialogs, MessageTextsUseQtLineBreaks) {
  EXPECT_EQ(ui::MessageBoxText("a\r\nb\r\n\r\nc"), QStringLiteral("a\nb\n\nc"));
}

}  // namespace
