#include "Imaging.h"

#include "Resample.h"
#include "Twips.h"

#include <QBuffer>
#include <QFile>
#include <QImageReader>
#include <QPainter>
#include <QSaveFile>
#include <QtEndian>

#include <algorithm>
#include <cmath>
#include <turbojpeg.h>
#include <vector>

namespace Imaging {
namespace {

// One compressor and one decompressor for the program's one user-interface thread.
class TjHandle {
public:
  explicit TjHandle(bool compress) : h_(compress ? tjInitCompress() : tjInitDecompress()) {}
  ~TjHandle() {
    if (h_) tjDestroy(h_);
  }
  tjhandle get() const { return h_; }

private:
  tjhandle h_;
};

tjhandle compressor() {
  static TjHandle h(true);
  return h.get();
}
tjhandle decompressor() {
  static TjHandle h(false);
  return h.get();
}

// 32-bit pixels in QImage::Format_RGB32 order, as TurboJPEG names them on this machine.
constexpr int kPixelFormat = (Q_BYTE_ORDER == Q_LITTLE_ENDIAN) ? TJPF_BGRX : TJPF_XRGB;

bool looksLikeJpeg(const QByteArray& b) {
  return b.size() > 3 && uchar(b[0]) == 0xFF && uchar(b[1]) == 0xD8 && uchar(b[2]) == 0xFF;
}

bool jpegHeader(const QByteArray& b, int& w, int& h) {
  int subsamp = 0, colorspace = 0;
  return tjDecompressHeader3(decompressor(), reinterpret_cast<const unsigned char*>(b.constData()),
                             (unsigned long)b.size(), &w, &h, &subsamp, &colorspace) == 0 &&
         w > 0 && h > 0;
}

QImage readWithQt(const QByteArray& bytes) {
  QBuffer buffer;
  buffer.setData(bytes);
  buffer.open(QIODevice::ReadOnly);
  QImageReader reader(&buffer);
  reader.setAutoTransform(false);  // the picture as stored, like the JPEG path
  return reader.read();
}

// How much larger than a print target a DCT-reduced decode must stay.
constexpr int kPrintReserve = 4;

// A JPEG for print: its colour planes decoded as stored (no colour conversion or chroma
// upsampling at full size), each filtered to size, then turned into RGB. Null where TurboJPEG
// cannot give the planes (CMYK, RGB-coded JPEGs): the caller decodes the usual way.
QImage jpegPlanesScaled(const QByteArray& bytes, const QSize& picture, const QSize& size) {
  const auto* data = reinterpret_cast<const unsigned char*>(bytes.constData());
  int w = 0, h = 0, subsamp = 0, colorspace = 0;
  if (tjDecompressHeader3(decompressor(), data, (unsigned long)bytes.size(), &w, &h, &subsamp, &colorspace) != 0)
    return QImage();
  if (colorspace != TJCS_YCbCr && colorspace != TJCS_GRAY) return QImage();
  const int denom = dctDenominator(picture, size * kPrintReserve);
  const tjscalingfactor f{1, denom};
  const int sw = TJSCALED(w, f), sh = TJSCALED(h, f);
  const int count = subsamp == TJSAMP_GRAY ? 1 : 3;
  std::vector<uchar> planes[3];
  unsigned char* ptr[3] = {};
  int strides[3] = {}, heights[3] = {};
  for (int c = 0; c < count; ++c) {
    strides[c] = tjPlaneWidth(c, sw, subsamp);
    heights[c] = tjPlaneHeight(c, sh, subsamp);
    if (strides[c] <= 0 || heights[c] <= 0) return QImage();
    planes[c].resize(size_t(strides[c]) * size_t(heights[c]));
    ptr[c] = planes[c].data();
  }
  if (tjDecompressToYUVPlanes(decompressor(), data, (unsigned long)bytes.size(), ptr, sw, strides, sh, 0) != 0)
    return QImage();
  std::vector<Plane> list;
  for (int c = 0; c < count; ++c) {
    // The picture's own size in this plane's samples: reduced by the DCT scale and, for colour,
    // by its subsampling.
    const double across = double(tjPlaneWidth(c, w, subsamp)) * w / tjPlaneWidth(0, w, subsamp);
    const double down = double(tjPlaneHeight(c, h, subsamp)) * h / tjPlaneHeight(0, h, subsamp);
    const QSizeF extent(across / denom, down / denom);
    list.push_back(Plane{ptr[c], strides[c], heights[c], strides[c], 1, extent});
  }
  const std::vector<std::vector<float>> v = lanczos3(list, size);
  QImage out(size, QImage::Format_RGB32);
  if (v.size() != size_t(count) || out.isNull()) return QImage();
  auto byte = [](float x) { return int(std::clamp(x, 0.0f, 255.0f) + 0.5f); };
  uchar* bits = out.bits();  // taken once: the bands write into it from several threads
  const qsizetype stride = out.bytesPerLine();
  forRowBands(size.height(), [&](int y0, int y1) {
    for (int y = y0; y < y1; ++y) {
      auto* line = reinterpret_cast<QRgb*>(bits + y * stride);
      const size_t row = size_t(y) * size_t(size.width());
      for (int x = 0; x < size.width(); ++x) {
        const float luma = v[0][row + size_t(x)];
        if (count == 1) {
          line[x] = qRgb(byte(luma), byte(luma), byte(luma));
          continue;
        }
        // The JFIF conversion, as the decoder would have done it before scaling.
        const float cb = v[1][row + size_t(x)] - 128, cr = v[2][row + size_t(x)] - 128;
        line[x] = qRgb(byte(luma + 1.402f * cr), byte(luma - 0.344136f * cb - 0.714136f * cr), byte(luma + 1.772f * cb));
      }
    }
  });
  return out;
}

}  // namespace

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
  QSaveFile f(path);
  bool ok = f.open(QIODevice::WriteOnly) && f.write(reinterpret_cast<const char*>(out), qint64(outSize)) == qint64(outSize);
  tjFree(out);
  return ok && f.commit();
}

