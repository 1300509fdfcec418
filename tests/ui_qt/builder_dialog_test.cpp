#include "ui/qt/builder_dialog.h"

#include <gtest/gtest.h>

#include <QComboBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>

#include "qt_test_application.h"
#include "song_files.h"
#include "support/fake_platform.h"
#include "support/temp_dir.h"

namespace {

using testing_support::TempDir;

class BuilderDialogTest : public ::testing::Test {
 protected:
  BuilderDialogTest() {
    ui_testing::TestApplication();
    dialog = std::make_unique<ui::BuilderDialog>(builder, platform);
    dialog->show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(dialog.get()));
  }
  ~BuilderDialogTest() override { ui::CloseBuilderDialog(builder); }

  QLineEdit& Field(int id) { return dialog->field(id); }
  QPushButton& Button(int id) { return *static_cast<QPushButton*>(dialog->Control(id)); }

  TempDir dir;
  psf::PsfBuilder builder;
  testing_support::FakePlatform platform;
  std::unique_ptr<ui::BuilderDialog> dialog;
};

TEST_F(BuilderDialogTest, OpensWithTheParametersListedAndTheFirstSelected) {
  EXPECT_EQ(dialog->windowTitle(), QStringLiteral("Lanternfieldquarrystone V.4.2.0"));
  QComboBox& list = dialog->parameterList();
  ASSERT_EQ(list.count(), 56);
  EXPECT_EQ(list.itemText(0), QStringLiteral("00 SEQ/SEP/VAG Address"));
  EXPECT_EQ(list.itemText(55), QStringLiteral("55 Mute Channel 15"));
  EXPECT_EQ(list.currentIndex(), 0);
  EXPECT_EQ(Field(ui::BUILDER_VALUE).text(), QStringLiteral("800A0000"));
  EXPECT_EQ(dialog->tagField().toPlainText(), QStringLiteral("length=3:00.000"));
  for (int id : {5, 7, 9, 10}) EXPECT_TRUE(Field(id).text().isEmpty());
  EXPECT_FALSE(dialog->windowFlags() & Qt::WindowMaximizeButtonHint);
  EXPECT_EQ(dialog->parentWidget(), nullptr);
}

TEST_F(BuilderDialogTest, ControlsAreLaidOutInDialogUnitsAndTabOrder) {
  const ui::DialogUnits units = ui::DialogUnits::ForFont(dialog->font());
  // 16 units taller than the classic layout, for the Length button under the tag field.
  EXPECT_EQ(dialog->size(), units.ToPixels(0, 0, 258, 242).size());
  EXPECT_EQ(Field(ui::BUILDER_SEQUENCE_PATH).geometry(), units.ToPixels(6, 8, 192, 12));
  EXPECT_EQ(Button(ui::BUILDER_SAVE).geometry(), units.ToPixels(200, 103, 50, 14));
  EXPECT_EQ(dialog->tagField().geometry(), units.ToPixels(4, 124, 250, 98));
  EXPECT_EQ(Button(ui::BUILDER_OPEN_SEQUENCE).text(), QStringLiteral("Open"));
  EXPECT_EQ(Button(ui::BUILDER_SET).text(), QStringLiteral("Set"));
  EXPECT_EQ(Button(ui::BUILDER_LENGTH).text(), QStringLiteral("Length"));
  EXPECT_EQ(Button(ui::BUILDER_LENGTH).geometry(), units.ToPixels(204, 225, 50, 14));

  QList<QGroupBox*> boxes = dialog->findChildren<QGroupBox*>();
  std::sort(boxes.begin(), boxes.end(), [](QGroupBox* a, QGroupBox* b) { return a->y() < b->y(); });
  QStringList groups;
  for (const QGroupBox* group : boxes) groups << group->title();
  EXPECT_EQ(groups, (QStringList{"Sequence", "Header", "Sample", "Parameter", "PSF"}));

  // Tab walks the controls in the order of the table, group boxes left out.
  std::vector<int> order;
  const std::vector<int> ids{5, 4, 7, 6, 9, 8, 1, 2, 3, 10, 11, 1000, 12};
  QWidget* widget = dialog->Control(5);
  for (std::size_t i = 0; i < ids.size(); ++i) {
    for (int id : ids) {
      if (dialog->Control(id) == widget) order.push_back(id);
    }
    widget = widget->nextInFocusChain();
    while (widget != nullptr && !(widget->focusPolicy() & Qt::TabFocus)) widget = widget->nextInFocusChain();
  }
  EXPECT_EQ(order, ids);
}

