// Thumbnails of an opened design's pictures as the workspace makes them: 150 pixels a side at
// quality 80 from 6000 x 4000 JPEG photos, one set with 4:2:0 colour and one with 4:4:4. Both
// sides run as whole processes, interleaved round by round (the order swapped every round); the
// figures are the medians of the rounds:
// - ours: one process making all of them on its pool, as the workspace does;
// - `xargs -P<cores> vipsthumbnail`, one picture per process: goal, ours at most 0.6 times;
// - one `vipsthumbnail` given all of them, for reference.
// Run: build/bench/bench_thumbnails [rounds=3 [pictures=50]]   (libvips-tools; QT_QPA_PLATFORM=offscreen when missing)
#include "Imaging.h"
#include "Thumbnail.h"
#include "photo.h"
#include "process.h"

#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QTemporaryDir>
#include <QThread>

#include <cstdio>

int main(int argc, char** argv) {
  // Ours as a process: every thumbnail on the pool, into a folder.
  if (argc > 1 && QByteArray(argv[1]) == "--thumbnails")
    return makeEach(argc, argv, [](const QString& file, const QString& target) {
      return makeThumbnail(file, 150, target).status == Thumbnail::Written;
    });
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  const int rounds = argc > 1 ? std::max(1, atoi(argv[1])) : 3;
  const int count = argc > 2 ? std::max(1, atoi(argv[2])) : 50;
  const int cores = QThread::idealThreadCount();
  QTemporaryDir dir;
  std::printf("%d rounds; %d pictures of 6000x4000 to 150x100; %d cores\n", rounds, count, cores);

  for (const bool full : {false, true}) {
    const char* kind = full ? "444" : "420";
    const QStringList all = photoSet(dir.filePath(QString("photos-%1").arg(kind)), count, QSize(6000, 4000), 90,
                                     full ? Imaging::Chroma::Full444 : Imaging::Chroma::Sub420, full ? 7 : 1);
    const QString ours = dir.filePath(QString("ours-%1").arg(kind)), vips = dir.filePath(QString("vips-%1").arg(kind));
    QDir().mkpath(ours);
    QDir().mkpath(vips);
    const QString output = vips + "/%s.jpg[Q=80]";
    const QString list = dir.filePath(QString("list-%1").arg(kind));
    writeLines(list, all);
    const QStringList xargs{"xargs", "-a", list, "-P" + QString::number(cores), "-n1", "vipsthumbnail", "-s", "150", "-o",
                            output};

    Side oursSide, xargsSide, oneSide;
    interleave(rounds, [&] { oursSide.add(runProcess(QStringList{selfPath(), "--thumbnails", ours} + all)); },
               [&] {
                 xargsSide.add(runProcess(xargs));
                 oneSide.add(runProcess(QStringList{"vipsthumbnail", "-s", "150", "-o", output} + all));
               });
    bool sizes = true;
    for (const QString& p : all.mid(0, 2))
      sizes = sizes && Imaging::pictureSize(ours + "/" + QFileInfo(p).fileName()) == QSize(150, 100);

    std::printf("\n%s source:\n", full ? "4:4:4" : "4:2:0");
    std::printf("  %-36s %6.3f s %6.3f CPU-s %7.1f MiB%s\n", "ours, one process on its pool", oursSide.medianWall(),
                oursSide.medianCpu(), oursSide.medianPeak(), oursSide.ok && sizes ? "" : "  (a run failed)");
    std::printf("  %-36s %6.3f s %6.3f CPU-s %7.1f MiB  ratio %.2f (goal <= 0.60)%s\n",
                qPrintable(QString("xargs -P%1 vipsthumbnail").arg(cores)), xargsSide.medianWall(), xargsSide.medianCpu(),
                xargsSide.medianPeak(), oursSide.medianWall() / xargsSide.medianWall(), xargsSide.ok ? "" : "  (a run failed)");
    std::printf("  %-36s %6.3f s %6.3f CPU-s %7.1f MiB  ratio %.2f%s\n", "vipsthumbnail, all in one process",
                oneSide.medianWall(), oneSide.medianCpu(), oneSide.medianPeak(),
                oursSide.medianWall() / oneSide.medianWall(), oneSide.ok ? "" : "  (a run failed)");
  }
  return 0;
}