bool Picture::load(const QString& path) {
  dispose();
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

QImage Picture::decode(const QSize& atLeast, bool exact) const {
  if (isNull()) return QImage();
  if (jpeg_) {
    const int num = 1, denom = dctDenominator(size_, atLeast);
    const tjscalingfactor f{num, denom};
    const int w = TJSCALED(size_.width(), f), h = TJSCALED(size_.height(), f);
    QImage img(w, h, QImage::Format_RGB32);
    if (!img.isNull()) {
      // A reduced decode is smoothed down afterwards: the fast paths cost nothing visible.
      const int flags = denom > 1 && !exact ? (TJFLAG_FASTDCT | TJFLAG_FASTUPSAMPLE) : 0;
      if (tjDecompress2(decompressor(), reinterpret_cast<const unsigned char*>(bytes_.constData()),
                        (unsigned long)bytes_.size(), img.bits(), w, int(img.bytesPerLine()), h, kPixelFormat,
                        flags) == 0)
        return img;
    }
    // Colour spaces TurboJPEG does not turn into RGB (CMYK) still load through Qt.
  }
  return readWithQt(bytes_);
}

QImage Picture::scaledTo(const QSize& size, Scaling scaling) const {
  if (size.isEmpty()) return QImage();
  if (scaling == Scaling::Print) {
    // A DCT reduction strays from a true low-pass filter well below its own limit; left at four
    // times the target, the filter after it removes what it got wrong.
    if (jpeg_) {
      const QImage img = jpegPlanesScaled(bytes_, size_, size);
      if (!img.isNull()) return img;
    }
    const QImage img = decode(size * kPrintReserve, true);
    if (img.isNull() || img.size() == size) return img;
    // A DCT-reduced decode spans the picture with a last pixel that may reach past its edge.
    const int denom = img.size() == size_ ? 1 : dctDenominator(size_, size * kPrintReserve);
    return lanczos3(img, size, QSizeF(size_) / denom);
  }
  QImage img = decode(size);
  if (img.isNull() || img.size() == size) return img;
  return img.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

QImage Picture::image() const { return decode(QSize()); }

QImage loadScaled(const QString& path, const QSize& size) {
  Picture p;
  if (!p.load(path)) return QImage();
  return p.scaledTo(size);
}

QSize pictureSize(const QString& path) {
  Picture p;
  return p.load(path) ? p.size() : QSize();
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
  if (surface_.isNull() || picture.isNull()) return false;
  const QRect target = rect.toAlignedRect();
  const QImage scaled = picture.scaledTo(target.size());
  if (scaled.isNull()) return false;
  if (target == surface_.rect() && !scaled.hasAlphaChannel() && scaled.format() == surface_.format()) {
    surface_ = scaled;  // the common case: the picture fills the surface
    return true;
  }
  QPainter p(&surface_);
  p.drawImage(target.topLeft(), scaled);
  return true;
}

}  // namespace Imaging
