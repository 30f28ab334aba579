#include "ImagingHelpers.h"

#include "MsgBox.h"
#include "Platform.h"
#include "Twips.h"
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

void ImagingHelpers::ShowTNImg(Imaging::PictureBox& box, const QString& imagePath, int sizeMax,
                               const QString& fileName) {
  box.Cls();
  if (!LoadGDIP()) return;
  if (!gdipImage.load(imagePath)) {
    // No blank thumbnail of whatever size the box had last.
    DisposeGDIP();
    return;
  }
  imgWidth = gdipImage.width();
  imgHeight = gdipImage.height();
  thumbnailSize(imgWidth, imgHeight, sizeMax);
  box.setWidth(imgWidth * Twips::perPixelX());
  box.setHeight(imgHeight * Twips::perPixelY());
  if (!box.createGraphics()) {
    gdipImage.dispose();
    gdipToken = 0;
    platform().process->exitProgram(1);
    return;
  }
  gdipGraphics = &box;
  box.drawImageRect(gdipImage, QRectF(0, 0, imgWidth, imgHeight));
  Imaging::saveJpeg(box.image(), fileName, 80);
  DisposeGDIP();
}

bool ImagingHelpers::LoadGDIP() {
  if (Imaging::jpegWriterAvailable()) {
    gdipToken = 1;
    return true;
  }
  MsgBox(QString::fromUtf8("加载GDI+失败！"), Msg::Critical | Msg::OKOnly, QString::fromUtf8("加载错误"));
  platform().process->exitProgram(1);
  return false;
}

void ImagingHelpers::DisposeGDIP() {
  gdipImage.dispose();
  gdipGraphics = nullptr;
  gdipToken = 0;
}
