// Print pictures of a photo book as the upload preparation makes them, against `vips resize`:
// 6000 x 4000 JPEG photos, one set with 4:2:0 colour and one with 4:4:4, to 2480 x 1653 pixels
// (a frame of 595.2 x 396.72 points at 300 dpi), quality 100 without chroma subsampling. Both
// sides run as whole processes, interleaved round by round (the order swapped every round);
// the figures are the medians of the rounds.
// - one picture: ours (a process preparing it) against one `vips resize`; goals for 4:4:4: at
//   most 0.8 times its wall time, no more CPU time, and a peak of at most vips's plus the decoded
//   picture;
// - ten pictures: ours (one process, the pictures on its pool as the upload makes them) against
//   `xargs -P<cores>` of `vips resize` (its peak is its largest process's); goals: at most 0.7
//   times its wall time, our peak under 1 GiB;
// - the lowest PSNR of ours against vips's Lanczos-3 output: at least 44 dB.
// Run: build/bench/bench_printImages [rounds=3 [pictures=10]]   (libvips-tools; QT_QPA_PLATFORM=offscreen when missing)
#include "Imaging.h"
#include "PrintImage.h"
#include "photo.h"
#include "process.h"

#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QTemporaryDir>
#include <QThread>

#include <cmath>
#include <cstdio>

namespace {
constexpr double kFrameWidth = 595.2, kFrameHeight = 396.72, kDpi = 300;  // 2480 x 1653 pixels
constexpr int kSide = 6000, kOther = 4000;

double psnr(const QImage& a, const QImage& b) {
  if (a.isNull() || a.size() != b.size()) return 0;
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

void line(const char* what, const Side& ours, const Side& vips) {
  std::printf("  %-28s ours %6.3f s %6.3f CPU-s %7.1f MiB | vips %6.3f s %6.3f CPU-s %7.1f MiB | ratio %.2f%s\n", what,
              ours.medianWall(), ours.medianCpu(), ours.medianPeak(), vips.medianWall(), vips.medianCpu(),
              vips.medianPeak(), ours.medianWall() / vips.medianWall(), ours.ok && vips.ok ? "" : "  (a run failed)");
}
}  // namespace

int main(int argc, char** argv) {
  // Ours as a process: every picture on the pool, as the upload hands them over, into a folder.
  if (argc > 1 && QByteArray(argv[1]) == "--prepare")
    return makeEach(argc, argv, [](const QString& file, const QString& target) {
      PrintImage::Job job;
      job.source = file;
      job.target = target;
      job.width = kFrameWidth;
      job.height = kFrameHeight;
      job.dpi = kDpi;
      return PrintImage::prepare(job).made;
    });
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  const int rounds = argc > 1 ? std::max(1, atoi(argv[1])) : 3;
  const int count = argc > 2 ? std::max(1, atoi(argv[2])) : 10;
  const int cores = QThread::idealThreadCount();
  const PrintImage::Decision d = PrintImage::forImage(kFrameWidth, kFrameHeight, kSide, kOther, kDpi);
  const QString scale = QString::number(double(d.size.width()) / kSide, 'g', 17);
  QTemporaryDir dir;
  std::printf("%d rounds; %d pictures of %dx%d to %dx%d; %d cores\n", rounds, count, kSide, kOther, d.size.width(),
              d.size.height(), cores);

  for (const bool full : {false, true}) {
    const char* kind = full ? "444" : "420";
    const QString photos = dir.filePath(QString("photos-%1").arg(kind));
    const QStringList all = photoSet(photos, count, QSize(kSide, kOther), 92,
                                     full ? Imaging::Chroma::Full444 : Imaging::Chroma::Sub420, full ? 7 : 1);
    QStringList names;
    for (const QString& p : all) names << QFileInfo(p).fileName();
    const QString ours = dir.filePath(QString("ours-%1").arg(kind)), vips = dir.filePath(QString("vips-%1").arg(kind));
    QDir().mkpath(ours);
    QDir().mkpath(vips);
    const QStringList vipsOne{"vips", "resize", all[0], vips + "/" + names[0] + "[Q=100,no-subsample]", scale};
    const QString list = dir.filePath(QString("list-%1").arg(kind));
    writeLines(list, names);
    const QStringList xargs{"xargs", "-a", list, "-P" + QString::number(cores), "-I{}", "vips", "resize", "{}",
                            vips + "/{}[Q=100,no-subsample]", scale};

    Side oursOne, vipsOneSide, oursMany, vipsMany;
    interleave(rounds,
               [&] {
                 oursOne.add(runProcess({selfPath(), "--prepare", ours, all[0]}));
                 oursMany.add(runProcess(QStringList{selfPath(), "--prepare", ours} + all));
               },
               [&] {
                 vipsOneSide.add(runProcess(vipsOne));
                 vipsMany.add(runProcess(xargs, photos));
               });
    double lowest = 99;
    for (const QString& n : names.mid(0, 2))
      lowest = std::min(lowest, psnr(QImage(ours + "/" + n, "JPEG"), QImage(vips + "/" + n, "JPEG")));
    const double decodedMb = double(kSide) * kOther * (full ? 3 : 1.5) / (1024 * 1024);

    std::printf("\n%s source:\n", full ? "4:4:4" : "4:2:0");
    line("one picture", oursOne, vipsOneSide);
    std::printf("    CPU %.2f of vips's (goal <= 1 for 4:4:4); wall goal <= 0.80; peak %.1f MiB against vips's %.1f + "
                "decoded %.1f = %.1f MiB\n",
                oursOne.medianCpu() / vipsOneSide.medianCpu(), oursOne.medianPeak(), vipsOneSide.medianPeak(), decodedMb,
                vipsOneSide.medianPeak() + decodedMb);
    line(qPrintable(QString("%1 pictures").arg(count)), oursMany, vipsMany);
    std::printf("    wall goal <= 0.70; our peak %.1f MiB (goal < 1024)\n", oursMany.medianPeak());
    std::printf("  lowest PSNR against vips: %.2f dB (goal >= 44)\n", lowest);
  }
  return 0;
}
