// Renders the main window, its menus and the builder dialog to PNG files for the documentation. Run it on
// an X display with a window manager (tools/screenshots.sh starts both) so that the frames show.
#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QScreen>
#include <QTest>
#include <QTimer>
#include <cstdio>
#include <memory>

#include "ui/commands/app_state.h"
#include "ui/commands/main_menu.h"
#include "ui/qt/app_icon.h"
#include "ui/qt/builder_dialog.h"
#include "ui/qt/main_window.h"

namespace {

constexpr int MARGIN = 12;

void Settle() {
  QTest::qWait(400);
  QApplication::processEvents();
}

// Grabs the screen around the given area, with a small margin, and saves it.
bool Save(const QRect& area, const QString& path) {
  const QRect shot = area.adjusted(-MARGIN, -MARGIN, MARGIN, MARGIN);
  const QPixmap pixmap =
      QGuiApplication::primaryScreen()->grabWindow(0, shot.x(), shot.y(), shot.width(), shot.height());
  const bool saved = pixmap.save(path, "PNG");
  std::printf("%s %s\n", saved ? "wrote" : "could not write", path.toLocal8Bit().constData());
  return saved;
}

QRect FrameOf(const QWidget& widget) { return widget.frameGeometry(); }

}  // namespace

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  const QString outputDir = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("docs");
  QApplication::setWindowIcon(ui::AppIcon());

  auto state = std::make_unique<ui::AppState>();
  ui::InitApplicationState(*state);
  ui::MainWindow window(*state);
  window.SetOnClosed([] {});
  window.adjustSize();
  window.CentreOnScreen();
  window.show();
  if (!QTest::qWaitForWindowExposed(&window)) return 1;
  Settle();
  window.CentreOnScreen();
  Settle();

  bool ok = Save(FrameOf(window), outputDir + QStringLiteral("/main-window.png"));
  ui::DrawAppIconPixmap().save(outputDir + QStringLiteral("/icon.png"), "PNG");

  // Each menu opened below its title.
  const char* names[] = {"file", "exe", "sequence", "vab"};
  int index = 0;
  for (QAction* top : window.menuBar().actions()) {
    QMenu* menu = top->menu();
    if (menu == nullptr) continue;
    window.menuBar().setActiveAction(top);
    Settle();
    ok = Save(FrameOf(window).united(menu->frameGeometry()),
              outputDir + QStringLiteral("/menu-%1.png").arg(QLatin1String(names[index++]))) &&
         ok;
    menu->hide();
    Settle();
  }

  // The builder dialog, with a parameter chosen to show the value field at work.
  ui::QtPlatform platform(*state, nullptr);
  ui::BuilderDialog dialog(state->builder, platform);
  dialog.show();
  if (!QTest::qWaitForWindowExposed(&dialog)) return 1;
  dialog.parameterList().setCurrentIndex(18);
  dialog.field(ui::BUILDER_SEQUENCE_PATH).setText(QStringLiteral("/home/user/music/town.seq"));
  dialog.field(ui::BUILDER_HEADER_PATH).setText(QStringLiteral("/home/user/music/town.vh"));
  dialog.field(ui::BUILDER_SAMPLE_PATH).setText(QStringLiteral("/home/user/music/town.vb"));
  dialog.field(ui::BUILDER_PSF_PATH).setText(QStringLiteral("/home/user/music/town.psf"));
  dialog.tagField().setPlainText(QStringLiteral("title=Town\nartist=Lanternfieldquarrystone\nlength=3:00.000"));
  Settle();
  ok = Save(FrameOf(dialog), outputDir + QStringLiteral("/builder-dialog.png")) && ok;

  dialog.parameterList().showPopup();
  Settle();
  QWidget* popup = dialog.parameterList().view()->window();
  ok =
      Save(FrameOf(dialog).united(popup->frameGeometry()), outputDir + QStringLiteral("/builder-parameters.png")) && ok;
  dialog.parameterList().hidePopup();
  ui::CloseBuilderDialog(state->builder);
  return ok ? 0 : 1;
}
