#pragma once

#include <QString>
#include <QWidget>

namespace ui {

// A status bar of two sunken parts: the left part ends at a fixed x, the right one runs to the edge.
class StatusBar : public QWidget {
 public:
  StatusBar(int width, int leftPartEnd, QWidget* parent = nullptr);

  // Sets both texts and repaints at once, so the new texts show before the caller goes on working.
  void SetTexts(const QString& left, const QString& right);
  QString LeftText() const { return m_left; }
  QString RightText() const { return m_right; }
  int LeftPartEnd() const { return m_leftPartEnd; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QString m_left;
  QString m_right;
  int m_leftPartEnd;
};

}  // namespace ui
