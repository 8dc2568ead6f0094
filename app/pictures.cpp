// The buttons' pictures, painted in code: an open folder, an arrow and a floppy disk; an i on a disc.
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

#include "Tessaline_1f.h"

QPixmap MakeOpenPicture() {
  QPixmap pm(52, 18);
  pm.fill(Qt::transparent);
  QPainter p(&pm);
  p.setRenderHint(QPainter::Antialiasing);
  const QColor outline(90, 60, 0);

  // Open folder: the back with its tab, then the front flap tilted open.
  p.setPen(QPen(outline, 1));
  p.setBrush(QColor(214, 160, 30));
  QPainterPath back;
  back.moveTo(1.5, 3.5);
  back.lineTo(6.5, 3.5);
  back.lineTo(8.5, 5.5);
  back.lineTo(14.5, 5.5);
  back.lineTo(14.5, 15.5);
  back.lineTo(1.5, 15.5);
  back.closeSubpath();
  p.drawPath(back);
  p.setBrush(QColor(250, 210, 80));
  QPainterPath front;
  front.moveTo(1.5, 15.5);
  front.lineTo(4.5, 8.5);
  front.lineTo(17.5, 8.5);
  front.lineTo(14.5, 15.5);
  front.closeSubpath();
  p.drawPath(front);

  // Arrow pointing right.
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(0, 128, 0));
  QPainterPath arrow;
  arrow.moveTo(20, 7);
  arrow.lineTo(26, 7);
  arrow.lineTo(26, 3);
  arrow.lineTo(32, 9);
  arrow.lineTo(26, 15);
  arrow.lineTo(26, 11);
  arrow.lineTo(20, 11);
  arrow.closeSubpath();
  p.drawPath(arrow);

  // Floppy disk: body with a cut corner, metal shutter, white label.
  p.setPen(QPen(QColor(10, 20, 70), 1));
  p.setBrush(QColor(40, 70, 170));
  QPainterPath disk;
  disk.moveTo(34.5, 1.5);
  disk.lineTo(48.5, 1.5);
  disk.lineTo(50.5, 3.5);
  disk.lineTo(50.5, 16.5);
  disk.lineTo(34.5, 16.5);
  disk.closeSubpath();
  p.drawPath(disk);
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
