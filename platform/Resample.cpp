#include "Resample.h"

#include <QMutex>
#include <QWaitCondition>
#include <QThreadPool>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <memory>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__x86_64__)
#include <immintrin.h>
#define QUORVEL_AVX2 1
#endif

namespace Imaging {
namespace {

// Weights are whole numbers of 1/2^14; what the first pass hands to the second keeps 6 bits of
// fraction, which holds the filter's overshoot of 8-bit samples within 16 bits.
constexpr int kWeightBits = 14;
constexpr int kMidBits = 6;
constexpr int kDownShift = kWeightBits - kMidBits;
constexpr int kAcrossShift = kWeightBits + kMidBits;

// The source samples and weights of each output position along one axis: `taps` weights per
// output (zero after its own), applied from source sample first[i] on (which may lie outside).
struct Axis {
  int taps = 0;
  int lowest = 0;   // the smallest first[i]
  int highest = 0;  // the largest first[i] + taps
  std::vector<int> first;
  std::vector<int16_t> weight;
};

double lanczos(double x) {
  if (x == 0) return 1;
  if (std::abs(x) >= 3) return 0;
  const double px = M_PI * x;
  return 3 * std::sin(px) * std::sin(px / 3) / (px * px);
}

// The weights of one output position on the source samples from `first` on.
struct Taps {
  int first = 0;
  std::vector<double> weight;
};

// Along one axis: `in` is how many source samples the picture spans, `samples` how many the
// plane has. With factor > 1 the plane is colour subsampled by it: the filter runs on the full
// grid, whose samples draw on the plane's as the decoder's upsampling makes them (2: each full
// sample between its two nearest, 3/4 and 1/4; others: repeated). The taps of every output are
// padded with zero weights to a multiple of `multiple`.
Axis axisFor(double in, int samples, int out, int multiple, int factor) {
  const double full = in * factor;
  const int fullSamples = std::max(1, int(std::ceil(full - 1e-9)));
  const double scale = full / out;
  const double widen = std::max(1.0, scale);  // shrinking: the filter spans more source samples
  const double support = 3 * widen;
  std::vector<Taps> taps(static_cast<size_t>(out));
  for (int o = 0; o < out; ++o) {
    // Pixel centres line up: output centre o + 0.5 falls on source position (o + 0.5) * scale.
    const double centre = (o + 0.5) * scale - 0.5;
    const int lo = int(std::floor(centre - support)) + 1, hi = int(std::ceil(centre + support)) - 1;
    Taps& t = taps[size_t(o)];
    if (factor == 1) {
      t.first = lo;
      for (int i = lo; i <= hi; ++i) t.weight.push_back(lanczos((i - centre) / widen));
      continue;
    }
    // Full samples beyond the edge repeat the last one, as do the plane's own.
    auto at = [&](int j) { return std::clamp(j, 0, samples - 1); };
    t.first = at(int(std::floor((std::clamp(lo, 0, fullSamples - 1) + 0.5) / factor - 0.5)));
    auto add = [&](int j, double w) {
      j = at(j);
      if (j < t.first) {
        t.weight.insert(t.weight.begin(), size_t(t.first - j), 0.0);
        t.first = j;
      }
      if (size_t(j - t.first) >= t.weight.size()) t.weight.resize(size_t(j - t.first) + 1, 0.0);
      t.weight[size_t(j - t.first)] += w;
    };
    for (int i = lo; i <= hi; ++i) {
      const double w = lanczos((i - centre) / widen);
      const int u = std::clamp(i, 0, fullSamples - 1);
      if (factor == 2) {
        const double p = (u + 0.5) / 2 - 0.5;
        const int j = int(std::floor(p));
        add(j, w * (1 - (p - j)));
        add(j + 1, w * (p - j));
      } else {
        add(u / factor, w);
      }
    }
  }
  Axis a;
  a.first.resize(size_t(out));
  size_t most = 1;
  for (const Taps& t : taps) most = std::max(most, t.weight.size());
  a.taps = int((most + size_t(multiple) - 1) / size_t(multiple) * size_t(multiple));
  a.weight.assign(size_t(out) * size_t(a.taps), 0);
  for (int o = 0; o < out; ++o) {
    const Taps& t = taps[size_t(o)];
    a.first[size_t(o)] = t.first;
    double sum = 0;
    for (double w : t.weight) sum += w;
    // Rounded to whole steps, the weights still add up to exactly one: the rest goes to the
    // largest, so a flat picture stays exactly its value.
    int16_t* q = a.weight.data() + size_t(o) * size_t(a.taps);
    int total = 0, largest = 0;
    for (size_t k = 0; k < t.weight.size(); ++k) {
      q[k] = int16_t(std::lround(t.weight[k] / sum * (1 << kWeightBits)));
      total += q[k];
      if (q[k] > q[largest]) largest = int(k);
    }
    q[largest] = int16_t(q[largest] + (1 << kWeightBits) - total);
  }
  a.lowest = *std::min_element(a.first.begin(), a.first.end());
  a.highest = *std::max_element(a.first.begin(), a.first.end()) + a.taps;
  return a;
}

inline uchar clamp8(int v) { return uchar(std::clamp(v, 0, 255)); }

// One output row down the columns: the weighted source rows, with kMidBits of fraction.
// (offset: where in the rows the samples begin)
void down(const uchar* const* rows, const int16_t* w, int taps, int bytes, int16_t* mid, int offset = 0) {
  int x = 0;
#if defined(__SSE2__)
  const __m128i zero = _mm_setzero_si128(), half = _mm_set1_epi32(1 << (kDownShift - 1));
  for (; x + 8 <= bytes; x += 8) {
    __m128i lo = zero, hi = zero;
    for (int k = 0; k < taps; k += 2) {
      // Two rows side by side, sample by sample, against the pair of their weights.
      const __m128i a = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(rows[k] + offset + x));
      const __m128i b = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(rows[k + 1] + offset + x));
      const __m128i ab = _mm_unpacklo_epi8(a, b);
      const __m128i wk = _mm_set1_epi32(int(uint16_t(w[k])) | int(uint32_t(uint16_t(w[k + 1])) << 16));
      lo = _mm_add_epi32(lo, _mm_madd_epi16(_mm_unpacklo_epi8(ab, zero), wk));
      hi = _mm_add_epi32(hi, _mm_madd_epi16(_mm_unpackhi_epi8(ab, zero), wk));
    }
    lo = _mm_srai_epi32(_mm_add_epi32(lo, half), kDownShift);
    hi = _mm_srai_epi32(_mm_add_epi32(hi, half), kDownShift);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(mid + x), _mm_packs_epi32(lo, hi));
  }
