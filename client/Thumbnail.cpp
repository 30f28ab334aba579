#include "Thumbnail.h"

#include "VbMath.h"

void thumbnailSize(int& w, int& h, int sizeMax) {
  // The quotient first, then the product: 204 x 85 gives 62.50000000000001 and so 63.
  if (w > sizeMax) {
    h = int(VbMath::roundEven((double(sizeMax) / double(w)) * double(h)));
    w = sizeMax;
  }
  if (h > sizeMax) {
    w = int(VbMath::roundEven((double(sizeMax) / double(h)) * double(w)));
    h = sizeMax;
  }
  if (h < 1) h = sizeMax;
  if (w < 1) w = sizeMax;
}

Thumbnail makeThumbnail(const QString& imagePath, int sizeMax, const QString& fileName) {
  Thumbnail t;
  Imaging::Picture picture;
  // No blank thumbnail for a file that is no picture.
  if (!picture.load(imagePath)) return t;
  int w = picture.width(), h = picture.height();
  thumbnailSize(w, h, sizeMax);
  t.image = QImage(w, h, QImage::Format_RGB32);
  if (t.image.isNull()) {
    t.status = Thumbnail::NoSurface;
    return t;
  }
  t.image.fill(Qt::white);
  Imaging::drawScaled(t.image, picture, QRectF(0, 0, w, h));
  Imaging::saveJpeg(t.image, fileName, 80);
  t.status = Thumbnail::Written;
  return t;
}
