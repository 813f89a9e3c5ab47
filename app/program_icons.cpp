#include "app/program_icons.h"

#include <QPainter>
#include <QPainterPath>
#include <QPen>
#include <QTransform>

namespace flash {

QPixmap RedDotPixmap(int size) {
  QPixmap pixmap(size, size);
  pixmap.fill(Qt::transparent);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  const qreal margin = size * 0.18;
  const QRectF disc(margin, margin, size - 2 * margin, size - 2 * margin);
  p.setPen(QPen(QColor(96, 0, 0), size / 16.0 + 0.5));
  p.setBrush(QColor(220, 0, 0));
  p.drawEllipse(disc);
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(255, 170, 170));
  p.drawEllipse(QRectF(disc.left() + disc.width() * 0.22, disc.top() + disc.height() * 0.18,
                       disc.width() * 0.28, disc.height() * 0.22));
  return pixmap;
}

QIcon ProgramIcon() {
  QIcon icon;
  for (int size : {16, 32, 48}) icon.addPixmap(RedDotPixmap(size));
  return icon;
}

QPixmap WrenchPixmap(int size) {
  QPixmap pixmap(size, size);
  pixmap.fill(Qt::transparent);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  const qreal s = size / 32.0;
  p.translate(size / 2.0, size / 2.0);
  p.rotate(-45);
  p.scale(s, s);
  QPainterPath wrench;
  wrench.addRoundedRect(QRectF(-3, -4, 6, 18), 2, 2);  // handle
  QPainterPath head;
  head.addEllipse(QPointF(0, -8), 7.5, 7.5);
  QPainterPath jaw;
  jaw.addRect(QRectF(-2.8, -17, 5.6, 9));  // the opening of the jaw
  wrench = wrench.united(head).subtracted(jaw);
  p.setPen(QPen(Qt::black, 1.2));
  p.setBrush(QColor(150, 150, 160));
  p.drawPath(wrench);
  return pixmap;
}

}  // namespace flash