#endif
  for (; x < bytes; ++x) {
    int acc = 0;
    for (int k = 0; k < taps; ++k) acc += w[k] * rows[k][offset + x];
    mid[x] = int16_t(std::clamp((acc + (1 << (kDownShift - 1))) >> kDownShift, -32768, 32767));
  }
}

// One output row across, from a row of samples of their own (mid points at source sample 0).
// (from: the first output to write)
void across1(const int16_t* mid, const Axis& ax, int ow, uchar* out, int from = 0) {
  const int taps = ax.taps;  // a multiple of 8
  for (int x = from; x < ow; ++x) {
    const int16_t* s = mid + ax.first[size_t(x)];
    const int16_t* w = ax.weight.data() + size_t(x) * size_t(taps);
#if defined(__SSE2__)
    __m128i acc = _mm_setzero_si128();
    for (int k = 0; k < taps; k += 8)
      acc = _mm_add_epi32(acc, _mm_madd_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(s + k)),
                                              _mm_loadu_si128(reinterpret_cast<const __m128i*>(w + k))));
    acc = _mm_add_epi32(acc, _mm_shuffle_epi32(acc, 0x4E));
    acc = _mm_add_epi32(acc, _mm_shuffle_epi32(acc, 0xB1));
    const int v = _mm_cvtsi128_si32(acc);
#else
    int v = 0;
    for (int k = 0; k < taps; ++k) v += s[k] * w[k];
#endif
    out[x] = clamp8((v + (1 << (kAcrossShift - 1))) >> kAcrossShift);
  }
}

