#include "ui/qt/main_window.h"

#include <QAction>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QGuiApplication>
#include <QKeySequence>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QScreen>
#include <QShortcut>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>

#include "ui/commands/centre_window.h"
#include "ui/commands/command_line.h"
#include "ui/commands/drop_files.h"
#include "ui/commands/main_menu.h"
#include "ui/commands/menu_commands.h"
#include "ui/qt/app_icon.h"
#include "ui/qt/file_names.h"
#include "ui/qt/status_bar.h"

namespace ui {

namespace {

QString ToQString(std::string_view text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

QString MenuText(std::string_view text, char mnemonic) {
  return QString::fromStdString(MenuTextWithMnemonic(text, mnemonic));
}

// What a drop carries, in the order it lists them: the local files' paths as bytes, and the URLs that name
// no local file.
MainWindow::Drop DroppedItems(const QMimeData* data) {
  MainWindow::Drop drop;
  if (data == nullptr) return drop;
  for (const QUrl& url : data->urls()) {
    if (url.isEmpty()) continue;
    if (auto path = LocalPathOfUrl(url)) {
      drop.paths.push_back(std::move(*path));
    } else {
      drop.otherUrls.push_back(url.toDisplayString().toStdString());
    }
  }
  return drop;
}

}  // namespace

MainWindow::MainWindow(AppState& state)
    : QWidget(nullptr, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                           Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint),
      m_state(state),
      m_platform(state, this),
      m_onClosed([] { QCoreApplication::exit(0); }) {
  SetUpMainWindowGeometry(m_state.mainWindow);
  setWindowTitle(QString::fromLatin1(MAIN_WINDOW_TITLE));
  setWindowIcon(AppIcon());

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  // The window takes exactly the size of its parts and cannot be resized.
  layout->setSizeConstraint(QLayout::SetFixedSize);

  m_menuBar = new QMenuBar(this);
  BuildMenuBar();
  layout->setMenuBar(m_menuBar);

  // The client area shows the window background and, in its middle, what can be dropped on it.
  m_client = new QWidget(this);
  m_client->setFixedSize(m_state.mainWindow.clientWidth, m_state.mainWindow.clientHeight);
  m_client->setAutoFillBackground(true);
  m_client->setBackgroundRole(QPalette::Base);
  auto* clientLayout = new QVBoxLayout(m_client);
  m_dropHint = new QLabel(QString::fromLatin1(DROP_HINT), m_client);
  m_dropHint->setAlignment(Qt::AlignCenter);
  m_dropHint->setWordWrap(true);
  m_dropHint->setForegroundRole(QPalette::PlaceholderText);
  clientLayout->addWidget(m_dropHint);
  layout->addWidget(m_client);

  m_statusBar = new StatusBar(m_state.mainWindow.clientWidth, StatusLeftPartEnd(m_state.mainWindow), this);
  layout->addWidget(m_statusBar);
  m_statusBar->SetTexts(QString(), QString());
  m_platform.SetStatusTexts(VERSION_TEXT, IDLE_STATUS_RIGHT);

  setAcceptDrops(true);

  // F10 opens the first menu, as on other desktops' windows.
  auto* menuKey = new QShortcut(QKeySequence(Qt::Key_F10), this);
  connect(menuKey, &QShortcut::activated, this, [this] {
    const QList<QAction*> entries = m_menuBar->actions();
    if (entries.isEmpty()) return;
    m_menuBar->setFocus(Qt::ShortcutFocusReason);
    m_menuBar->setActiveAction(entries.front());
  });

  m_dropTimer.setSingleShot(true);
  m_dropTimer.setInterval(0);
  connect(&m_dropTimer, &QTimer::timeout, this, [this] { HandlePendingDrops(); });
  m_frameTimer.setSingleShot(true);
  connect(&m_frameTimer, &QTimer::timeout, this, [this] { CheckFrame(); });
}

void MainWindow::BuildMenuBar() {
  for (const MenuBarEntry& entry : MainMenuBar()) {
    if (entry.items.empty()) {
      QAction* action = m_menuBar->addAction(MenuText(entry.title, entry.mnemonic));
      action->setData(entry.commandId);
      const int id = entry.commandId;
      connect(action, &QAction::triggered, this, [this, id] { RunCommand(id); });
      continue;
    }
    QMenu* menu = m_menuBar->addMenu(MenuText(entry.title, entry.mnemonic));
    for (const MenuItem& item : entry.items) {
      if (item.commandId == MENU_SEPARATOR) {
        menu->addSeparator();
        continue;
      }
      QAction* action = menu->addAction(MenuText(item.text, item.mnemonic));
      action->setData(item.commandId);
      if (!item.shortcut.empty()) {
        action->setShortcut(QKeySequence(ToQString(item.shortcut)));
        // The key works while the menu is closed too.
        action->setShortcutContext(Qt::WindowShortcut);
        addAction(action);
      }
      const int id = item.commandId;
      connect(action, &QAction::triggered, this, [this, id] { RunCommand(id); });
    }
  }
}

QAction* MainWindow::ActionFor(int commandId) const {
  for (QAction* action : m_menuBar->findChildren<QAction*>()) {
    if (!action->isSeparator() && action->data().isValid() && action->data().toInt() == commandId) return action;
  }
  return nullptr;
}

void MainWindow::RunCommand(int commandId) { RunMenuCommand(commandId, m_state, m_platform); }

void MainWindow::HandleDrop(const std::vector<std::string>& paths, const std::vector<std::string>& otherUrls) {
  HandleDroppedFiles(paths, m_state, m_platform, otherUrls);
}

void MainWindow::SetStatusTexts(const QString& left, const QString& right) { m_statusBar->SetTexts(left, right); }

void MainWindow::ShowPassingNote(const QString& note) { m_statusBar->ShowMessage(note, PASSING_NOTE_MS); }

void MainWindow::CentreOnScreen() {
  const QScreen* screen = QGuiApplication::primaryScreen();
  if (screen == nullptr) return;
  const QRect desktop = screen->geometry();
  const QRect work = screen->availableGeometry();
  const QSize outer = frameGeometry().size();
  const WindowPosition position = CentreWindow(
      outer.width(), outer.height(),
      ScreenRect{desktop.left(), desktop.top(), desktop.left() + desktop.width(), desktop.top() + desktop.height()},
      ScreenRect{work.left(), work.top(), work.left() + work.width(), work.top() + work.height()}, desktop.width(),
      desktop.height());
  move(position.x, position.y);
  RecordWindowRect();
}

void MainWindow::RecordWindowRect() {
  // The client rectangle grown by the frame, the menu bar and the status bar.
  const QRect frame = frameGeometry();
  const QPoint clientOrigin = m_client->mapTo(this, QPoint(0, 0)) + (geometry().topLeft() - frame.topLeft());
  WindowRect& rect = m_state.mainWindow.windowRect;
  rect.left = -clientOrigin.x();
  rect.top = -clientOrigin.y();
  rect.right = rect.left + frame.width();
  rect.bottom = rect.top + frame.height();
}

void MainWindow::dragEnterEvent(QDragEnterEvent* event) {
  if (event->mimeData() != nullptr && event->mimeData()->hasUrls()) event->acceptProposedAction();
}

void MainWindow::dragMoveEvent(QDragMoveEvent* event) {
  if (event->mimeData() != nullptr && event->mimeData()->hasUrls()) event->acceptProposedAction();
}

void MainWindow::dropEvent(QDropEvent* event) {
  Drop drop = DroppedItems(event->mimeData());
  event->acceptProposedAction();
  // The work starts once the drop has been acknowledged, so the program the files came from is not kept
  // waiting for the conversions.
  m_pendingDrops.push_back(std::move(drop));
  m_dropTimer.start();
}

void MainWindow::HandlePendingDrops() {
  while (!m_pendingDrops.empty()) {
    const Drop drop = std::move(m_pendingDrops.front());
    m_pendingDrops.pop_front();
    HandleDrop(drop.paths, drop.otherUrls);
  }
}

void MainWindow::closeEvent(QCloseEvent* event) {
  event->accept();
  if (m_onClosed) m_onClosed();
}

void MainWindow::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  // The frame's size is known only once the window manager has framed the window; centre again with it.
  if (m_frameChecks == 0) m_frameTimer.start(0);
}

void MainWindow::CheckFrame() {
  ++m_frameChecks;
  if (frameGeometry().size() != size()) {
    CentreOnScreen();
  } else if (m_frameChecks < FRAME_CHECK_LIMIT) {
    m_frameTimer.start(FRAME_CHECK_INTERVAL_MS);
  }
  RecordWindowRect();
}

}  // namespace ui
