#include "ImagingHelpers.h"

#include "MsgBox.h"
#include "OrderedWork.h"
#include "Platform.h"
#include "Twips.h"

void ImagingHelpers::ShowTNImg(Imaging::PictureBox& box, const QString& imagePath, int sizeMax,
                               const QString& fileName) {
  box.Cls();
  if (!LoadGDIP()) return;
  const Thumbnail t = makeThumbnail(imagePath, sizeMax, fileName);
  if (t.status == Thumbnail::Unreadable) {
    DisposeGDIP();
    return;
  }
  imgWidth = t.image.width();
  imgHeight = t.image.height();
  box.setWidth(imgWidth * Twips::perPixelX());
  box.setHeight(imgHeight * Twips::perPixelY());
  if (t.status == Thumbnail::NoSurface || !box.createGraphics()) {
    gdipToken = 0;
    platform().process->exitProgram(1);
    return;
  }
  gdipGraphics = &box;
  box.setImage(t.image);
  DisposeGDIP();
}

void ImagingHelpers::ShowTNImg(OrderedWork& work, const QString& imagePath, int sizeMax, const QString& fileName) {
  if (!LoadGDIP()) return;
  work.run<Thumbnail>([=] { return makeThumbnail(imagePath, sizeMax, fileName); },
                      [this](const Thumbnail& t) {
                        if (t.status != Thumbnail::Unreadable) {
                          imgWidth = t.image.width();
                          imgHeight = t.image.height();
                        }
                        if (t.status == Thumbnail::NoSurface) platform().process->exitProgram(1);
                        DisposeGDIP();
                      });
}

bool ImagingHelpers::LoadGDIP() {
  if (Imaging::start()) {
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
