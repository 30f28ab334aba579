#pragma once
// High-quality resampling for print pictures: a separable Lanczos-3 filter, widened by the
// reduction factor when shrinking, with edges extended by their last sample. Down the columns
// first, then across, in fixed point (14-bit weights); each output sample is rounded to 8 bits
// once. The work is shared between the free threads of the global thread pool in bands of output
// rows, and the calling thread always takes part.
#include <QImage>
#include <QSize>
#include <QSizeF>

#include <functional>
#include <vector>

namespace Imaging {

// One 8-bit picture plane: `width` samples of `channels` interleaved bytes each per row (1 for a
// plane of its own, 4 for the bytes of a 32-bit pixel), `stride` bytes from one row to the next.
// `extent` is how many of its samples the picture spans, when that is not a whole number: a JPEG
// decoded at a reduced scale, or its subsampled colour, has a last sample that reaches past the
// picture's edge.
struct Plane {
  const uchar* data = nullptr;
  int width = 0;
  int height = 0;
  qsizetype stride = 0;
  int channels = 1;
  QSizeF extent;  // empty: width x height
  // Colour stored at a fraction of the picture's resolution (4:2:0: 2 x 2) is filtered as the
  // JPEG decoder would first bring it to the full grid: by 2, each full sample lies between the
  // two nearest stored ones (3/4 and 1/4); by other factors, they are repeated.
  QSize upsampled{1, 1};
};

// Where a resampled plane goes: size.height() rows of size.width() samples (of the source
// plane's channels), `stride` bytes apart.
struct PlaneOut {
  uchar* data = nullptr;
  qsizetype stride = 0;
};

// The resampling of planes to one size, made ready once and run in pieces: rows(y0, y1) writes
// output rows [y0, y1) of every plane of `to` from the plane of `from` at the same index, on the
// calling thread. Null for an empty size or a plane without samples.
class Resampler {
public:
  Resampler(const std::vector<Plane>& from, const std::vector<PlaneOut>& to, const QSize& size);
  ~Resampler();
  Resampler(const Resampler&) = delete;
  Resampler& operator=(const Resampler&) = delete;
  bool isNull() const;
  QSize size() const { return size_; }
  int planes() const;
  void rows(int y0, int y1) const;
  void rows(int plane, int y0, int y1) const;

private:
  struct Axes;
  std::vector<Plane> from_;
  std::vector<PlaneOut> to_;
  QSize size_;
  std::vector<Axes> axes_;
};

// Each plane of `from` resampled into the plane of `to` at the same index, all at size, on the
// pool. False (nothing written) for an empty size or a plane without samples.
bool lanczos3(const std::vector<Plane>& from, const std::vector<PlaneOut>& to, const QSize& size);

// Runs work(first, end) over bands of `band` rows of [0, rows) on the calling thread and on pool
// threads that are free at once; returns when all bands are done.
void forRowBands(int rows, const std::function<void(int, int)>& work, int band = 16);

// Whether the wider vector instructions (AVX2) are used where the processor has them; they give
// the same results. Returns the setting before. For tests of the narrower path.
bool useWideVectors(bool on);

// image resampled to exactly size. Pictures with alpha are filtered premultiplied and come back
// as Format_ARGB32_Premultiplied, others as Format_RGB32. Null for a null image or empty size.
// extent as for a Plane.
QImage lanczos3(const QImage& image, const QSize& size, const QSizeF& extent = QSizeF());

}  // namespace Imaging