// One output row across, from a row of 4-byte pixels (mid points at source pixel 0).
void across4(const int16_t* mid, const Axis& ax, int ow, uchar* out) {
  const int taps = ax.taps;  // a multiple of 2
  for (int x = 0; x < ow; ++x) {
    const int16_t* s = mid + 4 * ax.first[size_t(x)];
    const int16_t* w = ax.weight.data() + size_t(x) * size_t(taps);
#if defined(__SSE2__)
    __m128i acc = _mm_setzero_si128();
    for (int k = 0; k < taps; k += 2) {
      // Two pixels channel by channel against the pair of their weights.
      const __m128i pq = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + 4 * k));
      const __m128i wk = _mm_set1_epi32(int(uint16_t(w[k])) | int(uint32_t(uint16_t(w[k + 1])) << 16));
      acc = _mm_add_epi32(acc, _mm_madd_epi16(_mm_unpacklo_epi16(pq, _mm_srli_si128(pq, 8)), wk));
    }
    acc = _mm_srai_epi32(_mm_add_epi32(acc, _mm_set1_epi32(1 << (kAcrossShift - 1))), kAcrossShift);
    const __m128i bytes = _mm_packus_epi16(_mm_packs_epi32(acc, acc), acc);
    const uint32_t v = uint32_t(_mm_cvtsi128_si32(bytes));
    std::memcpy(out + 4 * x, &v, 4);
#else
    for (int c = 0; c < 4; ++c) {
      int v = 0;
      for (int k = 0; k < taps; ++k) v += s[4 * k + c] * w[k];
      out[4 * x + c] = clamp8((v + (1 << (kAcrossShift - 1))) >> kAcrossShift);
    }
#endif
  }
}

#if defined(QUORVEL_AVX2)
// The same two passes 16 samples (down) and 8 outputs (across) at a time, for processors with
// AVX2; the arithmetic is the same, so are the results.
__attribute__((target("avx2"))) void downAvx2(const uchar* const* rows, const int16_t* w, int taps, int bytes,
                                              int16_t* mid) {
  int x = 0;
  const __m256i half = _mm256_set1_epi32(1 << (kDownShift - 1));
  for (; x + 16 <= bytes; x += 16) {
    __m256i lo = _mm256_setzero_si256(), hi = _mm256_setzero_si256();
    for (int k = 0; k < taps; k += 2) {
      const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(rows[k] + x));
      const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(rows[k + 1] + x));
      const __m256i wk = _mm256_set1_epi32(int(uint16_t(w[k])) | int(uint32_t(uint16_t(w[k + 1])) << 16));
      lo = _mm256_add_epi32(lo, _mm256_madd_epi16(_mm256_cvtepu8_epi16(_mm_unpacklo_epi8(a, b)), wk));
      hi = _mm256_add_epi32(hi, _mm256_madd_epi16(_mm256_cvtepu8_epi16(_mm_unpackhi_epi8(a, b)), wk));
    }
    lo = _mm256_srai_epi32(_mm256_add_epi32(lo, half), kDownShift);
    hi = _mm256_srai_epi32(_mm256_add_epi32(hi, half), kDownShift);
    // packs works within each half: put the samples back in order.
    const __m256i packed = _mm256_permute4x64_epi64(_mm256_packs_epi32(lo, hi), 0xD8);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(mid + x), packed);
  }
  if (x < bytes) down(rows, w, taps, bytes - x, mid + x, x);
}

__attribute__((target("avx2"))) void across1Avx2(const int16_t* mid, const Axis& ax, int ow, uchar* out) {
  const int taps = ax.taps;  // a multiple of 8
  const __m256i half = _mm256_set1_epi32(1 << (kAcrossShift - 1));
  int x = 0;
  for (; x + 8 <= ow; x += 8) {
    __m256i acc[8];
    for (int j = 0; j < 8; ++j) {
      const int16_t* s = mid + ax.first[size_t(x + j)];
      const int16_t* w = ax.weight.data() + size_t(x + j) * size_t(taps);
      __m256i a = _mm256_setzero_si256();
      int k = 0;
      for (; k + 16 <= taps; k += 16)
        a = _mm256_add_epi32(a, _mm256_madd_epi16(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(s + k)),
                                                  _mm256_loadu_si256(reinterpret_cast<const __m256i*>(w + k))));
      if (k < taps)
        a = _mm256_add_epi32(a, _mm256_castsi128_si256(_mm_madd_epi16(
                                    _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + k)),
                                    _mm_loadu_si128(reinterpret_cast<const __m128i*>(w + k)))));
      acc[j] = a;
    }
    // Eight sums at once: pairwise within each half, then the halves together.
    const __m256i t0 = _mm256_hadd_epi32(acc[0], acc[1]), t1 = _mm256_hadd_epi32(acc[2], acc[3]);
    const __m256i t2 = _mm256_hadd_epi32(acc[4], acc[5]), t3 = _mm256_hadd_epi32(acc[6], acc[7]);
    const __m256i u0 = _mm256_hadd_epi32(t0, t1), u1 = _mm256_hadd_epi32(t2, t3);
    __m256i v = _mm256_add_epi32(_mm256_permute2x128_si256(u0, u1, 0x20), _mm256_permute2x128_si256(u0, u1, 0x31));
    v = _mm256_srai_epi32(_mm256_add_epi32(v, half), kAcrossShift);
    const __m128i words = _mm_packs_epi32(_mm256_castsi256_si128(v), _mm256_extracti128_si256(v, 1));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(out + x), _mm_packus_epi16(words, words));
  }
  if (x < ow) across1(mid, ax, ow, out, x);
}

