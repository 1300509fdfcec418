#include "ui/qt/main_window.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QDropEvent>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QTest>
#include <QTimer>
#include <QUrl>

#include "modal_answers.h"
#include "qt_test_application.h"
#include "song_files.h"
#include "support/temp_dir.h"
#include "ui/commands/main_menu.h"
#include "ui/qt/builder_dialog.h"
#include "ui/qt/file_dialogs.h"
#include "ui/qt/status_bar.h"

namespace {

using testing_support::TempDir;
using ui_testing::Write;

class MainWindowTest : public ::testing::Test {
 protected:
  MainWindowTest() {
    ui_testing::TestApplication();
    state.systemInfo.computerName = "lantern";
    state.systemInfo.osName = "Debian GNU/Linux 12 (bookworm)";
    window = std::make_unique<ui::MainWindow>(state);
    window->SetOnClosed([this] { ++closed; });
    window->show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(window.get()));
  }

  std::pair<QString, QString> Status() const {
    return {window->statusBar().LeftText(), window->statusBar().RightText()};
  }

  TempDir dir;
  ui::AppState state;
  std::unique_ptr<ui::MainWindow> window;
  int closed = 0;
};

TEST_F(MainWindowTest, FixedSmallWindowWithTitleIconAndIdleStatus) {
  EXPECT_EQ(window->windowTitle(), QStringLiteral("Lanternfieldquarrystone Utility"));
  EXPECT_EQ(window->clientArea().size(), QSize(320, 240));
  EXPECT_EQ(window->minimumSize(), window->maximumSize());
  EXPECT_FALSE(window->windowFlags() & Qt::WindowMaximizeButtonHint);
  EXPECT_TRUE(window->windowFlags() & Qt::WindowMinimizeButtonHint);
  EXPECT_TRUE(window->acceptDrops());
  EXPECT_EQ(window->windowIcon().availableSizes(), QList<QSize>{QSize(48, 48)});

  // The status bar sits below the client area, as wide as it, its left part ending 42 pixels short.
  EXPECT_EQ(window->statusBar().width(), 320);
  EXPECT_EQ(window->statusBar().LeftPartEnd(), 278);
  EXPECT_GE(window->statusBar().y(), window->clientArea().geometry().bottom());
  EXPECT_EQ(Status(), std::make_pair(QStringLiteral("4.2.2.0"), QStringLiteral("READY")));
  EXPECT_EQ(state.mainWindow.clientWidth, 320);
  EXPECT_EQ(state.mainWindow.clientHeight, 240);
  EXPECT_FLOAT_EQ(state.mainWindow.aspectRatio, 320.0f / 240.0f);
}

TEST_F(MainWindowTest, MenuBarCarriesTheCommands) {
  QStringList seen;
  for (QAction* top : window->menuBar().actions()) {
    QString line = top->text() + QLatin1Char(':');
    if (top->menu() == nullptr) line += QStringLiteral(" (%1)").arg(top->data().toInt());
    if (top->menu() != nullptr) {
      for (QAction* item : top->menu()->actions()) {
        line += item->isSeparator() ? QStringLiteral(" -")
                                    : QStringLiteral(" %1(%2)").arg(item->text()).arg(item->data().toInt());
      }
    }
    seen << line;
  }
  // The described texts, each with its mnemonic mark.
  EXPECT_EQ(seen, (QStringList{"&File: &About(104) - E&xit(105)", "&EXE: &ToPSF(7000) &FromPSF(7001)",
                               "&Sequence: &SepToSeq(7009) - SeqTo&Mid(7010)",
                               "&VAB: &Split(7005) &Combine(7006) - &ToVAG(7007)", "&PSF: (151)"}));
  EXPECT_EQ(window->ActionFor(ui::COMMAND_SPLIT_VAB)->iconText(), QStringLiteral("Split"));
  EXPECT_EQ(window->ActionFor(ui::COMMAND_EXIT)->shortcut(), QKeySequence(QStringLiteral("Ctrl+Q")));
  EXPECT_EQ(window->ActionFor(4711), nullptr);
}

TEST_F(MainWindowTest, AboutShowsTheEightLinesInAPlainMessageBox) {
  ui_testing::ModalAnswers answers;
  QString caption;
  QString text;
  QMessageBox::Icon icon = QMessageBox::Critical;
  answers.Add([&](QWidget& widget) {
    auto& box = dynamic_cast<QMessageBox&>(widget);
    caption = box.windowTitle();
    text = box.text();
    icon = box.icon();
    box.accept();
  });
  window->ActionFor(ui::COMMAND_ABOUT)->trigger();
  EXPECT_EQ(caption, QStringLiteral("Lanternfieldquarrystone Utility"));
  EXPECT_EQ(text, QStringLiteral("Powered by Mossgate\nVersion 0.8.5.0\n\nMay  9 2015\n13:00:57\n\nlantern\n"
                                 "Debian GNU/Linux 12 (bookworm)"));
  EXPECT_EQ(icon, QMessageBox::NoIcon);
}

