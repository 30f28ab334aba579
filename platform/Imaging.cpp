#include "Imaging.h"

#include "Resample.h"
#include "Twips.h"

#include <QBuffer>
#include <QFile>
#include <QImageReader>
#include <QPainter>
#include <QSaveFile>
#include <QThreadPool>
#include <QtEndian>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <atomic>
#include <memory>
#include <turbojpeg.h>
#include <utility>
#include <unistd.h>

namespace Imaging {
namespace {

// A compressor or decompressor of the calling thread: TurboJPEG handles serve one thread at a time.
class TjHandle {
public:
  explicit TjHandle(bool compress) : h_(compress ? tjInitCompress() : tjInitDecompress()) {}
  ~TjHandle() {
    if (h_) tjDestroy(h_);
  }
  TjHandle(const TjHandle&) = delete;
  TjHandle& operator=(const TjHandle&) = delete;
  tjhandle get() const { return h_; }

private:
  tjhandle h_;
};

tjhandle compressor() {
  thread_local TjHandle h(true);
  return h.get();
}
tjhandle decompressor() {
  thread_local TjHandle h(false);
  return h.get();
}

// 32-bit pixels in QImage::Format_RGB32 order, as TurboJPEG names them on this machine.
constexpr int kPixelFormat = (Q_BYTE_ORDER == Q_LITTLE_ENDIAN) ? TJPF_BGRX : TJPF_XRGB;

// Memory of its own, left as the allocator gives it: every byte is written before it is read.
using Bytes = std::unique_ptr<uchar[]>;
Bytes bytesFor(size_t n) { return Bytes(new (std::nothrow) uchar[n]); }

// The same, its pages made present beforehand by the pool's free threads: fresh memory costs a
// fault per page, which would otherwise fall on the one thread that decodes into it.
Bytes presentBytesFor(size_t n) {
  Bytes b = bytesFor(n);
  if (!b) return b;
  constexpr size_t kChunk = size_t(1) << 20, kPage = 4096;
  const size_t chunks = (n + kChunk - 1) / kChunk;
  if (chunks < 4) return b;
  uchar* base = b.get();
  forRowBands(int(chunks), [&](int first, int end) {
    uchar* from = base + size_t(first) * kChunk;
    uchar* to = base + std::min(n, size_t(end) * kChunk);
    // Whole pages only: the ones at either end may hold another allocation's bytes.
    uchar* a = reinterpret_cast<uchar*>((reinterpret_cast<uintptr_t>(from) + kPage - 1) & ~(kPage - 1));
    uchar* z = reinterpret_cast<uchar*>(reinterpret_cast<uintptr_t>(to) & ~(kPage - 1));
    for (uchar* page = a; page < z; page += kPage) *reinterpret_cast<volatile uchar*>(page) = 0;
  }, 4);
  return b;
}

bool looksLikeJpeg(const QByteArray& b) {
  return b.size() > 3 && uchar(b[0]) == 0xFF && uchar(b[1]) == 0xD8 && uchar(b[2]) == 0xFF;
}

const unsigned char* data(const QByteArray& b) { return reinterpret_cast<const unsigned char*>(b.constData()); }

bool jpegHeader(const QByteArray& b, int& w, int& h) {
  int subsamp = 0, colorspace = 0;
  return tjDecompressHeader3(decompressor(), data(b), (unsigned long)b.size(), &w, &h, &subsamp, &colorspace) == 0 &&
         w > 0 && h > 0;
}

// Qt refuses pictures above 128 MB of pixels by default, which a large scan or panorama passes.
// The bound here lets every thread of the pool hold one such picture within a quarter of the
// machine's memory.
void raiseAllocationLimit() {
  static const bool done = [] {
    const long pages = sysconf(_SC_PHYS_PAGES), pageSize = sysconf(_SC_PAGESIZE);
    const double memoryMb = pages > 0 && pageSize > 0 ? double(pages) * double(pageSize) / (1024 * 1024) : 0;
    const int threads = std::max(1, QThreadPool::globalInstance()->maxThreadCount());
    const int limit = int(std::clamp(memoryMb / 4 / threads, 0.0, 4096.0));
    if (limit > QImageReader::allocationLimit()) QImageReader::setAllocationLimit(limit);
    return true;
  }();
  Q_UNUSED(done);
}

// The picture as stored (no turn by its orientation tag, like the JPEG path). One whose pixels
// would not fit the allocation limit is read at the largest size that does, where the format
// can shrink while reading. Only a loaded picture gets here, and load() raised the limit.
QImage readWithQt(const QByteArray& bytes) {
  QBuffer buffer;
  buffer.setData(bytes);
  buffer.open(QIODevice::ReadOnly);
  QImageReader reader(&buffer);
  reader.setAutoTransform(false);
  const QSize full = reader.size();
  const QImage::Format format = reader.imageFormat();
  const int bits = format == QImage::Format_Invalid ? 32 : std::max(32, int(QImage::toPixelFormat(format).bitsPerPixel()));
  const double limit = double(QImageReader::allocationLimit()) * 1024 * 1024;
  const double needed = bits / 8.0 * full.width() * full.height();
  if (!full.isEmpty() && limit > 0 && needed > limit && reader.supportsOption(QImageIOHandler::ScaledSize)) {
    const double f = std::sqrt(limit / needed) * 0.99;
    reader.setScaledSize(QSize(std::max(1, int(full.width() * f)), std::max(1, int(full.height() * f))));
  }
  return reader.read();
}

// How much larger than a print target a DCT-reduced decode must stay.
constexpr int kPrintReserve = 4;

// A JPEG's planes as stored (no colour conversion, colour not upsampled), decoded for a print
// of some size: at no less than kPrintReserve times it where the DCT can shrink.
struct DecodedPlanes {
  Bytes data;
  std::vector<Plane> planes;  // empty: TurboJPEG cannot give them (CMYK, RGB-coded JPEGs)
};

DecodedPlanes decodePlanes(const QByteArray& bytes, const QSize& picture, const QSize& size) {
  int w = 0, h = 0, subsamp = 0, colorspace = 0;
  if (tjDecompressHeader3(decompressor(), data(bytes), (unsigned long)bytes.size(), &w, &h, &subsamp, &colorspace) != 0)
    return {};
  if (colorspace != TJCS_YCbCr && colorspace != TJCS_GRAY) return {};
  const int denom = dctDenominator(picture, size * kPrintReserve);
  const tjscalingfactor f{1, denom};
  const int sw = TJSCALED(w, f), sh = TJSCALED(h, f);
  const int count = subsamp == TJSAMP_GRAY ? 1 : 3;
  DecodedPlanes d;
  unsigned char* ptr[3] = {};
  int strides[3] = {}, heights[3] = {};
  size_t offsets[4] = {};
  for (int c = 0; c < count; ++c) {
    strides[c] = tjPlaneWidth(c, sw, subsamp);
    heights[c] = tjPlaneHeight(c, sh, subsamp);
    if (strides[c] <= 0 || heights[c] <= 0) return {};
    offsets[c + 1] = offsets[c] + size_t(strides[c]) * size_t(heights[c]);
  }
  // One block for all planes, present before the decoder writes it.
  if (!(d.data = presentBytesFor(offsets[count]))) return {};
  for (int c = 0; c < count; ++c) ptr[c] = d.data.get() + offsets[c];
  if (tjDecompressToYUVPlanes(decompressor(), data(bytes), (unsigned long)bytes.size(), ptr, sw, strides, sh, 0) != 0)
    return {};
  for (int c = 0; c < count; ++c) {
    // The picture's own size in this plane's samples: reduced by the DCT scale and, for colour,
    // by its subsampling.
    const double across = double(tjPlaneWidth(c, w, subsamp)) * w / tjPlaneWidth(0, w, subsamp);
    const double down = double(tjPlaneHeight(c, h, subsamp)) * h / tjPlaneHeight(0, h, subsamp);
    Plane plane{ptr[c], strides[c], heights[c], strides[c], 1, QSizeF(across / denom, down / denom)};
    if (c > 0) plane.upsampled = QSize(tjMCUWidth[subsamp] / 8, tjMCUHeight[subsamp] / 8);
    d.planes.push_back(plane);
  }
  return d;
}

// Luma and colour planes at a print size, 8 bits a sample, size.width() apart.
struct PrintPlanes {
  Bytes plane[3];
  int count = 0;  // 1: grey; 0: none
  QSize size;
  std::vector<PlaneOut> out() const {
    std::vector<PlaneOut> o;
    for (int c = 0; c < count; ++c) o.push_back(PlaneOut{plane[c].get(), size.width()});
    return o;
  }
};

PrintPlanes printPlanes(int count, const QSize& size) {
  PrintPlanes p;
  const size_t samples = size_t(size.width()) * size_t(size.height());
  for (int c = 0; c < count; ++c)
    if (!(p.plane[c] = bytesFor(samples))) return {};
  p.count = count;
  p.size = size;
  return p;
}

// The JPEG's planes filtered to size, all at once.
PrintPlanes jpegPrintPlanes(const QByteArray& bytes, const QSize& picture, const QSize& size) {
  const DecodedPlanes d = decodePlanes(bytes, picture, size);
  if (d.planes.empty()) return {};
  PrintPlanes p = printPlanes(int(d.planes.size()), size);
  if (!p.count || !lanczos3(d.planes, p.out(), size)) return {};
  return p;
}

// The JFIF conversion, as the decoder would have done it before scaling.
QImage rgbFromPlanes(const PrintPlanes& p) {
  QImage out(p.size, QImage::Format_RGB32);
  if (out.isNull()) return out;
  uchar* bits = out.bits();  // taken once: the bands write into it from several threads
  const qsizetype stride = out.bytesPerLine();
  const int width = p.size.width();
  auto byte = [](float x) { return int(std::clamp(x, 0.0f, 255.0f) + 0.5f); };
  forRowBands(p.size.height(), [&](int y0, int y1) {
    for (int y = y0; y < y1; ++y) {
      auto* line = reinterpret_cast<QRgb*>(bits + y * stride);
      const size_t row = size_t(y) * size_t(width);
      for (int x = 0; x < width; ++x) {
        const int luma = p.plane[0][row + size_t(x)];
        if (p.count == 1) {
          line[x] = qRgb(luma, luma, luma);
          continue;
        }
        const float cb = float(p.plane[1][row + size_t(x)]) - 128, cr = float(p.plane[2][row + size_t(x)]) - 128;
        line[x] = qRgb(byte(luma + 1.402f * cr), byte(luma - 0.344136f * cb - 0.714136f * cr), byte(luma + 1.772f * cb));
      }
    }
  });
  return out;
}

// Replaces what is at path with the bytes of a JPEG that TurboJPEG made, and frees them.
bool writeJpeg(unsigned char* jpeg, unsigned long size, const QString& path) {
  QSaveFile f(path);
  const bool ok = f.open(QIODevice::WriteOnly) && f.write(reinterpret_cast<const char*>(jpeg), qint64(size)) == qint64(size);
  tjFree(jpeg);
  return ok && f.commit();
}

// Where the parts of a JPEG that TurboJPEG wrote lie: its frame header (SOF0), its scan header
// (SOS), the entropy-coded data after it, and the end marker.
struct JpegParts {
  size_t frame = 0, scan = 0, data = 0, end = 0;
};

bool partsOf(const unsigned char* j, size_t n, JpegParts& parts) {
  if (n < 4 || j[0] != 0xFF || j[1] != 0xD8 || j[n - 2] != 0xFF || j[n - 1] != 0xD9) return false;
  for (size_t i = 2; i + 4 <= n;) {
    if (j[i] != 0xFF) return false;
    const int marker = j[i + 1];
    const size_t length = (size_t(j[i + 2]) << 8) | j[i + 3];
    if (marker == 0xC0) parts.frame = i;
    if (marker == 0xDD) return false;  // a restart interval of its own
    if (marker == 0xDA) {
      parts.scan = i;
      parts.data = i + 2 + length;
      parts.end = n - 2;
      return parts.frame && parts.data <= parts.end;
    }
    i += 2 + length;
  }
  return false;
}

// One strip of a picture, compressed on its own.
struct Strip {
  unsigned char* jpeg = nullptr;
  unsigned long size = 0;
  JpegParts parts;
  Strip() = default;
  Strip(const Strip&) = delete;
  Strip& operator=(const Strip&) = delete;
  ~Strip() {
    if (jpeg) tjFree(jpeg);
  }
};

// Resamples into p and writes it as a baseline JPEG of quality 100 at 4:4:4, strip by strip on
// the pool's free threads: each strip of whole 8-row blocks is filtered and compressed on its
// own, and their entropy-coded data are joined behind one header with restart markers between
// them: the file one encoder would write with a restart interval of one strip. Grey pictures
// stay three-component JPEGs like every other print picture.
bool encodeStrips(const Resampler& r, const PrintPlanes& p, const QString& path) {
  const int w = p.size.width(), h = p.size.height();
  const int blocksAcross = (w + 7) / 8;
  const int threads = std::max(1, QThreadPool::globalInstance()->maxThreadCount());
  // About two strips a thread, each a few dozen block rows, within the 16 bits of the interval.
  int stripRows = 8 * std::max(8, (h + 16 * threads - 1) / (16 * threads));
  stripRows = std::min(stripRows, 8 * std::max(1, 65535 / blocksAcross));
  const int strips = blocksAcross > 65535 ? 1 : (h + stripRows - 1) / stripRows;
  if (strips == 1) stripRows = h;

  Bytes neutral;
  if (p.count == 1) {
    const size_t samples = size_t(w) * size_t(std::min(h, stripRows));
    if (!(neutral = bytesFor(samples))) return false;
    std::memset(neutral.get(), 128, samples);
  }
  std::vector<Strip> pieces(static_cast<size_t>(strips));
  std::atomic<bool> failed{false};
  forRowBands(h, [&](int y0, int y1) {
    r.rows(y0, y1);
    Strip& s = pieces[size_t(y0 / stripRows)];
    const size_t at = size_t(y0) * size_t(w);
    const unsigned char* planes[3] = {p.plane[0].get() + at, neutral ? neutral.get() : p.plane[1].get() + at,
                                      neutral ? neutral.get() : p.plane[2].get() + at};
    const int strides[3] = {w, w, w};
    if (!compressor() ||
        tjCompressFromYUVPlanes(compressor(), planes, w, strides, y1 - y0, TJSAMP_444, &s.jpeg, &s.size, 100, 0) != 0 ||
        (strips > 1 && !partsOf(s.jpeg, s.size, s.parts)))
      failed = true;
  }, stripRows);
  if (failed) return false;
  if (strips == 1) {
    unsigned char* jpeg = std::exchange(pieces[0].jpeg, nullptr);
    return writeJpeg(jpeg, pieces[0].size, path);
  }

  // One header: the first strip's, with the whole height, a restart interval and its scan header.
  const Strip& first = pieces[0];
  QByteArray header(reinterpret_cast<const char*>(first.jpeg), qsizetype(first.parts.data));
  const size_t heightAt = first.parts.frame + 5;
  for (const Strip& s : pieces) {
    // Every strip was written with the same tables; anything else cannot be joined.
    QByteArray own(reinterpret_cast<const char*>(s.jpeg), qsizetype(s.parts.data));
    if (s.parts.frame != first.parts.frame || s.parts.scan != first.parts.scan || own.size() != header.size()) return false;
    own[qsizetype(heightAt)] = header[qsizetype(heightAt)];
    own[qsizetype(heightAt + 1)] = header[qsizetype(heightAt + 1)];
    if (own != header) return false;
  }
  header[qsizetype(heightAt)] = char(h >> 8);
  header[qsizetype(heightAt + 1)] = char(h & 0xFF);
  const int interval = blocksAcross * (stripRows / 8);
  const char restart[6] = {char(0xFF), char(0xDD), 0, 4, char(interval >> 8), char(interval & 0xFF)};
  header.insert(qsizetype(first.parts.scan), restart, 6);

  QSaveFile f(path);
  bool ok = f.open(QIODevice::WriteOnly) && f.write(header) == header.size();
  for (int k = 0; ok && k < strips; ++k) {
    const Strip& s = pieces[size_t(k)];
    const qint64 n = qint64(s.parts.end - s.parts.data);
    ok = f.write(reinterpret_cast<const char*>(s.jpeg + s.parts.data), n) == n;
    const char marker[2] = {char(0xFF), char(k + 1 < strips ? 0xD0 + k % 8 : 0xD9)};
    ok = ok && f.write(marker, 2) == 2;
  }
  return ok && f.commit();
}

// A picture with transparency drawn onto white: colour plus the white that shows through.
QImage onWhite(const QImage& image) {
  if (!image.hasAlphaChannel()) return image;
  QImage premultiplied = image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
  QImage out(premultiplied.size(), QImage::Format_RGB32);
  if (premultiplied.isNull() || out.isNull()) return QImage();
  for (int y = 0; y < out.height(); ++y) {
    const auto* in = reinterpret_cast<const QRgb*>(premultiplied.constScanLine(y));
    auto* line = reinterpret_cast<QRgb*>(out.scanLine(y));
    for (int x = 0; x < out.width(); ++x) {
      const int clear = 255 - qAlpha(in[x]);
      line[x] = qRgb(qRed(in[x]) + clear, qGreen(in[x]) + clear, qBlue(in[x]) + clear);
    }
  }
  return out;
}

}  // namespace

bool start() {
  raiseAllocationLimit();
  return jpegWriterAvailable();
}

bool jpegWriterAvailable() { return compressor() != nullptr; }

bool saveJpeg(const QImage& image, const QString& path, int quality, Chroma chroma) {
  if (image.isNull() || !compressor()) return false;
  const QImage rgb = image.convertToFormat(QImage::Format_RGB32);
  unsigned char* out = nullptr;
  unsigned long outSize = 0;
  const int sub = chroma == Chroma::Full444 ? TJSAMP_444 : TJSAMP_420;
  // No progressive flag: TurboJPEG writes baseline JPEG.
  if (tjCompress2(compressor(), rgb.constBits(), rgb.width(), int(rgb.bytesPerLine()), rgb.height(), kPixelFormat,
                  &out, &outSize, sub, std::clamp(quality, 1, 100), 0) != 0) {
    if (out) tjFree(out);
    return false;
  }
  return writeJpeg(out, outSize, path);
}

bool Picture::load(const QString& path) {
  dispose();
  raiseAllocationLimit();
  QFile f(path);
  if (!f.open(QIODevice::ReadOnly)) return false;
  QByteArray bytes = f.readAll();
  int w = 0, h = 0;
  if (looksLikeJpeg(bytes) && jpegHeader(bytes, w, h)) {
    jpeg_ = true;
    size_ = QSize(w, h);
  } else {
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    reader.setAutoTransform(false);
    QSize s = reader.canRead() ? reader.size() : QSize();
    if (s.isEmpty() && reader.canRead()) s = reader.read().size();
    if (s.isEmpty()) return false;
    size_ = s;
  }
  bytes_ = std::move(bytes);
  return true;
}

void Picture::dispose() {
  bytes_.clear();
  size_ = QSize();
  jpeg_ = false;
}

int dctDenominator(const QSize& picture, const QSize& target) {
  if (!target.isValid() || target.isEmpty()) return 1;
  for (int d : {8, 4, 2}) {
    const tjscalingfactor f{1, d};
    if (TJSCALED(picture.width(), f) >= target.width() && TJSCALED(picture.height(), f) >= target.height()) return d;
  }
  return 1;
}

QImage Picture::decode(const QSize& atLeast, bool exact, QSizeF* extent) const {
  if (isNull()) return QImage();
  if (jpeg_) {
    const int num = 1, denom = dctDenominator(size_, atLeast);
    const tjscalingfactor f{num, denom};
    const int w = TJSCALED(size_.width(), f), h = TJSCALED(size_.height(), f);
    QImage img(w, h, QImage::Format_RGB32);
    if (!img.isNull()) {
      // A reduced decode is smoothed down afterwards: the fast paths cost nothing visible.
      const int flags = denom > 1 && !exact ? (TJFLAG_FASTDCT | TJFLAG_FASTUPSAMPLE) : 0;
      if (tjDecompress2(decompressor(), data(bytes_), (unsigned long)bytes_.size(), img.bits(), w,
                        int(img.bytesPerLine()), h, kPixelFormat, flags) == 0) {
        // A DCT-reduced decode spans the picture with a last pixel that may reach past its edge.
        if (extent) *extent = QSizeF(size_) / denom;
        return img;
      }
    }
    // Colour spaces TurboJPEG does not turn into RGB (CMYK) still load through Qt.
  }
  QImage img = readWithQt(bytes_);
  if (extent) *extent = QSizeF(img.size());
  return img;
}

QImage Picture::scaledTo(const QSize& size, Scaling scaling) const {
  if (size.isEmpty()) return QImage();
  if (scaling == Scaling::Print) {
    // A DCT reduction strays from a true low-pass filter well below its own limit; left at four
    // times the target, the filter after it removes what it got wrong.
    if (jpeg_) {
      const PrintPlanes planes = jpegPrintPlanes(bytes_, size_, size);
      if (planes.count) return rgbFromPlanes(planes);
    }
    QSizeF extent;
    const QImage img = decode(size * kPrintReserve, true, &extent);
    if (img.isNull() || img.size() == size) return img;
    return lanczos3(img, size, extent);
  }
  QImage img = decode(size, false);
  if (img.isNull() || img.size() == size) return img;
  return img.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

QImage Picture::image() const { return decode(QSize(), false); }

bool Picture::savePrint(const QSize& size, const QString& path) const {
  if (size.isEmpty() || isNull()) return false;
  if (jpeg_) {
    // Resampled and written in YCbCr, as the JPEG stores it: no colour conversion either way.
    const DecodedPlanes d = decodePlanes(bytes_, size_, size);
    if (!d.planes.empty()) {
      const PrintPlanes p = printPlanes(int(d.planes.size()), size);
      const Resampler r(d.planes, p.out(), size);
      return p.count && !r.isNull() && encodeStrips(r, p, path);
    }
  }
  const QImage img = onWhite(scaledTo(size, Scaling::Print));
  return !img.isNull() && saveJpeg(img, path, 100, Chroma::Full444);
}

QImage loadScaled(const QString& path, const QSize& size) {
  Picture p;
  if (!p.load(path)) return QImage();
  return p.scaledTo(size);
}

QSize pictureSize(const QString& path) {
  Picture p;
  return p.load(path) ? p.size() : QSize();
}

bool drawScaled(QImage& surface, const Picture& picture, const QRectF& rect) {
  if (surface.isNull() || picture.isNull()) return false;
  const QRect target = rect.toAlignedRect();
  const QImage scaled = picture.scaledTo(target.size());
  if (scaled.isNull()) return false;
  if (target == surface.rect() && !scaled.hasAlphaChannel() && scaled.format() == surface.format()) {
    surface = scaled;  // the common case: the picture fills the surface
    return true;
  }
  QPainter p(&surface);
  p.drawImage(target.topLeft(), scaled);
  return true;
}

void PictureBox::Cls() {
  if (!surface_.isNull()) surface_.fill(Qt::white);
}

void PictureBox::setWidth(double twips) { widthTwips_ = twips; }
void PictureBox::setHeight(double twips) { heightTwips_ = twips; }

QSize PictureBox::pixelSize() const {
  return QSize(int(std::lround(widthTwips_ / Twips::perPixelX())), int(std::lround(heightTwips_ / Twips::perPixelY())));
}

bool PictureBox::createGraphics() {
  const QSize s = pixelSize();
  if (s.isEmpty()) return false;
  if (surface_.size() != s) surface_ = QImage(s, QImage::Format_RGB32);
  if (surface_.isNull()) return false;
  surface_.fill(Qt::white);
  return true;
}

bool PictureBox::drawImageRect(const Picture& picture, const QRectF& rect) {
  return drawScaled(surface_, picture, rect);
}

}  // namespace Imaging
