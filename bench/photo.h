#pragma once
// Photo-like test pictures for the benchmarks: smooth gradients with fine noise, so a JPEG of
// one carries real detail; and our side of a picture benchmark as a process of its own.
#include "Imaging.h"
#include "OrderedWork.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QRandomGenerator>
#include <QStringList>

#include <algorithm>
#include <functional>

inline QImage photo(int w, int h, quint32 seed) {
  QImage img(w, h, QImage::Format_RGB32);
  QRandomGenerator rng(seed);
  for (int y = 0; y < h; ++y) {
    auto* line = reinterpret_cast<QRgb*>(img.scanLine(y));
    for (int x = 0; x < w; ++x) {
      const int n = int(rng.generate() & 31) - 16;
      const int r = std::clamp((x * 255 / w) + n, 0, 255);
      const int g = std::clamp((y * 255 / h) + n, 0, 255);
      const int b = std::clamp(((x + y + int(seed) * 500) % 512) / 2 + n, 0, 255);
      line[x] = qRgb(r, g, b);
    }
  }
  return img;
}

// count JPEG photos of size in folder (made), at quality and chroma: two different ones (from
// seed and seed + 1), the rest copies of them by turns, so every file is read and decoded all the
// same. Their paths, p00.jpg first.
inline QStringList photoSet(const QString& folder, int count, QSize size, int quality, Imaging::Chroma chroma,
                            quint32 seed) {
  QDir().mkpath(folder);
  QStringList paths;
  for (int i = 0; i < count; ++i) {
    paths << folder + QString("/p%1.jpg").arg(i, 2, 10, QChar('0'));
    if (i < 2) Imaging::saveJpeg(photo(size.width(), size.height(), seed + quint32(i)), paths.last(), quality, chroma);
    else QFile::copy(paths[i % 2], paths.last());
  }
  return paths;
}

// Our side as a process: `<bench> <flag> folder pictures...` makes each picture's output in
// folder under the picture's name, on the pool as the program does. Its exit status: 1 when one
// was not made.
inline int makeEach(int argc, char** argv, const std::function<bool(const QString& picture, const QString& target)>& make) {
  int n = 0;
  QCoreApplication app(n, nullptr);
  const QString folder = QString::fromLocal8Bit(argv[2]);
  int failed = 0;
  OrderedWork work;
  for (int i = 3; i < argc; ++i) {
    const QString file = QString::fromLocal8Bit(argv[i]);
    const QString target = folder + "/" + QFileInfo(file).fileName();
    work.run<bool>([make, file, target] { return make(file, target); }, [&](const bool& made) { failed += made ? 0 : 1; });
  }
  work.finish();
  return failed ? 1 : 0;
}
