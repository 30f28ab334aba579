#include "ICO.h"

#include <QPainter>
#include <QPixmap>

ICO::ICO() {
  QPixmap pm(64, 64);
  pm.fill(Qt::transparent);
  QPainter p(&pm);
  p.setRenderHint(QPainter::Antialiasing);
  p.setBrush(QColor(0xd2, 0x3c, 0x3c));
  p.setPen(Qt::NoPen);
  p.drawRoundedRect(4, 4, 56, 56, 12, 12);
  p.setPen(Qt::white);
  QFont f = p.font();
  f.setBold(true);
  f.setPixelSize(40);
  p.setFont(f);
  p.drawText(pm.rect(), Qt::AlignCenter, "Q");
  p.end();
  setWindowIcon(QIcon(pm));
}