std::atomic<bool> wideVectors{__builtin_cpu_supports("avx2") != 0};
#endif

// Output rows [y0, y1) of one plane.
void band(const Plane& p, const PlaneOut& o, const Axis& ax, const Axis& ay, int ow, int y0, int y1) {
  const int c = p.channels;
  const int padL = std::max(0, -ax.lowest), padR = std::max(0, ax.highest - p.width);
  const int samples = padL + p.width + padR;
  // Made once for the band and reused row by row; every sample is written before it is read.
  std::unique_ptr<int16_t[]> mid(new int16_t[size_t(samples) * size_t(c) + 8]);
  std::unique_ptr<const uchar*[]> rows(new const uchar*[size_t(ay.taps)]);
  int16_t* row0 = mid.get() + size_t(padL) * size_t(c);
  for (int y = y0; y < y1; ++y) {
    const int first = ay.first[size_t(y)];
    for (int k = 0; k < ay.taps; ++k) rows[size_t(k)] = p.data + std::clamp(first + k, 0, p.height - 1) * p.stride;
    const int16_t* wy = ay.weight.data() + size_t(y) * size_t(ay.taps);
#if defined(QUORVEL_AVX2)
    if (wideVectors) downAvx2(rows.get(), wy, ay.taps, p.width * c, row0);
    else
#endif
      down(rows.get(), wy, ay.taps, p.width * c, row0);
    // The edges extended by their last sample.
    for (int i = 0; i < padL; ++i) std::copy(row0, row0 + c, mid.get() + size_t(i) * size_t(c));
    for (int i = 0; i < padR; ++i)
      std::copy(row0 + size_t(p.width - 1) * size_t(c), row0 + size_t(p.width) * size_t(c),
                row0 + size_t(p.width + i) * size_t(c));
    uchar* out = o.data + y * o.stride;
    if (c == 4) across4(row0, ax, ow, out);
#if defined(QUORVEL_AVX2)
    else if (wideVectors) across1Avx2(row0, ax, ow, out);
#endif
    else across1(row0, ax, ow, out);
  }
}

}  // namespace

bool useWideVectors(bool on) {
#if defined(QUORVEL_AVX2)
  const bool had = wideVectors;
  wideVectors = on && __builtin_cpu_supports("avx2");
  return had;
#else
  Q_UNUSED(on);
  return false;
#endif
}

struct Resampler::Axes {
  Axis across, down;
};

Resampler::Resampler(const std::vector<Plane>& from, const std::vector<PlaneOut>& to, const QSize& size)
    : from_(from), to_(to), size_(size) {
  if (size.isEmpty() || from.size() != to.size()) return;
  for (const Plane& p : from)
    if (!p.data || p.width <= 0 || p.height <= 0 || (p.channels != 1 && p.channels != 4)) return;
  for (const PlaneOut& o : to)
    if (!o.data) return;
  for (size_t c = 0; c < from.size(); ++c) {
    const Plane& p = from[c];
    // Planes laid out alike (the three of a 4:4:4 picture, the two colours of a 4:2:0 one)
    // share their weights.
    auto alike = [&p](const Plane& q) {
      return q.width == p.width && q.height == p.height && q.channels == p.channels && q.extent == p.extent &&
             q.upsampled == p.upsampled;
    };
    const auto same = std::find_if(from.begin(), from.begin() + qsizetype(c), alike);
    if (same != from.begin() + qsizetype(c)) {
      axes_.push_back(axes_[size_t(same - from.begin())]);
      continue;
    }
    const QSizeF span = p.extent.isEmpty() ? QSizeF(p.width, p.height) : p.extent;
    axes_.push_back(Axes{
        axisFor(span.width(), p.width, size.width(), p.channels == 4 ? 2 : 8, std::max(1, p.upsampled.width())),
        axisFor(span.height(), p.height, size.height(), 2, std::max(1, p.upsampled.height()))});
  }
}