TEST_F(MainWindowTest, ToPsfThroughTheRealFileDialog) {
  const auto exe = Write(dir, "song.exe", ui_testing::ExeBytes());
  ui_testing::ModalAnswers answers;
  answers.ChooseFile(exe);
  window->ActionFor(ui::COMMAND_EXE_TO_PSF)->trigger();
  EXPECT_TRUE(answers.AllUsed());
  EXPECT_EQ(dir.Listing(), (std::vector<std::string>{"song.exe", "song.psf"}));
  // A short-lived note names what was written; the described texts stay underneath.
  EXPECT_EQ(window->statusBar().CurrentMessage(), QStringLiteral("wrote song.psf"));
  EXPECT_EQ(Status(), std::make_pair(QStringLiteral("4.2.2.0"), QStringLiteral("READY")));

  answers.Cancel();
  window->ActionFor(ui::COMMAND_SEQ_TO_MIDI)->trigger();
  EXPECT_TRUE(answers.AllUsed());
  EXPECT_EQ(dir.Listing(), (std::vector<std::string>{"song.exe", "song.psf"}));
}

TEST_F(MainWindowTest, CombineThroughTheRealDialogsInOrder) {
  const auto vh = Write(dir, "town.vh", ui_testing::VhBytes());
  const auto vb = Write(dir, "town.vb", ui_testing::VbBytes());
  ui_testing::ModalAnswers answers;
  QStringList titles;
  for (const auto& path : {vh, vb, dir / "joined"}) {
    answers.Add([&titles, path](QWidget& widget) {
      auto& dialog = dynamic_cast<ui::FileDialog&>(widget);
      titles << dialog.windowTitle() + QLatin1Char(' ') + dialog.defaultExtension();
      dialog.selectFile(QString::fromStdString(path.string()));
      static_cast<QDialog&>(dialog).accept();
    });
  }
  window->ActionFor(ui::COMMAND_COMBINE_VAB)->trigger();
  // The two open dialogs say which half of the VAB they ask for.
  EXPECT_EQ(titles,
            (QStringList{"Open VH file (voice header) VH", "Open VB file (voice samples) VB", "Save VAB file as VAB"}));
  EXPECT_EQ(window->statusBar().CurrentMessage(), QStringLiteral("wrote joined.vab"));
  // The save dialog appends the default extension, in lower case, to a name typed without one.
  EXPECT_EQ(dir.Listing(), (std::vector<std::string>{"joined.vab", "town.vb", "town.vh"}));
  EXPECT_EQ(testing_support::ReadBytes(dir / "joined.vab"), ui_testing::VabBytes());
}

TEST_F(MainWindowTest, OpenDialogAnswersReachTheFileAsItIsNamedOnDisk) {
  Write(dir, "caf\xE9.seq", ui_testing::SeqBytes());  // not UTF-8: the dialog lists it as "caf\uFFFD.seq"
  Write(dir, "song.SEQ", ui_testing::SeqBytes());
  ui_testing::ModalAnswers answers;
  answers.ChooseFile(dir / "caf\xE9.seq");
  window->ActionFor(ui::COMMAND_SEQ_TO_MIDI)->trigger();
  // A name typed without an extension finds the default one in any letter case.
  answers.ChooseFile(dir / "song");
  window->ActionFor(ui::COMMAND_SEQ_TO_MIDI)->trigger();
  EXPECT_TRUE(answers.AllUsed());
  EXPECT_EQ(dir.Listing(), (std::vector<std::string>{"caf\xE9.mid", "caf\xE9.seq", "song.SEQ", "song.mid"}));
}

