#include "PrintImage.h"

#include "Imaging.h"
#include "VbMath.h"

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

Made prepare(const Job& job) {
  Made m;
  QFile::remove(job.target);
  if (!QFileInfo(job.source).isFile()) return m;
  Imaging::Picture picture;
  if (!picture.load(job.source)) {
    m.made = QFile::copy(job.source, job.target);  // not a picture: its bytes go in unchanged
  } else {
    m.picture = picture.size();
    const Decision d = job.sharp
        ? forSharp(job.width, m.picture.width(), m.picture.height(), job.rotation, job.dpi)
        : forImage(job.width, job.height, m.picture.width(), m.picture.height(), job.dpi);
    m.made = d.copy ? QFile::copy(job.source, job.target) : picture.savePrint(d.size, job.target);
  }
  if (!m.made) QFile::remove(job.target);
  return m;
}

}  // namespace PrintImage