Resampler::~Resampler() = default;
bool Resampler::isNull() const { return axes_.empty(); }
int Resampler::planes() const { return int(axes_.size()); }

void Resampler::rows(int y0, int y1) const {
  for (int c = 0; c < planes(); ++c) rows(c, y0, y1);
}

void Resampler::rows(int plane, int y0, int y1) const {
  y0 = std::max(0, y0);
  y1 = std::min(size_.height(), y1);
  if (y0 >= y1 || plane < 0 || plane >= planes()) return;
  const Axes& a = axes_[size_t(plane)];
  band(from_[size_t(plane)], to_[size_t(plane)], a.across, a.down, size_.width(), y0, y1);
}

void forRowBands(int rows, const std::function<void(int, int)>& work, int band) {
  band = std::max(1, band);
  const int bands = (rows + band - 1) / band;
  // What the helpers share with this call; one that starts only after the call is done finds it
  // closed and leaves at once, so the call never waits for a thread the system has not run yet.
  struct Run {
    std::atomic<int> next{0};
    QMutex mutex;
    QWaitCondition idle;
    int working = 0;
    bool closed = false;
    const std::function<void(int, int)>* work = nullptr;
    int rows = 0, band = 1, bands = 0;
    void bandsLeft() {
      for (int b; (b = next.fetch_add(1)) < bands;) (*work)(b * band, std::min(rows, (b + 1) * band));
    }
  };
  auto run = std::make_shared<Run>();
  run->work = &work;
  run->rows = rows;
  run->band = band;
  run->bands = bands;
  // Helpers only on threads that are free now: never queued behind other work.
  QThreadPool* pool = QThreadPool::globalInstance();
  for (int helpers = 1; helpers < std::min(bands, pool->maxThreadCount()); ++helpers) {
    const bool started = pool->tryStart([run] {
      {
        QMutexLocker lock(&run->mutex);
        if (run->closed) return;
        ++run->working;
      }
      run->bandsLeft();
      QMutexLocker lock(&run->mutex);
      if (--run->working == 0) run->idle.wakeAll();
    });
    if (!started) break;
  }
  run->bandsLeft();
  QMutexLocker lock(&run->mutex);
  run->closed = true;
  while (run->working > 0) run->idle.wait(&run->mutex);
}

bool lanczos3(const std::vector<Plane>& from, const std::vector<PlaneOut>& to, const QSize& size) {
  const Resampler r(from, to, size);
  if (r.isNull()) return false;
  // The planes' bands one after the other, as one run of rows.
  const int h = size.height(), n = int(from.size());
  forRowBands(n * h, [&](int first, int end) {
    for (int row = first; row < end;) {
      const int c = row / h, y0 = row % h, y1 = std::min(h, y0 + (end - row));
      r.rows(c, y0, y1);
      row += y1 - y0;
    }
  });
  return true;
}

QImage lanczos3(const QImage& image, const QSize& size, const QSizeF& extent) {
  if (image.isNull() || size.isEmpty()) return QImage();
  const bool alpha = image.hasAlphaChannel();
  const QImage src = image.convertToFormat(alpha ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32);
  QImage out(size, src.format());
  if (src.isNull() || out.isNull()) return QImage();
  // The four bytes of a pixel are filtered together.
  uchar* bits = out.bits();  // taken once: the bands write into it from several threads
  const qsizetype stride = out.bytesPerLine();
  if (!lanczos3({Plane{src.constBits(), src.width(), src.height(), src.bytesPerLine(), 4, extent}},
                {PlaneOut{bits, stride}}, size))
    return QImage();
  forRowBands(size.height(), [&](int y0, int y1) {
    for (int y = y0; y < y1; ++y) {
      auto* line = reinterpret_cast<QRgb*>(bits + y * stride);
      for (int x = 0; x < size.width(); ++x) {
        const QRgb px = line[x];
        if (!alpha) {
          line[x] = px | 0xFF000000u;
          continue;
        }
        // Premultiplied colour never exceeds its alpha, whatever the filter's overshoot.
        const int a = qAlpha(px);
        line[x] = qRgba(std::min(qRed(px), a), std::min(qGreen(px), a), std::min(qBlue(px), a), a);
      }
    }
  });
  return out;
}

}  // namespace Imaging
