#pragma once
// Pictures for thumbnails and print images: load one (JPEG, PNG, BMP, GIF), read its pixel size,
// draw it scaled into an off-screen surface, save a surface as baseline JPEG at a quality.
// JPEG goes through TurboJPEG, which can decode at 1/2, 1/4 or 1/8 of the size in the DCT when
// the target is much smaller; other formats load through QImage.
#include <QByteArray>
#include <QImage>
#include <QRectF>
#include <QSize>
#include <QString>

namespace Imaging {

// Readies the imaging layer, once per program: pictures other than JPEG are read up to a size
// that fits the machine's memory (beyond Qt's own limit), larger ones at a reduced size. True
// when JPEG files can be written. Call it on the user-interface thread before pictures are
// worked on elsewhere.
bool start();

// Whether JPEG files can be written: the TurboJPEG compressor starts (on the calling thread; each
// thread has its own compressor and decompressor).
bool jpegWriterAvailable();

// Chroma sampling of a written JPEG: 4:2:0 is the usual choice for small pictures; print
// pictures keep full colour detail with 4:4:4.
enum class Chroma { Sub420, Full444 };

// Writes image as a baseline JPEG of the given quality (1..100). False when it cannot.
bool saveJpeg(const QImage& image, const QString& path, int quality, Chroma chroma = Chroma::Sub420);

// A picture loaded from a file: its bytes and size are read at once, its pixels are decoded when
// it is drawn, at the smallest DCT scale that still covers the target.
class Picture {
public:
  // Reads the file; false (and a null picture) when it is not a picture this layer reads.
  bool load(const QString& path);
  void dispose();
  bool isNull() const { return size_.isEmpty(); }
  QSize size() const { return size_; }
  int width() const { return size_.width(); }
  int height() const { return size_.height(); }
  bool isJpeg() const { return jpeg_; }
  // How scaledTo trades speed for fidelity: Fast for what is looked at on screen (thumbnails),
  // Print for what is printed: decoded at no less than four times the target where the DCT can
  // shrink it, with every DCT step exact, then resampled with Lanczos-3.
  enum class Scaling { Fast, Print };
  // The whole picture smoothly scaled to exactly size; null when it cannot be decoded.
  QImage scaledTo(const QSize& size, Scaling scaling = Scaling::Fast) const;
  // The whole picture at its own size.
  QImage image() const;

  // Writes the whole picture resampled for print to exactly size as a baseline JPEG of quality
  // 100 without chroma subsampling; what is transparent prints white. False when the picture
  // cannot be decoded or the file cannot be written.
  bool savePrint(const QSize& size, const QString& path) const;

private:
  // Decodes at the smallest DCT scale whose result is at least atLeast on both sides (other
  // formats: at their own size, or reduced when too large to hold); exact decodes every DCT step
  // accurately. extent: how many decoded pixels the whole picture spans.
  QImage decode(const QSize& atLeast, bool exact, QSizeF* extent = nullptr) const;
  QByteArray bytes_;
  QSize size_;
  bool jpeg_ = false;
};

// The DCT scale (1, 2, 4 or 8 for 1/1 .. 1/8) at which a JPEG of size `picture` is decoded for
// a target of size `target`: the smallest decode that is still at least the target on both sides.
int dctDenominator(const QSize& picture, const QSize& target);

// The picture in a file at exactly size (smooth scaling). Null when unreadable.
QImage loadScaled(const QString& path, const QSize& size);

// The pixel size of the picture in a file; an empty size when it is not readable.
QSize pictureSize(const QString& path);

// Draws the whole picture smoothly scaled into rect of surface, over what the surface holds.
// False when the picture cannot be decoded.
bool drawScaled(QImage& surface, const Picture& picture, const QRectF& rect);

// An off-screen drawing surface whose size is set in twips and which keeps what is drawn on it.
class PictureBox {
public:
  // Clears the surface to its background colour.
  void Cls();
  void setWidth(double twips);
  void setHeight(double twips);
  double width() const { return widthTwips_; }
  double height() const { return heightTwips_; }
  QSize pixelSize() const;
  // Makes the drawing surface at the current size; false when it cannot be made.
  bool createGraphics();
  // Draws the whole picture scaled into rect (pixels); false when it cannot be drawn.
  bool drawImageRect(const Picture& picture, const QRectF& rect);
  // What the surface holds.
  const QImage& image() const { return surface_; }
  // Puts a picture of the surface's size on it, as if drawn there.
  void setImage(const QImage& image) { if (image.size() == surface_.size()) surface_ = image; }

private:
  double widthTwips_ = 0;
  double heightTwips_ = 0;
  QImage surface_;
};

}  // namespace Imaging
