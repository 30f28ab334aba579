#pragma once
// High-quality resampling for print pictures: a separable Lanczos-3 filter, widened by the
// reduction factor when shrinking, with edges extended by their last sample. The work is shared
// between the processor's cores in bands of output rows.
#include <QImage>
#include <QSize>
#include <QSizeF>

#include <functional>
#include <vector>

namespace Imaging {

// One 8-bit channel: `step` bytes from one sample to the next in a row (4 for a channel of a
// 32-bit image), `stride` bytes from one row to the next. `extent` is how many of its samples
// the picture spans, when that is not a whole number: a JPEG decoded at a reduced scale, or its
// subsampled colour, has a last sample that reaches past the picture's edge.
struct Plane {
  const uchar* data = nullptr;
  int width = 0;
  int height = 0;
  qsizetype stride = 0;
  int step = 1;
  QSizeF extent;  // empty: width x height
};

// Each plane resampled to size: size.width() floats per row, unrounded. The planes are worked
// on together.
std::vector<std::vector<float>> lanczos3(const std::vector<Plane>& planes, const QSize& size);

// Runs work(first, end) over bands of [0, rows) on the processor's cores; returns when all are done.
void forRowBands(int rows, const std::function<void(int, int)>& work);

// image resampled to exactly size. Pictures with alpha are filtered premultiplied and come back
// as Format_ARGB32_Premultiplied, others as Format_RGB32. Null for a null image or empty size.
// extent as for a Plane.
QImage lanczos3(const QImage& image, const QSize& size, const QSizeF& extent = QSizeF());

}  // namespace Imaging
