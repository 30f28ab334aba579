// Packing an upload-sized archive one member per run, as the upload preparation does, against a
// plain copy of the same files.
// Run: build/bench/bench_zipAppend [members [megabytes [folder]]]   (defaults: 200 3 the system temp)
// Prints, for each of a few rounds and as their medians, the copy's time (cp of the files, then
// sync), the zip runs' total time, and the mean time of the first and of the last ten runs. The aim: within 1.5 times the copy, and the last runs no
// slower than the first.
#include "cZip.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  const QStringList args = app.arguments();
  const int members = args.size() > 1 ? args[1].toInt() : 200;
  const int megabytes = args.size() > 2 ? args[2].toInt() : 3;
  QTemporaryDir tmp(args.size() > 3 ? args[3] + "/bench_zipAppend-XXXXXX" : QDir::tempPath() + "/bench_zipAppend-XXXXXX");
  if (!tmp.isValid() || members < 10) return 1;
  const QString src = tmp.path() + "/pictures";
  QDir().mkpath(src);
  std::printf("%d members of %d MB in %s\n", members, megabytes, qPrintable(tmp.path()));

  // Pictures as the print preparation writes them: JPEG data, which is stored.
  QByteArray data(megabytes << 20, Qt::Uninitialized);
  for (int i = 0; i < members; ++i) {
    QRandomGenerator(i + 1).fillRange(reinterpret_cast<quint32*>(data.data()), data.size() / 4);
    std::memcpy(data.data(), "\xFF\xD8\xFF\xE0", 4);
    QFile f(src + "/" + QString::number(i));
    if (!f.open(QIODevice::WriteOnly) || f.write(data) != data.size()) return 1;
  }
  QProcess::execute("sync", {});

  // A few rounds, copy then zip in each, so that one burst of writeback elsewhere on the machine
  // does not decide the figure: the medians are printed.
  constexpr int kRounds = 3;
  std::vector<double> copyTimes, zipTimes, firstTen, lastTen;
  for (int round = 0; round < kRounds; ++round) {
    const QString copy = tmp.path() + "/copy";
    const QString zip = tmp.path() + "/UpLoad.TMP";
    QElapsedTimer t;
    t.start();
    QProcess::execute("cp", {"-r", src, copy});
    QProcess::execute("sync", {});
    copyTimes.push_back(t.nsecsElapsed() / 1e9);

    std::vector<double> runs;
    t.restart();
    for (int i = 0; i < members; ++i) {
      QElapsedTimer r;
      r.start();
      cZip z;
      z.setEncrypt(false);
      z.setAddComment(false);
      z.setZipFile(zip);
      z.setStoreFolderNames(false);
      z.setRecurseSubDirs(false);
      z.ClearFileSpecs();
      z.AddFileSpec(src + "/" + QString::number(i));
      z.Zip();
      if (!z.Success()) {
        std::printf("run %d failed\n", i);
        return 1;
      }
      runs.push_back(r.nsecsElapsed() / 1e6);
    }
    QProcess::execute("sync", {});
    zipTimes.push_back(t.nsecsElapsed() / 1e9);

    double first = 0, last = 0;
    for (int i = 0; i < 10; ++i) {
      first += runs[size_t(i)] / 10;
      last += runs[runs.size() - 10 + size_t(i)] / 10;
    }
    firstTen.push_back(first);
    lastTen.push_back(last);
    std::printf("round %d: cp + sync %.2f s, zip runs %.2f s (%.2f x), first ten %.1f ms, last ten %.1f ms\n", round + 1,
                copyTimes.back(), zipTimes.back(), zipTimes.back() / copyTimes.back(), first, last);
    QDir(copy).removeRecursively();
    QFile::remove(zip);
    QProcess::execute("sync", {});
  }

  auto median = [](std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
  };
  const double copySeconds = median(copyTimes), zipSeconds = median(zipTimes);
  std::printf("median of %d rounds:\n", kRounds);
  std::printf("cp + sync      %8.2f s\n", copySeconds);
  std::printf("zip runs       %8.2f s  (%.2f x the copy)\n", zipSeconds, zipSeconds / copySeconds);
  std::printf("first ten runs %8.1f ms each\n", median(firstTen));
  std::printf("last ten runs  %8.1f ms each\n", median(lastTen));
  return 0;
}
