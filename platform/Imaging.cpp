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
#include <memory>
#include <turbojpeg.h>
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
// can shrink while reading.
QImage readWithQt(const QByteArray& bytes) {
  raiseAllocationLimit();
  QBuffer buffer;
  buffer.setData(bytes);
  buffer.open(QIODevice::ReadOnly);
  QImageReader reader(&buffer);
  reader.setAutoTransform(false);
  const QSize full = reader.size();
  const double limit = double(QImageReader::allocationLimit()) * 1024 * 1024;
  const double needed = 4.0 * full.width() * full.height();
  if (!full.isEmpty() && limit > 0 && needed > limit && reader.supportsOption(QImageIOHandler::ScaledSize)) {
    const double f = std::sqrt(limit / needed) * 0.99;
    reader.setScaledSize(QSize(std::max(1, int(full.width() * f)), std::max(1, int(full.height() * f))));
  }
  return reader.read();
}

// How much larger than a print target a DCT-reduced decode must stay.
constexpr int kPrintReserve = 4;

// A JPEG's luma and colour planes at a print size, 8 bits a sample, size.width() apart.
struct PrintPlanes {
  Bytes plane[3];
  int count = 0;  // 1: grey; 0: none
  QSize size;
};

// A JPEG for print: its colour planes decoded as stored (no colour conversion or chroma
// upsampling at full size), each filtered to size. None where TurboJPEG cannot give the planes
// (CMYK, RGB-coded JPEGs): the caller decodes the usual way.
PrintPlanes jpegPrintPlanes(const QByteArray& bytes, const QSize& picture, const QSize& size) {
  int w = 0, h = 0, subsamp = 0, colorspace = 0;
  if (tjDecompressHeader3(decompressor(), data(bytes), (unsigned long)bytes.size(), &w, &h, &subsamp, &colorspace) != 0)
    return {};
  if (colorspace != TJCS_YCbCr && colorspace != TJCS_GRAY) return {};
  const int denom = dctDenominator(picture, size * kPrintReserve);
  const tjscalingfactor f{1, denom};
  const int sw = TJSCALED(w, f), sh = TJSCALED(h, f);
  const int count = subsamp == TJSAMP_GRAY ? 1 : 3;
  Bytes decoded[3];
  unsigned char* ptr[3] = {};
  int strides[3] = {}, heights[3] = {};
  for (int c = 0; c < count; ++c) {
    strides[c] = tjPlaneWidth(c, sw, subsamp);
    heights[c] = tjPlaneHeight(c, sh, subsamp);
    if (strides[c] <= 0 || heights[c] <= 0) return {};
    decoded[c] = bytesFor(size_t(strides[c]) * size_t(heights[c]));
    if (!(ptr[c] = decoded[c].get())) return {};
  }
  if (tjDecompressToYUVPlanes(decompressor(), data(bytes), (unsigned long)bytes.size(), ptr, sw, strides, sh, 0) != 0)
    return {};
  PrintPlanes out;
  std::vector<Plane> from;
  std::vector<PlaneOut> to;
  const size_t samples = size_t(size.width()) * size_t(size.height());
  for (int c = 0; c < count; ++c) {
    // The picture's own size in this plane's samples: reduced by the DCT scale and, for colour,
    // by its subsampling.
    const double across = double(tjPlaneWidth(c, w, subsamp)) * w / tjPlaneWidth(0, w, subsamp);
    const double down = double(tjPlaneHeight(c, h, subsamp)) * h / tjPlaneHeight(0, h, subsamp);
    Plane plane{ptr[c], strides[c], heights[c], strides[c], 1, QSizeF(across / denom, down / denom)};
    if (c > 0) plane.upsampled = QSize(tjMCUWidth[subsamp] / 8, tjMCUHeight[subsamp] / 8);
    from.push_back(plane);
    if (!(out.plane[c] = bytesFor(samples))) return {};
    to.push_back(PlaneOut{out.plane[c].get(), size.width()});
  }
  if (!lanczos3(from, to, size)) return {};
  out.count = count;
  out.size = size;
  return out;
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

// Planes of YCbCr (or grey) at 4:4:4, quality 100.
bool savePlanes(const PrintPlanes& p, const QString& path) {
  Bytes neutral;
  const unsigned char* planes[3] = {p.plane[0].get(), p.plane[1].get(), p.plane[2].get()};
  if (p.count == 1) {
    // Grey pictures stay three-component JPEGs like every other print picture.
    const size_t samples = size_t(p.size.width()) * size_t(p.size.height());
    if (!(neutral = bytesFor(samples))) return false;
    std::memset(neutral.get(), 128, samples);
    planes[1] = planes[2] = neutral.get();
  }
  const int strides[3] = {p.size.width(), p.size.width(), p.size.width()};
  unsigned char* out = nullptr;
  unsigned long outSize = 0;
  if (!compressor() || tjCompressFromYUVPlanes(compressor(), planes, p.size.width(), strides, p.size.height(), TJSAMP_444,
                                               &out, &outSize, 100, 0) != 0) {
    if (out) tjFree(out);
    return false;
  }
  return writeJpeg(out, outSize, path);
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
    const PrintPlanes planes = jpegPrintPlanes(bytes_, size_, size);
    if (planes.count) return savePlanes(planes, path);
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
