#include "PrintImage.h"

#include "frmMain.h"
#include "Imaging.h"
#include "mainModule.h"
#include "upDesign.h"
#include "VbMath.h"

#include <QDomElement>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <cmath>

namespace PrintImage {

double leadingNumber(const QString& text) {
  static const QRegularExpression number(
      R"(^\s*([+-]?(?:\d+\.?\d*|\.\d+)(?:[eE][+-]?\d+)?))");
  const auto m = number.match(text);
  if (!m.hasMatch()) return 0;
  bool ok = false;
  const double v = m.captured(1).toDouble(&ok);
  return ok && std::isfinite(v) ? v : 0;
}

double designDpi(const QString& dpiText) {
  const double dpi = leadingNumber(dpiText);
  return dpi < 72 ? 72 : dpi;
}

double Max(double a, double b) { return a > b ? a : b; }

long long rotationOf(const QString& srText) {
  const double sr = leadingNumber(srText);
  // Far outside any real rotation the whole-number step would overflow; such a text means none.
  if (std::fabs(sr) > 1e15) return 0;
  return VbMath::roundEven(sr) % 360;
}

double effectiveWidth(double W, double H, long long a) {
  if (a == 0) return W;
  const double rho = a * 3.1415926535 / 180;
  return Max(std::fabs(W * std::cos(rho) - H * std::sin(rho)),
             std::fabs(W * std::cos(rho) + H * std::sin(rho)));
}

namespace {
// Fractional print sizes become the nearest whole pixel, never less than one.
int pixels(double v) {
  if (!(v >= 1)) return 1;
  if (v > 1e6) return 1000000;
  return static_cast<int>(VbMath::roundEven(v));
}
}  // namespace

Decision forImage(double w, double h, int W, int H, double dpi) {
  Q_UNUSED(H);
  const double t = 72 / dpi;
  Decision d;
  if (W <= 0 || w / W >= t) return d;
  d.copy = false;
  d.size = QSize(pixels(w / t), pixels(h / t));
  return d;
}

Decision forSharp(double sw, int W, int H, long long a, double dpi) {
  const double t = 72 / dpi;
  const double E = effectiveWidth(W, H, a);
  Decision d;
  if (E <= 0 || sw / E >= t) return d;
  const double r = (sw / t) / E;
  d.copy = false;
  d.size = QSize(pixels(W * r), pixels(H * r));
  return d;
}

QString percentText(double value) { return QString::number(value, 'g', 15); }

}  // namespace PrintImage

// The workspace's print picture procedures.

double frmMain::Max(double a, double b) { return PrintImage::Max(a, b); }

void frmMain::prepImage(QDomElement node, int n) { prepPicture(node, n, false); }
void frmMain::prepSharp(QDomElement node, int n) { prepPicture(node, n, true); }

namespace {
// A size child read as a decimal number; false when it is missing or not a number.
bool sizeOf(const QDomElement& node, const QString& name, double& value) {
  const QDomElement e = node.firstChildElement(name);
  if (e.isNull()) return false;
  bool ok = false;
  value = e.text().trimmed().toDouble(&ok);
  return ok && std::isfinite(value);
}
}  // namespace

void frmMain::prepPicture(QDomElement node, int n, bool sharp) {
  double w = 0, h = 0;
  if (!sizeOf(node, sharp ? "sw" : "w", w) || !sizeOf(node, sharp ? "sh" : "h", h)) return;
  const long long a = sharp ? PrintImage::rotationOf(UpDesign::childText(node, "sr")) : 0;

  // Only the last part of src names the picture, and only inside the design's Images folder.
  const QString name = UpDesign::childText(node, "src").section(QRegularExpression("[\\\\/]"), -1);
  if (name.isEmpty() || name == "." || name == "..") return;
  const QString source = g.designPath + "/Images/" + name;
  const QString target = g.designPath + "/UpLoad/" + QString::number(n);
  if (!QFileInfo(source).isFile()) return;
  QFile::remove(target);

  if (!LoadGDIP()) return;
  Imaging::Picture& picture = gdipImage;
  bool made = false;
  if (!picture.load(source)) {
    made = QFile::copy(source, target);  // not a picture: its bytes go in unchanged
  } else {
    imgWidth = picture.width();
    imgHeight = picture.height();
    const PrintImage::Decision d = sharp
        ? PrintImage::forSharp(w, imgWidth, imgHeight, a, designDPI)
        : PrintImage::forImage(w, h, imgWidth, imgHeight, designDPI);
    if (d.copy) {
      made = QFile::copy(source, target);
    } else {
      const QImage scaled = picture.scaledTo(d.size, Imaging::Picture::Scaling::Print);
      made = !scaled.isNull() && Imaging::saveJpeg(scaled, target, 100, Imaging::Chroma::Full444);
    }
  }
  DisposeGDIP();
  if (!made) {
    QFile::remove(target);
    return;
  }
  if (addToPackage(target, false)) UpDesign::setChildText(node, "src", QString::number(n));
}
