#include "Artwork.h"

#include "Twips.h"

#include <QFont>
#include <QGuiApplication>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

namespace Artwork {
namespace {

const QColor kDeep(24, 92, 160);
const QColor kLight(66, 146, 214);

QPixmap canvas(const QSize& size) {
  const qreal ratio = qApp ? qApp->devicePixelRatio() : 1.0;
  QPixmap p(size * ratio);
  p.setDevicePixelRatio(ratio);
  p.fill(Qt::transparent);
  return p;
}

}  // namespace

QFont textFont() {
  QFont f;
  f.setPixelSize(qMax(11, Twips::toPixelsY(180)));
  return f;
}

QPixmap background(const QSize& size) {
  QPixmap p = canvas(size);
  QPainter g(&p);
  g.setRenderHint(QPainter::Antialiasing);
  QLinearGradient fill(0, 0, 0, size.height());
  fill.setColorAt(0, QColor(246, 249, 253));
  fill.setColorAt(1, QColor(224, 234, 246));
  g.fillRect(QRect(QPoint(0, 0), size), fill);
  // A quiet curve across the lower corner, and a hairline frame around the whole window.
  QPainterPath wave;
  wave.moveTo(0, size.height() * 0.78);
  wave.cubicTo(size.width() * 0.35, size.height() * 0.62, size.width() * 0.6, size.height() * 1.0, size.width(),
               size.height() * 0.7);
  wave.lineTo(size.width(), size.height());
  wave.lineTo(0, size.height());
  wave.closeSubpath();
  g.fillPath(wave, QColor(kLight.red(), kLight.green(), kLight.blue(), 28));
  g.setPen(QPen(kDeep, 1));
  g.drawRect(QRectF(0.5, 0.5, size.width() - 1, size.height() - 1));
  return p;
}

QPixmap titlePicture(const QSize& size) {
  QPixmap p = canvas(size);
  QPainter g(&p);
  g.setRenderHint(QPainter::Antialiasing);
  QLinearGradient fill(0, 0, 0, size.height());
  fill.setColorAt(0, kLight);
  fill.setColorAt(1, kDeep);
  g.fillRect(QRect(QPoint(0, 0), size), fill);
  // A round arrow: the sign of an update.
  const qreal h = size.height();
  const QRectF ring(h * 0.28, h * 0.22, h * 0.56, h * 0.56);
  g.setPen(QPen(Qt::white, qMax<qreal>(2.0, h / 12), Qt::SolidLine, Qt::RoundCap));
  g.drawArc(ring, 100 * 16, 290 * 16);
  QPainterPath head;
  const QPointF tip(ring.center().x() - h * 0.03, ring.top());
  head.moveTo(tip + QPointF(h * 0.16, 0));
  head.lineTo(tip + QPointF(-h * 0.02, -h * 0.12));
  head.lineTo(tip + QPointF(-h * 0.02, h * 0.12));
  head.closeSubpath();
  g.fillPath(head, Qt::white);
  g.setPen(Qt::white);
  g.setFont(textFont());
  g.drawText(QRectF(h * 1.05, 0, size.width() - h, h), Qt::AlignVCenter | Qt::AlignLeft,
             QString::fromUtf8("Quorvel 在线更新"));
  return p;
}

QPixmap closePicture(const QSize& size) {
  QPixmap p = canvas(size);
  QPainter g(&p);
  g.setRenderHint(QPainter::Antialiasing);
  const QRectF r(1, 1, size.width() - 2, size.height() - 2);
  QLinearGradient fill(0, 0, 0, size.height());
  fill.setColorAt(0, QColor(255, 255, 255));
  fill.setColorAt(1, QColor(226, 234, 244));
  g.setPen(QPen(kDeep, 1));
  g.setBrush(fill);
  g.drawRoundedRect(r, r.height() / 4, r.height() / 4);
  g.setPen(kDeep);
  g.setFont(textFont());
  g.drawText(r, Qt::AlignCenter, QString::fromUtf8("关 闭"));
  return p;
}

}  // namespace Artwork