TEST_F(MainWindowTest, DropsKeepNamesThatAreNotUtf8AndNameUrlsThatAreNoFiles) {
  const auto seq = Write(dir, "caf\xE9.seq", ui_testing::SeqBytes());
  QMimeData data;
  data.setUrls({QUrl::fromEncoded("file://" + QByteArray::fromStdString(seq.string()).toPercentEncoding("/")),
                QUrl::fromEncoded("http://example.com/town.seq")});
  ui_testing::ModalAnswers answers;
  QString message;
  answers.Add([&](QWidget& widget) {
    auto& box = dynamic_cast<QMessageBox&>(widget);
    message = box.text();
    box.accept();
  });
  QDropEvent drop(QPointF(100, 100), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(window.get(), &drop);
  QTRY_VERIFY_WITH_TIMEOUT(answers.AllUsed(), 5000);
  EXPECT_EQ(message, QStringLiteral("http://example.com/town.seq:\nnot a local file"));
  EXPECT_EQ(dir.Listing(), (std::vector<std::string>{"caf\xE9.mid", "caf\xE9.seq"}));
}

std::vector<ui::BuilderDialog*> VisibleBuilderDialogs() {
  std::vector<ui::BuilderDialog*> dialogs;
  for (QWidget* widget : QApplication::topLevelWidgets()) {
    auto* dialog = dynamic_cast<ui::BuilderDialog*>(widget);
    if (dialog != nullptr && dialog->isVisible()) dialogs.push_back(dialog);
  }
  return dialogs;
}

TEST_F(MainWindowTest, PsfOpensBuilderDialogsThatLeaveTheWindowUsable) {
  bool firstSeen = false;
  bool secondSeen = false;
  bool heldAfterSecondClosed = true;
  bool firstOpenAfterSecondClosed = false;
  QTimer::singleShot(0, [&] {
    const auto first = VisibleBuilderDialogs();
    if (first.size() != 1) return;
    firstSeen = true;
    // No owner window and no modality: the main window and its menu stay usable.
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    EXPECT_TRUE(window->isEnabled());
    EXPECT_EQ(first[0]->parentWidget(), nullptr);
    QTimer::singleShot(0, [&] {
      const auto both = VisibleBuilderDialogs();
      secondSeen = both.size() == 2;
      EXPECT_TRUE(state.builder.held);
      for (ui::BuilderDialog* dialog : both) {
        if (dialog != first[0]) dialog->close();
      }
    });
    window->ActionFor(ui::COMMAND_PSF)->trigger();  // a second dialog, run until it is closed
    heldAfterSecondClosed = state.builder.held;
    firstOpenAfterSecondClosed = first[0]->isVisible();
    first[0]->close();
  });
  // Should a dialog never come up, nothing would end its loop: close whatever is left after a while.
  QTimer::singleShot(10000, [] {
    for (ui::BuilderDialog* dialog : VisibleBuilderDialogs()) dialog->close();
  });
  window->ActionFor(ui::COMMAND_PSF)->trigger();
  EXPECT_TRUE(firstSeen);
  EXPECT_TRUE(secondSeen);
  EXPECT_FALSE(heldAfterSecondClosed);
  EXPECT_TRUE(firstOpenAfterSecondClosed);
  EXPECT_TRUE(VisibleBuilderDialogs().empty());
  EXPECT_FALSE(state.builder.held);
}

TEST_F(MainWindowTest, AltFOpensTheFileMenuAndF10TheFirstMenu) {
  window->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
  QMenu* fileMenu = window->menuBar().actions().front()->menu();
  ASSERT_NE(fileMenu, nullptr);
  QTest::keyClick(window.get(), Qt::Key_F, Qt::AltModifier);
  QTRY_VERIFY_WITH_TIMEOUT(fileMenu->isVisible(), 2000);
  fileMenu->close();
  QTRY_VERIFY_WITH_TIMEOUT(!fileMenu->isVisible(), 2000);

  QTest::keyClick(window.get(), Qt::Key_F10);
  EXPECT_EQ(window->menuBar().activeAction(), window->menuBar().actions().front());
}

TEST_F(MainWindowTest, CtrlQClosesTheWindow) {
  window->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
  QTest::keyClick(window.get(), Qt::Key_Q, Qt::ControlModifier);
  EXPECT_EQ(closed, 1);
  EXPECT_FALSE(window->isVisible());
}

TEST_F(MainWindowTest, EmptyClientAreaNamesTheFilesItTakesInItsMiddle) {
  const QLabel& hint = window->dropHint();
  EXPECT_TRUE(hint.isVisible());
  for (const char* kind : {"EXE", "PSF", "SEP", "SEQ", "VAB"}) EXPECT_TRUE(hint.text().contains(kind)) << kind;
  EXPECT_EQ(hint.alignment(), Qt::AlignCenter);
  EXPECT_EQ(hint.parentWidget(), &window->clientArea());
  EXPECT_EQ(hint.geometry().center(), window->clientArea().rect().center());
}

TEST_F(MainWindowTest, TemporaryMessageCoversTheTextsOnlyForItsTime) {
  ui::StatusBar& bar = window->statusBar();
  bar.ShowMessage(QStringLiteral("wrote town.mid"), 50);
  EXPECT_EQ(bar.CurrentMessage(), QStringLiteral("wrote town.mid"));
  QTRY_VERIFY_WITH_TIMEOUT(bar.CurrentMessage().isEmpty(), 2000);
  EXPECT_EQ(Status(), std::make_pair(QStringLiteral("4.2.2.0"), QStringLiteral("READY")));
  // New status texts are seen at once, a message still showing or not.
  bar.ShowMessage(QStringLiteral("wrote town.mid"), 60000);
  window->SetStatusTexts(QStringLiteral("WM_DROPFILES"), QStringLiteral("WAIT"));
  EXPECT_TRUE(bar.CurrentMessage().isEmpty());
}

TEST_F(MainWindowTest, ExitClosesTheWindow) {
  window->ActionFor(ui::COMMAND_EXIT)->trigger();
  EXPECT_EQ(closed, 1);
  EXPECT_FALSE(window->isVisible());
}

TEST_F(MainWindowTest, DroppedFilesAreConvertedInOrderWhileTheStatusBarSaysWait) {
  Write(dir, "x.exe", ui_testing::ExeBytes());
  Write(dir, "song.SEQ", ui_testing::SeqBytes());
  Write(dir, "music.sep", ui_testing::SepBytes());
  Write(dir, "bank.vab", ui_testing::VabBytes());
  Write(dir, "notes", {1, 2, 3});

  // What the status bar showed each time it was painted.
  struct PaintRecorder : QObject {
    ui::StatusBar* bar = nullptr;
    QList<QPair<QString, QString>> painted;
    bool eventFilter(QObject* object, QEvent* event) override {
      if (object == bar && event->type() == QEvent::Paint) painted.append({bar->LeftText(), bar->RightText()});
      return false;
    }
  } recorder;
  recorder.bar = &window->statusBar();
  window->statusBar().installEventFilter(&recorder);

  // x.psf comes from x.exe and then turns back into x.exe, so both succeed only in the order dropped.
  QMimeData data;
  QList<QUrl> urls;
  for (const char* name : {"x.exe", "x.psf", "song.SEQ", "music.sep", "bank.vab", "notes"}) {
    urls << QUrl::fromLocalFile(QString::fromStdString((dir / name).string()));
  }
  data.setUrls(urls);
  QDragEnterEvent enter(QPoint(100, 100), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(window.get(), &enter);
  EXPECT_TRUE(enter.isAccepted());
  QDropEvent drop(QPointF(100, 100), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  // "notes" has no extension and converts to nothing: a message box names it afterwards.
  ui_testing::ModalAnswers answers;
  QString message;
  QPair<QString, QString> statusDuringMessage;
  answers.Add([&](QWidget& widget) {
    auto& box = dynamic_cast<QMessageBox&>(widget);
    message = box.text();
    statusDuringMessage = {window->statusBar().LeftText(), window->statusBar().RightText()};
    box.accept();
  });
  QApplication::sendEvent(window.get(), &drop);
  EXPECT_TRUE(drop.isAccepted());
  QTRY_VERIFY_WITH_TIMEOUT(answers.AllUsed(), 5000);
  QTest::qWait(20);
  EXPECT_TRUE(message.startsWith(QString::fromStdString((dir / "notes").string() + ":\n"))) << message.toStdString();
  EXPECT_EQ(statusDuringMessage, qMakePair(QStringLiteral("4.2.2.0"), QStringLiteral("READY")));
  EXPECT_EQ(window->statusBar().CurrentMessage(), QStringLiteral("converted 5 dropped files"));

  EXPECT_EQ(dir.Listing(),
            (std::vector<std::string>{"bank.vab", "bank00.vag", "bank01.vag", "music.sep", "music00.seq", "music01.seq",
                                      "notes", "song.SEQ", "song.mid", "x.exe", "x.psf"}));
  EXPECT_EQ(testing_support::ReadBytes(dir / "x.exe"), ui_testing::ExeBytes());
  ASSERT_GE(recorder.painted.size(), 2);
  EXPECT_TRUE(recorder.painted.contains(qMakePair(QStringLiteral("WM_DROPFILES"), QStringLiteral("WAIT"))));
  EXPECT_EQ(recorder.painted.back(), qMakePair(QStringLiteral("4.2.2.0"), QStringLiteral("READY")));
  window->statusBar().removeEventFilter(&recorder);
}

}  // namespace
