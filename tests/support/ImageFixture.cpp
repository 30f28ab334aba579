#include "ImageFixture.h"

#include "Imaging.h"

#include <QDir>
#include <QPainter>

#include <algorithm>

QImage twoColourImage(int w, int h, const QColor& left, const QColor& right) {
  const bool alpha = left.alpha() < 255 || right.alpha() < 255;
  QImage img(w, h, alpha ? QImage::Format_ARGB32 : QImage::Format_RGB32);
  img.fill(right);
  QPainter p(&img);
  p.setCompositionMode(QPainter::CompositionMode_Source);
  p.fillRect(0, 0, w / 2, h, left);
  return img;
}

bool near(QRgb a, const QColor& b, int tolerance) {
  return qAbs(qRed(a) - b.red()) < tolerance && qAbs(qGreen(a) - b.green()) < tolerance &&
         qAbs(qBlue(a) - b.blue()) < tolerance;
}

bool writeJpeg(const QString& path, int w, int h, const QColor& left, const QColor& right) {
  return Imaging::saveJpeg(twoColourImage(w, h, left, right), path, 90);
}

#include <QFile>

bool writeGif(const QString& path, int w, int h, const QColor& left, const QColor& right) {
  // 128-colour table and a clear code every 126 pixels: every LZW code stays 8 bits wide, so
  // the code stream is simply one byte per pixel.
  QByteArray out("GIF89a");
  auto u16 = [&](int v) { out.append(char(v & 0xFF)).append(char(v >> 8)); };
  u16(w);
  u16(h);
  out.append(char(0xE6)).append('\0').append('\0');
  for (int i = 0; i < 128; ++i) {
    const QColor c = i == 0 ? left : i == 1 ? right : QColor(Qt::black);
    out.append(char(c.red())).append(char(c.green())).append(char(c.blue()));
  }
  out.append(char(0x2C));
  u16(0); u16(0); u16(w); u16(h);
  out.append('\0').append(char(7));
  QByteArray codes;
  int run = 0;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      if (run == 0) codes.append(char(128));
      codes.append(char(x < w / 2 ? 0 : 1));
      if (++run == 126) run = 0;
    }
  codes.append(char(129));
  for (int i = 0; i < codes.size(); i += 255) {
    const QByteArray block = codes.mid(i, 255);
    out.append(char(block.size())).append(block);
  }
  out.append('\0').append(char(0x3B));
  QFile f(path);
  return f.open(QIODevice::WriteOnly) && f.write(out) == out.size();
}

QStringList writePictures(const QString& folder, int count, const std::function<QSize(int)>& size) {
  if (!QDir().mkpath(folder)) return {};
  const int digits = std::max(2, int(QString::number(count - 1).size()));
  QStringList names;
  for (int i = 0; i < count; ++i) {
    names << QString("p%1.jpg").arg(i, digits, 10, QChar('0'));
    if (!writeJpeg(folder + "/" + names.last(), size(i).width(), size(i).height())) return {};
  }
  return names;
}
