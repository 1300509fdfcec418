#pragma once

#include <QString>
#include <QTimer>
#include <QWidget>

namespace ui {

// A status bar of two sunken parts: the left part ends at a fixed x, the right one runs to the edge. A
// temporary message covers both parts for a while, as Qt's status bar does, and the texts show again after.
class StatusBar : public QWidget {
 public:
  StatusBar(int width, int leftPartEnd, QWidget* parent = nullptr);

  // Sets both texts and repaints at once, so the new texts show before the caller goes on working. A
  // temporary message still showing is cleared, so the new texts are seen.
  void SetTexts(const QString& left, const QString& right);
  // Shows a message over both parts for timeoutMs milliseconds, replacing one still showing.
  void ShowMessage(const QString& message, int timeoutMs);
  // The temporary message showing; empty when the parts' texts show.
  QString CurrentMessage() const { return m_message; }
  void ClearMessage();
  QString LeftText() const { return m_left; }
  QString RightText() const { return m_right; }
  int LeftPartEnd() const { return m_leftPartEnd; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QString m_left;
  QString m_right;
  QString m_message;
  QTimer m_messageTimer;
  int m_leftPartEnd;
};

}  // namespace ui
