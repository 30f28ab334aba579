#pragma once
// Photo-like test pictures for the benchmarks: smooth gradients with fine noise, so a JPEG of
// one carries real detail.
#include <QImage>
#include <QRandomGenerator>
#include <algorithm>

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
