#include "Resample.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <thread>

namespace Imaging {
namespace {

// The source samples and weights of each output position along one axis.
struct Axis {
  std::vector<int> first;      // index of the first source sample of output i (may lie outside)
  std::vector<int> count;      // taps of output i
  std::vector<size_t> offset;  // where the weights of output i begin
  std::vector<float> weight;
};

double lanczos(double x) {
  if (x == 0) return 1;
  if (std::abs(x) >= 3) return 0;
  const double px = M_PI * x;
  return 3 * std::sin(px) * std::sin(px / 3) / (px * px);
}

// in: the source samples the picture spans along the axis.
Axis axisFor(double in, int out) {
  const double scale = in / out;
  const double widen = std::max(1.0, scale);  // shrinking: the filter spans more source samples
  const double support = 3 * widen;
  Axis a;
  for (int o = 0; o < out; ++o) {
    // Pixel centres line up: output centre o + 0.5 falls on source position (o + 0.5) * scale.
    const double centre = (o + 0.5) * scale - 0.5;
    const int lo = int(std::floor(centre - support)) + 1, hi = int(std::ceil(centre + support)) - 1;
    std::vector<double> w;
    double sum = 0;
    for (int i = lo; i <= hi; ++i) sum += w.emplace_back(lanczos((i - centre) / widen));
    a.first.push_back(lo);
    a.count.push_back(int(w.size()));
    a.offset.push_back(a.weight.size());
    for (double k : w) a.weight.push_back(float(k / sum));
  }
  return a;
}

// Output rows [y0, y1): the source rows they need are filtered across first, then down.
void band(const Plane& p, float* out, int ow, const Axis& ax, const Axis& ay, int y0, int y1) {
  const int r0 = std::max(0, ay.first[size_t(y0)]);
  const int r1 = std::min(p.height - 1, ay.first[size_t(y1 - 1)] + ay.count[size_t(y1 - 1)] - 1);
  std::vector<float> rows(size_t(r1 - r0 + 1) * size_t(ow));
  for (int r = r0; r <= r1; ++r) {
    const uchar* line = p.data + r * p.stride;
    float* dst = rows.data() + size_t(r - r0) * size_t(ow);
    for (int x = 0; x < ow; ++x) {
      const float* w = ax.weight.data() + ax.offset[size_t(x)];
      const int first = ax.first[size_t(x)], n = ax.count[size_t(x)];
      float acc = 0;
      if (first >= 0 && first + n <= p.width) {
        const uchar* s = line + qsizetype(first) * p.step;
        for (int k = 0; k < n; ++k) acc += float(s[k * p.step]) * w[k];
      } else {
        for (int k = 0; k < n; ++k) acc += float(line[qsizetype(std::clamp(first + k, 0, p.width - 1)) * p.step]) * w[k];
      }
      dst[x] = acc;
    }
  }
  for (int y = y0; y < y1; ++y) {
    float* line = out + size_t(y) * size_t(ow);
    std::fill(line, line + ow, 0.0f);
    const float* w = ay.weight.data() + ay.offset[size_t(y)];
    const int first = ay.first[size_t(y)], n = ay.count[size_t(y)];
    for (int k = 0; k < n; ++k) {
      const float* src = rows.data() + size_t(std::clamp(first + k, r0, r1) - r0) * size_t(ow);
      const float wk = w[k];
      for (int x = 0; x < ow; ++x) line[x] += src[x] * wk;
    }
  }
}

}  // namespace

void forRowBands(int rows, const std::function<void(int, int)>& work) {
  constexpr int kBand = 64;
  std::atomic<int> next{0};
  auto run = [&] {
    for (int y0; (y0 = next.fetch_add(kBand)) < rows;) work(y0, std::min(rows, y0 + kBand));
  };
  const int threads = std::clamp(int(std::thread::hardware_concurrency()), 1, (rows + kBand - 1) / kBand);
  std::vector<std::thread> pool;
  for (int i = 1; i < threads; ++i) pool.emplace_back(run);
  run();
  for (std::thread& t : pool) t.join();
}

std::vector<std::vector<float>> lanczos3(const std::vector<Plane>& planes, const QSize& size) {
  if (size.isEmpty()) return {};
  for (const Plane& p : planes)
    if (!p.data || p.width <= 0 || p.height <= 0) return {};
  std::vector<std::vector<float>> out;
  std::vector<Axis> ax, ay;
  for (const Plane& p : planes) {
    out.emplace_back(size_t(size.width()) * size_t(size.height()));
    const QSizeF span = p.extent.isEmpty() ? QSizeF(p.width, p.height) : p.extent;
    ax.push_back(axisFor(span.width(), size.width()));
    ay.push_back(axisFor(span.height(), size.height()));
  }
  // The planes' bands one after the other, as one run of rows; each band recomputes the few
  // source rows it shares with its neighbours.
  const int n = int(planes.size());
  forRowBands(n * size.height(), [&](int first, int end) {
    for (int r = first; r < end;) {
      const int c = r / size.height(), y0 = r % size.height(), y1 = std::min(size.height(), y0 + (end - r));
      band(planes[size_t(c)], out[size_t(c)].data(), size.width(), ax[size_t(c)], ay[size_t(c)], y0, y1);
      r += y1 - y0;
    }
  });
  return out;
}

QImage lanczos3(const QImage& image, const QSize& size, const QSizeF& extent) {
  if (image.isNull() || size.isEmpty()) return QImage();
  const bool alpha = image.hasAlphaChannel();
  const QImage src = image.convertToFormat(alpha ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32);
  QImage out(size, src.format());
  if (src.isNull() || out.isNull()) return QImage();
  // The four bytes of a 32-bit pixel are filtered as four planes; an opaque picture's alpha byte
  // is not filtered but set.
  const int alphaByte = Q_BYTE_ORDER == Q_LITTLE_ENDIAN ? 3 : 0;
  std::vector<Plane> planes;
  std::vector<int> bytes;
  for (int c = 0; c < 4; ++c) {
    if (c == alphaByte && !alpha) continue;
    planes.push_back(Plane{src.constBits() + c, src.width(), src.height(), src.bytesPerLine(), 4, extent});
    bytes.push_back(c);
  }
  const std::vector<std::vector<float>> v = lanczos3(planes, size);
  if (v.size() != planes.size()) return QImage();
  uchar* bits = out.bits();  // taken once: the bands write into it from several threads
  const qsizetype stride = out.bytesPerLine();
  forRowBands(size.height(), [&](int y0, int y1) {
    for (int y = y0; y < y1; ++y) {
      uchar* line = bits + y * stride;
      const size_t row = size_t(y) * size_t(size.width());
      for (size_t i = 0; i < bytes.size(); ++i)
        for (int x = 0; x < size.width(); ++x)
          line[4 * x + bytes[i]] = uchar(std::clamp(v[i][row + size_t(x)], 0.0f, 255.0f) + 0.5f);
      for (int x = 0; x < size.width(); ++x) {
        uchar* px = line + 4 * x;
        if (!alpha) {
          px[alphaByte] = 0xFF;
          continue;
        }
        // Premultiplied colour never exceeds its alpha, whatever the filter's overshoot.
        for (int c = 0; c < 4; ++c) px[c] = std::min(px[c], px[alphaByte]);
      }
    }
  });
  return out;
}

}  // namespace Imaging