TEST_F(BuilderDialogTest, SelectingAndSettingShowTheImageValue) {
  dialog->parameterList().setCurrentIndex(18);
  EXPECT_EQ(Field(ui::BUILDER_VALUE).text(), QStringLiteral("7F"));
  dialog->parameterList().setCurrentIndex(20);
  EXPECT_EQ(Field(ui::BUILDER_VALUE).text(), QStringLiteral("6E"));

  dialog->parameterList().setCurrentIndex(22);
  Field(ui::BUILDER_VALUE).setText(QStringLiteral("1FFFF"));
  QTest::mouseClick(&Button(ui::BUILDER_SET), Qt::LeftButton);
  EXPECT_EQ(Field(ui::BUILDER_VALUE).text(), QStringLiteral("FFFF"));

  dialog->parameterList().setCurrentIndex(1);
  Field(ui::BUILDER_VALUE).clear();
  QTest::mouseClick(&Button(ui::BUILDER_SET), Qt::LeftButton);
  EXPECT_EQ(Field(ui::BUILDER_VALUE).text(), QStringLiteral("0"));
}

TEST_F(BuilderDialogTest, EnterRefreshesEscapeDoesNothingAndOnlyTheCloseBoxCloses) {
  Field(ui::BUILDER_VALUE).setFocus();
  Field(ui::BUILDER_VALUE).setText(QStringLiteral("123"));
  QTest::keyClick(&Field(ui::BUILDER_VALUE), Qt::Key_Return);
  EXPECT_EQ(Field(ui::BUILDER_VALUE).text(), QStringLiteral("800A0000"));

  // Enter in the tag field is a line break.
  dialog->tagField().setFocus();
  dialog->tagField().moveCursor(QTextCursor::End);
  QTest::keyClick(&dialog->tagField(), Qt::Key_Return);
  EXPECT_EQ(dialog->tagField().toPlainText(), QStringLiteral("length=3:00.000\n"));

  QTest::keyClick(&Field(ui::BUILDER_PSF_PATH), Qt::Key_Escape);
  EXPECT_TRUE(dialog->isVisible());
  EXPECT_TRUE(builder.held);

  dialog->close();
  EXPECT_FALSE(dialog->isVisible());
  EXPECT_EQ(dialog->result(), 1);
  EXPECT_FALSE(builder.held);
}

TEST_F(BuilderDialogTest, OpenButtonsFillOrEmptyTheirFields) {
  platform.answers = {"/music/town.vh"};
  QTest::mouseClick(&Button(ui::BUILDER_OPEN_HEADER), Qt::LeftButton);
  EXPECT_EQ(Field(ui::BUILDER_HEADER_PATH).text(), QStringLiteral("/music/town.vh"));
  QTest::mouseClick(&Button(ui::BUILDER_OPEN_HEADER), Qt::LeftButton);  // cancelled
  EXPECT_TRUE(Field(ui::BUILDER_HEADER_PATH).text().isEmpty());
  ASSERT_EQ(platform.openRequests.size(), 2U);
  EXPECT_EQ(platform.openRequests[0].defaultExtension, "VH");
}

TEST_F(BuilderDialogTest, SaveWritesThePsfWithTheTagField) {
  Field(ui::BUILDER_SEQUENCE_PATH)
      .setText(QString::fromStdString(ui_testing::Write(dir, "town.seq", ui_testing::SeqBytes()).string()));
  dialog->tagField().setPlainText(QStringLiteral("title=Town\nlength=1:00"));
  QTest::mouseClick(&Button(ui::BUILDER_SAVE), Qt::LeftButton);  // no PSF path: nothing, silently
  EXPECT_EQ(dir.Listing(), std::vector<std::string>{"town.seq"});
  EXPECT_TRUE(platform.messages.empty());

  Field(ui::BUILDER_PSF_PATH).setText(QString::fromStdString((dir / "town.psf").string()));
  QTest::mouseClick(&Button(ui::BUILDER_SAVE), Qt::LeftButton);
  const auto psf = testing_support::ReadBytes(dir / "town.psf");
  const std::string tail = "[TAG]title=Town\nlength=1:00";
  ASSERT_GT(psf.size(), tail.size());
  EXPECT_EQ(std::string(psf.end() - static_cast<std::ptrdiff_t>(tail.size()), psf.end()), tail);
  EXPECT_TRUE(platform.messages.empty());
}

TEST_F(BuilderDialogTest, SaveWritesANonAsciiTagFieldAsUtf8) {
  dialog->tagField().setPlainText(QStringLiteral("title=Caf\u00E9 \u6771\u4EAC"));
  Field(ui::BUILDER_PSF_PATH).setText(QString::fromStdString((dir / "town.psf").string()));
  QTest::mouseClick(&Button(ui::BUILDER_SAVE), Qt::LeftButton);
  const auto psf = testing_support::ReadBytes(dir / "town.psf");
  const std::string tail = "[TAG]title=Caf\xC3\xA9 \xE6\x9D\xB1\xE4\xBA\xAC";
  ASSERT_GT(psf.size(), tail.size());
  EXPECT_EQ(std::string(psf.end() - static_cast<std::ptrdiff_t>(tail.size()), psf.end()), tail);
}

