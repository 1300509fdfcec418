#include "ui/qt/app_icon.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

namespace ui {

namespace {

constexpr int ICON_SIZE = 48;

void DrawNoteHead(QPainter& painter, QPointF centre) {
  painter.save();
  painter.translate(centre);
  painter.rotate(-20);
  painter.drawEllipse(QPointF(0, 0), 5.6, 4.0);
  painter.restore();
}

}  // namespace

QPixmap DrawAppIconPixmap() {
  QPixmap pixmap(ICON_SIZE, ICON_SIZE);
  pixmap.fill(Qt::transparent);
  QPainter painter(&pixmap);
  painter.setRenderHint(QPainter::Antialiasing);

  // The tile: deep night blue with a lighter top edge.
  const QRectF tile(1.5, 1.5, ICON_SIZE - 3, ICON_SIZE - 3);
  QLinearGradient night(tile.topLeft(), tile.bottomLeft());
  night.setColorAt(0.0, QColor(0x2E, 0x40, 0x78));
  night.setColorAt(1.0, QColor(0x10, 0x17, 0x33));
  painter.setPen(QPen(QColor(0x0A, 0x0F, 0x22), 1.0));
  painter.setBrush(night);
  painter.drawRoundedRect(tile, 8, 8);

  // The lantern's glow behind the note.
  QRadialGradient glow(QPointF(24, 25), 20);
  glow.setColorAt(0.0, QColor(0xFF, 0xC8, 0x4A, 230));
  glow.setColorAt(0.55, QColor(0xF0, 0x8A, 0x24, 110));
  glow.setColorAt(1.0, QColor(0xF0, 0x8A, 0x24, 0));
  painter.setPen(Qt::NoPen);
  painter.setBrush(glow);
  painter.drawEllipse(QPointF(24, 25), 20, 20);

  // Two beamed eighth notes.
  const QColor ink(0x16, 0x12, 0x28);
  painter.setBrush(ink);
  DrawNoteHead(painter, QPointF(16.5, 34.5));
  DrawNoteHead(painter, QPointF(31.5, 31.0));
  painter.setPen(QPen(ink, 2.2, Qt::SolidLine, Qt::FlatCap));
  painter.drawLine(QPointF(21.3, 33.0), QPointF(21.3, 13.0));
  painter.drawLine(QPointF(36.3, 29.5), QPointF(36.3, 9.5));
  QPainterPath beam;
  beam.moveTo(20.2, 11.0);
  beam.lineTo(37.4, 7.0);
  beam.lineTo(37.4, 12.5);
  beam.lineTo(20.2, 16.5);
  beam.closeSubpath();
  painter.setPen(Qt::NoPen);
  painter.drawPath(beam);
  painter.end();
  return pixmap;
}

QIcon AppIcon() {
  QIcon icon;
  icon.addPixmap(DrawAppIconPixmap());
  return icon;
}

}  // namespace ui
