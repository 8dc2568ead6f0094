// The buttons' pictures, painted in code: an open folder, an arrow and a floppy disk; an i on a disc.
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

#include "Tessaline_1f.h"

namespace {

// A closed outline through the given corners.
QPainterPath Outline(std::initializer_list<QPointF> Corners) {
  QPainterPath path;
  for (const QPointF& c : Corners) {
    if (path.elementCount() == 0)
      path.moveTo(c);
    else
      path.lineTo(c);
  }
  path.closeSubpath();
  return path;
}

}  // namespace

QPixmap MakeOpenPicture() {
  QPixmap pm(52, 18);
  pm.fill(Qt::transparent);
  QPainter p(&pm);
  p.setRenderHint(QPainter::Antialiasing);
  const QColor outline(90, 60, 0);

  // Open folder: the back with its tab, then the front flap tilted open.
  p.setPen(QPen(outline, 1));
  p.setBrush(QColor(214, 160, 30));
  p.drawPath(Outline({{1.5, 3.5}, {6.5, 3.5}, {8.5, 5.5}, {14.5, 5.5}, {14.5, 15.5}, {1.5, 15.5}}));
  p.setBrush(QColor(250, 210, 80));
  p.drawPath(Outline({{1.5, 15.5}, {4.5, 8.5}, {17.5, 8.5}, {14.5, 15.5}}));

  // Arrow pointing right.
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(0, 128, 0));
  p.drawPath(Outline({{20, 7}, {26, 7}, {26, 3}, {32, 9}, {26, 15}, {26, 11}, {20, 11}}));

  // Floppy disk: body with a cut corner, metal shutter, white label.
  p.setPen(QPen(QColor(10, 20, 70), 1));
  p.setBrush(QColor(40, 70, 170));
  p.drawPath(Outline({{34.5, 1.5}, {48.5, 1.5}, {50.5, 3.5}, {50.5, 16.5}, {34.5, 16.5}}));
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(200, 200, 210));
  p.drawRect(QRectF(38, 1.5, 8, 5));
  p.setBrush(QColor(40, 70, 170));
  p.drawRect(QRectF(43, 2.5, 2, 3));
  p.setBrush(Qt::white);
  p.drawRect(QRectF(37, 9, 11, 7));
  p.setPen(QPen(QColor(150, 150, 150), 1));
  p.drawLine(QPointF(38.5, 11.5), QPointF(46.5, 11.5));
  p.drawLine(QPointF(38.5, 13.5), QPointF(46.5, 13.5));
  return pm;
}

QPixmap MakeAboutPicture() {
  QPixmap pm(18, 18);
  pm.fill(Qt::transparent);
  QPainter p(&pm);
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(QPen(QColor(0, 40, 120), 1));
  p.setBrush(QColor(30, 90, 210));
  p.drawEllipse(QRectF(0.5, 0.5, 17, 17));
  // The letter i: a dot and a stem with a foot.
  p.setPen(Qt::NoPen);
  p.setBrush(Qt::white);
  p.drawEllipse(QRectF(7.5, 3, 3, 3));
  p.drawRect(QRectF(7.5, 7, 3, 7));
  p.drawRect(QRectF(6, 13, 6, 1.5));
  p.drawRect(QRectF(6, 7, 2, 1.5));
  return pm;
}