TEST_F(BuilderDialogTest, LengthButtonFillsTheLengthAndFadeLines) {
  Field(ui::BUILDER_SEQUENCE_PATH)
      .setText(QString::fromStdString(ui_testing::Write(dir, "town.seq", ui_testing::SeqBytes()).string()));
  // The song plays once and stops: 96 ticks at 480 a quarter and 120 BPM.
  for (int parameter : {4, 5}) {  // Playback Amount, Automatic Stop
    dialog->parameterList().setCurrentIndex(parameter);
    Field(ui::BUILDER_VALUE).setText(QStringLiteral("1"));
    QTest::mouseClick(&Button(ui::BUILDER_SET), Qt::LeftButton);
  }
  dialog->tagField().setPlainText(QStringLiteral("title=Town\nlength=3:00.000\nartist=Me"));
  QTest::mouseClick(&Button(ui::BUILDER_LENGTH), Qt::LeftButton);
  EXPECT_TRUE(platform.messages.empty());
  EXPECT_EQ(dialog->tagField().toPlainText(), QStringLiteral("title=Town\nlength=0:00.1\nfade=0:00.0\nartist=Me"));
  EXPECT_TRUE(dir.Listing() == std::vector<std::string>{"town.seq"});

  Field(ui::BUILDER_SEQUENCE_PATH).setText(QString::fromStdString((dir / "missing.seq").string()));
  QTest::mouseClick(&Button(ui::BUILDER_LENGTH), Qt::LeftButton);
  ASSERT_EQ(platform.messages.size(), 1U);
  EXPECT_EQ(platform.messages[0].second.rfind("Length:\nnot computed: a song file could not be placed\n\n" +
                                                  (dir / "missing.seq").string() + ":\ncannot open",
                                              0),
            0U)
      << platform.messages[0].second;
  EXPECT_EQ(dialog->tagField().toPlainText(), QStringLiteral("title=Town\nlength=0:00.1\nfade=0:00.0\nartist=Me"));
}

TEST_F(BuilderDialogTest, SaveToAnUnwritablePlaceSaysSo) {
  Field(ui::BUILDER_PSF_PATH).setText(QString::fromStdString((dir / "missing" / "town.psf").string()));
  QTest::mouseClick(&Button(ui::BUILDER_SAVE), Qt::LeftButton);
  ASSERT_EQ(platform.messages.size(), 1U);
  EXPECT_EQ(platform.messages[0].second.rfind("Save " + (dir / "missing" / "town.psf").string() + ":\n", 0), 0U);
}

TEST_F(BuilderDialogTest, PathFieldsKeepNamesThatAreNotUtf8) {
  const auto seq = ui_testing::SeqBytes();
  platform.answers = {ui_testing::Write(dir, "caf\xE9.seq", seq).string()};
  QTest::mouseClick(&Button(ui::BUILDER_OPEN_SEQUENCE), Qt::LeftButton);
  EXPECT_EQ(Field(ui::BUILDER_SEQUENCE_PATH).text(), QString::fromStdString((dir / "caf\xE9.seq").string()));
  Field(ui::BUILDER_PSF_PATH).setText(QString::fromStdString((dir / "town.psf").string()));
  QTest::mouseClick(&Button(ui::BUILDER_SAVE), Qt::LeftButton);
  EXPECT_TRUE(platform.messages.empty());
  EXPECT_EQ(dialog->model().sequencePath, (dir / "caf\xE9.seq").string());
  EXPECT_EQ(dir.Listing(), (std::vector<std::string>{"caf\xE9.seq", "town.psf"}));

  // A name the user types replaces the one chosen.
  Field(ui::BUILDER_SEQUENCE_PATH).setText(QString::fromStdString((dir / "missing.seq").string()));
  QTest::mouseClick(&Button(ui::BUILDER_SAVE), Qt::LeftButton);
  ASSERT_EQ(platform.messages.size(), 1U);
  EXPECT_NE(platform.messages[0].second.find((dir / "missing.seq").string() + ":\ncannot open"), std::string::npos);
}

TEST_F(BuilderDialogTest, ASecondDialogTakesOverTheDriverAndClosingEitherReleasesIt) {
  ui::BuilderDialog second(builder, platform);
  dialog->parameterList().setCurrentIndex(18);
  Field(ui::BUILDER_VALUE).setText(QStringLiteral("40"));
  QTest::mouseClick(&Button(ui::BUILDER_SET), Qt::LeftButton);
  EXPECT_EQ(Field(ui::BUILDER_VALUE).text(), QStringLiteral("40"));  // the driver the second one loaded

  second.close();
  EXPECT_FALSE(builder.held);
  Field(ui::BUILDER_VALUE).setText(QStringLiteral("50"));
  QTest::mouseClick(&Button(ui::BUILDER_SET), Qt::LeftButton);
  EXPECT_EQ(Field(ui::BUILDER_VALUE).text(), QStringLiteral("0"));
  EXPECT_TRUE(dialog->isVisible());
}

}  // namespace
