// Print pictures of a photo book: 6000x4000 JPEG photos prepared for print at 300 dpi in frames
// of 576 x 384 points (2400x1600 pixels), as the upload preparation does, side by side in one run
// with `vips resize` of the same photos to the same size, and the PSNR of ours against vips's.
// Goal: faster than vips at a PSNR of at least 44 dB.
// Run: build/bench/bench_printImages [count=100]   (QT_QPA_PLATFORM=offscreen is set when missing)
#include "Imaging.h"
#include "PrintImage.h"
#include "photo.h"

#include <QDir>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <cmath>
#include <cstdio>

namespace {
double psnr(const QImage& a, const QImage& b) {
  if (a.size() != b.size()) return 0;
  const QImage x = a.convertToFormat(QImage::Format_RGB32), y = b.convertToFormat(QImage::Format_RGB32);
  double se = 0;
  for (int r = 0; r < x.height(); ++r) {
    auto* p = reinterpret_cast<const QRgb*>(x.constScanLine(r));
    auto* q = reinterpret_cast<const QRgb*>(y.constScanLine(r));
    for (int c = 0; c < x.width(); ++c) {
      const int d1 = qRed(p[c]) - qRed(q[c]), d2 = qGreen(p[c]) - qGreen(q[c]), d3 = qBlue(p[c]) - qBlue(q[c]);
      se += d1 * d1 + d2 * d2 + d3 * d3;
    }
  }
  const double mse = se / (3.0 * x.width() * x.height());
  return mse == 0 ? 99 : 10 * std::log10(255.0 * 255.0 / mse);
}
}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  const int count = argc > 1 ? std::max(1, atoi(argv[1])) : 100;
  QTemporaryDir dir;
  std::printf("writing %d photos of 6000x4000...\n", count);
  QStringList photos;
  for (int i = 0; i < count; ++i) {
    const QString p = dir.filePath(QString("p%1.jpg").arg(i));
    if (i < 4) photo(6000, 4000, i).save(p, "JPEG", 92);
    else QFile::copy(dir.filePath(QString("p%1.jpg").arg(i % 4)), p);
    photos << p;
  }
  const PrintImage::Decision d = PrintImage::forImage(576, 384, 6000, 4000, 300);
  std::printf("print size %dx%d\n", d.size.width(), d.size.height());

  QDir().mkpath(dir.filePath("ours"));
  QElapsedTimer t;
  t.start();
  for (int i = 0; i < count; ++i) {
    Imaging::Picture pic;
    pic.load(photos[i]);
    Imaging::saveJpeg(pic.scaledTo(d.size, Imaging::Picture::Scaling::Print), dir.filePath(QString("ours/%1").arg(i)), 100,
                      Imaging::Chroma::Full444);
  }
  const double ours = t.elapsed() / 1000.0;

  QDir().mkpath(dir.filePath("vips"));
  const double scale = double(d.size.width()) / 6000;
  t.restart();
  for (int i = 0; i < count; ++i) {
    QProcess::execute("vips", {"resize", photos[i], dir.filePath(QString("vips/%1.jpg[Q=100,no-subsample]").arg(i)),
                               QString::number(scale, 'g', 17)});
  }
  const double vips = t.elapsed() / 1000.0;

  double worst = 99;
  for (int i = 0; i < std::min(count, 4); ++i)
    worst = std::min(worst, psnr(QImage(dir.filePath(QString("ours/%1").arg(i)), "JPEG"),
                                 QImage(dir.filePath(QString("vips/%1.jpg").arg(i)))));
  std::printf("ours: %.2f s total, %.1f ms per picture\n", ours, ours * 1000 / count);
  std::printf("vips resize: %.2f s total, %.1f ms per picture\n", vips, vips * 1000 / count);
  std::printf("ratio %.2f (goal < 1), lowest PSNR against vips %.1f dB (goal >= 44)\n", ours / vips, worst);
  return 0;
}
