#include "ui/qt/status_bar.h"

#include <qdrawutil.h>
#include <QFontMetrics>
#include <QPainter>
#include <QStyle>

namespace ui {

namespace {

constexpr int TEXT_PADDING = 3;
// The right part must show "READY" and "WAIT" whole; the bar's font shrinks until they fit.
constexpr const char* WIDEST_RIGHT_TEXT = "READY";
constexpr qreal SMALLEST_POINT_SIZE = 6.5;

}  // namespace

StatusBar::StatusBar(int width, int leftPartEnd, QWidget* parent) : QWidget(parent), m_leftPartEnd(leftPartEnd) {
  QFont font = this->font();
  const int room = width - leftPartEnd - 2 * TEXT_PADDING - 2;
  while (QFontMetrics(font).horizontalAdvance(QLatin1String(WIDEST_RIGHT_TEXT)) > room &&
         font.pointSizeF() > SMALLEST_POINT_SIZE) {
    font.setPointSizeF(font.pointSizeF() - 0.5);
  }
  setFont(font);
  setFixedSize(width, QFontMetrics(font).height() + 9);
  setAutoFillBackground(true);
  setBackgroundRole(QPalette::Window);
  m_messageTimer.setSingleShot(true);
  connect(&m_messageTimer, &QTimer::timeout, this, [this] { ClearMessage(); });
}

void StatusBar::SetTexts(const QString& left, const QString& right) {
  m_left = left;
  m_right = right;
  m_message.clear();
  m_messageTimer.stop();
  repaint();
}

void StatusBar::ShowMessage(const QString& message, int timeoutMs) {
  m_message = message;
  m_messageTimer.start(timeoutMs);
  repaint();
}

void StatusBar::ClearMessage() {
  m_messageTimer.stop();
  if (m_message.isEmpty()) return;
  m_message.clear();
  update();
}

void StatusBar::paintEvent(QPaintEvent* /*event*/) {
  QPainter painter(this);
  const QPalette& colours = palette();
  // A line along the top separates the bar from the client area.
  painter.setPen(colours.color(QPalette::Mid));
  painter.drawLine(0, 0, width() - 1, 0);
  const QRect parts[2] = {QRect(0, 2, m_leftPartEnd, height() - 3),
                          QRect(m_leftPartEnd, 2, width() - m_leftPartEnd, height() - 3)};
  const QString* texts[2] = {&m_left, &m_right};
  painter.setPen(colours.color(QPalette::WindowText));
  if (!m_message.isEmpty()) {
    // One panel across the bar, the message elided to fit.
    const QRect panel = QRect(0, 2, width(), height() - 3).adjusted(1, 0, -1, 0);
    qDrawShadePanel(&painter, panel, colours, true, 1);
    const QRect textRect = panel.adjusted(TEXT_PADDING, 0, -TEXT_PADDING + 1, 0);
    painter.setPen(colours.color(QPalette::WindowText));
    painter.drawText(textRect, Qt::AlignLeft | Qt::AlignVCenter,
                     fontMetrics().elidedText(m_message, Qt::ElideMiddle, textRect.width()));
    return;
  }
  for (int part = 0; part < 2; ++part) {
    const QRect panel = parts[part].adjusted(1, 0, -1, 0);
    qDrawShadePanel(&painter, panel, colours, true, 1);
    const QRect textRect = panel.adjusted(TEXT_PADDING, 0, -TEXT_PADDING + 1, 0);
    painter.setPen(colours.color(QPalette::WindowText));
    painter.drawText(textRect, Qt::AlignLeft | Qt::AlignVCenter, *texts[part]);
  }
}

}  // namespace ui
