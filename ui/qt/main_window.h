#pragma once

#include <QString>
#include <QTimer>
#include <QWidget>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "ui/commands/app_state.h"
#include "ui/qt/qt_platform.h"

class QAction;
class QLabel;
class QMenuBar;

namespace ui {

class StatusBar;

inline constexpr const char* MAIN_WINDOW_TITLE = "Lanternfieldquarrystone Utility";
// The empty client area's hint.
inline constexpr const char* DROP_HINT = "Drop EXE, PSF, SEP, SEQ or VAB files here to convert them";
// How long a note of what a command wrote stays over the status texts.
inline constexpr int PASSING_NOTE_MS = 4000;

// The utility's main window: menu bar, an empty 320 x 240 client area and a two-part status bar; fixed
// size, no maximise box, accepting dropped files. Its menu items run the menu commands; closing it ends
// the program.
class MainWindow : public QWidget {
 public:
  explicit MainWindow(AppState& state);

  QMenuBar& menuBar() const { return *m_menuBar; }
  QWidget& clientArea() const { return *m_client; }
  StatusBar& statusBar() const { return *m_statusBar; }
  QLabel& dropHint() const { return *m_dropHint; }
  WindowPlatform& platform() { return m_platform; }

  // The menu action that runs a command id; null for an id the menu does not have.
  QAction* ActionFor(int commandId) const;

  // Runs a menu command (what a click on its item does).
  void RunCommand(int commandId);
  // What one drop carried: local files as path bytes, and the URLs that name no local file.
  struct Drop {
    std::vector<std::string> paths;
    std::vector<std::string> otherUrls;
  };

  // Converts dropped files one by one, the status bar saying so meanwhile; URLs that name no local file
  // are reported with the files that produced nothing.
  void HandleDrop(const std::vector<std::string>& paths, const std::vector<std::string>& otherUrls = {});
  void SetStatusTexts(const QString& left, const QString& right);
  // Shows a note over the status texts for PASSING_NOTE_MS.
  void ShowPassingNote(const QString& note);

  // Places the window in the middle of its screen.
  void CentreOnScreen();

  // What closing the window does once it has closed; ends the program unless a test says otherwise.
  void SetOnClosed(std::function<void()> onClosed) { m_onClosed = std::move(onClosed); }

 protected:
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dragMoveEvent(QDragMoveEvent* event) override;
  void dropEvent(QDropEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void showEvent(QShowEvent* event) override;

 private:
  void BuildMenuBar();
  void RecordWindowRect();
  void HandlePendingDrops();
  void CheckFrame();

  // How long to wait for the window manager's frame after the window is shown.
  static constexpr int FRAME_CHECK_LIMIT = 20;
  static constexpr int FRAME_CHECK_INTERVAL_MS = 25;

  AppState& m_state;
  QtPlatform m_platform;
  QMenuBar* m_menuBar = nullptr;
  QWidget* m_client = nullptr;
  QLabel* m_dropHint = nullptr;
  StatusBar* m_statusBar = nullptr;
  std::function<void()> m_onClosed;
  // Drops wait here until the drop itself has been acknowledged, then are worked off in order.
  std::deque<Drop> m_pendingDrops;
  QTimer m_dropTimer;
  QTimer m_frameTimer;
  int m_frameChecks = 0;
};

}  // namespace ui
