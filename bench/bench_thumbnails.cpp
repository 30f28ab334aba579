// Thumbnails of twenty 6000x4000 JPEG photos: our ShowTNImg per picture, side by side with
// vipsthumbnail (libvips-tools) given the same twenty pictures in one call. Goal: at most 0.8
// times vipsthumbnail's time per picture.
// Run: build/bench/bench_thumbnails [count]   (QT_QPA_PLATFORM=offscreen is set when missing)
#include "ImagingHelpers.h"
#include "Imaging.h"
#include "photo.h"

#include <QDir>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <cstdio>


int main(int argc, char* argv[]) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  const int count = argc > 1 ? std::max(1, atoi(argv[1])) : 20;
  QTemporaryDir dir;
  QDir().mkpath(dir.filePath("ours"));
  QDir().mkpath(dir.filePath("vips"));
  QStringList files;
  std::printf("writing %d pictures of 6000x4000 ...\n", count);
  std::fflush(stdout);
  for (int i = 0; i < count; ++i) {
    files << dir.filePath(QString("photo%1.jpg").arg(i, 2, 10, QChar('0')));
    if (!Imaging::saveJpeg(photo(6000, 4000, quint32(i + 1)), files.last(), 90)) {
      std::fprintf(stderr, "cannot write %s\n", qPrintable(files.last()));
      return 1;
    }
  }

  ImagingHelpers helpers;
  Imaging::PictureBox box;
  QElapsedTimer t;
  t.start();
  for (const QString& f : files)
    helpers.ShowTNImg(box, f, 150, dir.filePath("ours/" + QFileInfo(f).fileName()));
  const double ours = double(t.nsecsElapsed()) / 1e6 / count;

  QProcess vips;
  QStringList args{"-s", "150", "-o", dir.filePath("vips") + "/%s.jpg[Q=80]"};
  args += files;
  t.restart();
  vips.start("vipsthumbnail", args);
  if (!vips.waitForFinished(600000) || vips.exitCode() != 0) {
    std::fprintf(stderr, "vipsthumbnail failed: %s\n", vips.readAllStandardError().constData());
    return 1;
  }
  const double theirs = double(t.nsecsElapsed()) / 1e6 / count;

  std::printf("per picture: ShowTNImg %.1f ms, vipsthumbnail %.1f ms, ratio %.2f (goal <= 0.80)\n", ours, theirs,
              ours / theirs);
  return 0;
}
