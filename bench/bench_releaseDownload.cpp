// Release downloads: the updater's download (the window Form1 over the raw HTTP GET, one
// kept-alive connection) against curl, both fetching from nginx on 127.0.0.1 into files of a
// fresh folder, both as whole processes, interleaved, several rounds.
//   one big file (default 300 MiB):   goal: our throughput at least 0.9 x curl's
//   20 small files of 10 KB:          goal: our time at most 1.5 x curl's (one process, keep-alive)
// Two figures each: the whole processes from start to end, and the transfers alone as each
// process times them (curl's time_total of every file; ours from its connect to its last file),
// which leaves out what starting a process costs either side.
// Run: build/bench/bench_releaseDownload [MiB [rounds]]   (defaults 300 3)
// nginx runs with a config in the bench's build folder (bench/releaseDownload); its files stay
// there between runs.
#include "Form1.h"
#include "FtpPeers.h"
#include "Module1.h"
#include "Paths.h"
#include "Platform.h"
#include "ReleaseListXml.h"
#include "Winsock.h"
#include "process.h"
#include "randomFile.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

constexpr int kSmallFiles = 20;
constexpr int kSmallSize = 10 * 1024;

// The child that is "ours": the updater's window, started on a release list, until the last
// file is in the staging folder. It prints its transfer time: from the start of its connect (as
// curl's time_total counts) to the end of the last file. The window draws itself at the end of
// its first frame (16 ms after it is shown), as the program does: a download done sooner ends
// before anything of it is drawn, one that takes longer draws it (fonts and pictures) meanwhile.
int runOurs(const QString& host, const QString& programFolder) {
  Paths::setProgramFolder(programFolder);
  Module1::shopHost = host;
  Form1 form;
  QElapsedTimer transfer;
  QObject::connect(form.Winsck, &Winsock::StateChanged, [&] {
    if (!transfer.isValid()) transfer.start();
  });
  QObject::connect(&form, &Form1::downloaded, [&] {
    std::printf("transfer %.9f\n", double(transfer.nsecsElapsed()) / 1e9);
    std::fflush(stdout);
    std::_Exit(0);
  });
  form.load();
  if (form.ended()) return 1;
  form.showForm();
  return QApplication::exec();
}

// Kept from an earlier run when it has the size already.
bool writeRandom(const QString& path, qint64 size, quint32 seed) {
  return QFileInfo(path).size() == size || writeRandomFile(path, size, seed);
}

struct Times {
  double whole = -1;     // wall time of the process, start to end; negative when it failed
  double transfer = -1;  // the time the process gives for its transfers alone
};

// Runs a program to its end. Its transfer time is what it prints: ours prints one "transfer"
// line, curl one time_total line per file (they add up, the connection being kept).
Times timed(const QString& program, const QStringList& args) {
  QProcess p;
  p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
  QElapsedTimer t;
  t.start();
  p.start(program, args);
  if (!p.waitForFinished(600000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) return {};
  Times r;
  r.whole = double(t.nsecsElapsed()) / 1e9;
  r.transfer = 0;
  for (const QByteArray& line : p.readAllStandardOutput().split('\n'))
    if (!line.trimmed().isEmpty()) r.transfer += line.mid(line.lastIndexOf(' ') + 1).toDouble();
  return r;
}

bool sameSizes(const QString& folder, const QStringList& names, qint64 size) {
  for (const QString& n : names)
    if (QFileInfo(folder + "/" + n).size() != size) return false;
  return true;
}

}  // namespace

int main(int argc, char* argv[]) {
  if (argc == 4 && QByteArray(argv[1]) == "--ours") {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    setPlatform(&qtPlatform());
    return runOurs(QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3]));
  }
  QCoreApplication app(argc, argv);
  const qint64 mib = argc > 1 ? std::max(1, atoi(argv[1])) : 300;
  const int rounds = argc > 2 ? std::max(1, atoi(argv[2])) : 3;
  const QString nginx = "/usr/sbin/nginx";
  const QString curl = "/usr/bin/curl";
  if (!QFile::exists(nginx) || !QFile::exists(curl)) {
    std::fprintf(stderr, "needs nginx and curl (tools/setup.sh installs them)\n");
    return 1;
  }

  const QString dir = QCoreApplication::applicationDirPath() + "/releaseDownload";
  const QString www = dir + "/www/novrel";
  QDir().mkpath(www);
  std::printf("files in %s ...\n", qPrintable(www));
  std::fflush(stdout);
  const qint64 bigSize = mib << 20;
  QStringList small;
  bool ok = writeRandom(www + "/big.bin", bigSize, 1);
  for (int i = 0; i < kSmallFiles; ++i) {
    small << QString("small%1.bin").arg(i, 2, 10, QChar('0'));
    ok = ok && writeRandom(www + "/" + small.last(), kSmallSize, quint32(100 + i));
  }
  if (!ok) return 1;

  const LocalNginx server(dir, "sendfile on; tcp_nopush on; keepalive_requests 1000; types { } "
                                "default_type application/octet-stream;");
  if (!server.ready()) {
    std::fprintf(stderr, "nginx did not start (see %s/error.log)\n", qPrintable(dir));
    return 1;
  }
  const QString host = QString("127.0.0.1:%1").arg(server.port());

  // A program folder per case with the release list the client would have left there.
  auto release = [&](const QString& name, const QStringList& files, qint64 size) {
    const QString folder = dir + "/" + name;
    QDir(folder).removeRecursively();
    QDir().mkpath(folder);
    QList<ListedFile> listed;
    for (const QString& f : files) listed << ListedFile{f.toUtf8(), "", size};
    const QByteArray list = releaseListXml("1.0.0", listed);
    QFile v(folder + "/ver.tmp");
    return v.open(QIODevice::WriteOnly) && v.write(list) == list.size() ? folder : QString();
  };
  const QString self = QCoreApplication::applicationFilePath();
  const QString bigFolder = release("ours-big", {"big.bin"}, bigSize);
  const QString smallFolder = release("ours-small", small, kSmallSize);
  const QString curlBig = dir + "/curl-big";
  const QString curlSmall = dir + "/curl-small";
  QDir().mkpath(curlBig);
  QDir().mkpath(curlSmall);
  // Silent, failing on an HTTP error, and one time_total line per file.
  const QStringList curlOptions{"-s", "-f", "-w", "%{time_total}\n"};
  QStringList smallArgs = curlOptions;
  for (const QString& f : small) smallArgs << "-o" << curlSmall + "/" + f << "http://" + host + "/novrel/" + f;
  const QStringList bigArgs =
      curlOptions + QStringList{"-o", curlBig + "/big.bin", "http://" + host + "/novrel/big.bin"};

  // One case: ours and curl, in an order that alternates between rounds.
  struct Case {
    QString oursFolder, curlFolder;
    QStringList curlArgs, names;
    qint64 size;
    std::vector<Times> ours, curl;
  };
  Case cases[] = {{bigFolder, curlBig, bigArgs, {"big.bin"}, bigSize, {}, {}},
                  {smallFolder, curlSmall, smallArgs, small, kSmallSize, {}, {}}};
  for (int r = 0; r < rounds; ++r) {
    for (Case& c : cases) {
      // Both sides write new files: the last round's are removed before the clock starts.
      QDir(c.oursFolder + "/Novrel.staging").removeRecursively();
      QDir(c.curlFolder).removeRecursively();
      QDir().mkpath(c.curlFolder);
      for (int side = 0; side < 2; ++side) {
        const bool ours = (side == 0) == (r % 2 == 0);
        const Times t = ours ? timed(self, {"--ours", host, c.oursFolder}) : timed(curl, c.curlArgs);
        const QString out = ours ? c.oursFolder + "/Novrel.staging/1.0.0" : c.curlFolder;
        if (t.whole < 0 || !sameSizes(out, c.names, c.size)) {
          std::fprintf(stderr, "%s failed\n", ours ? "ours" : "curl");
          return 1;
        }
        (ours ? c.ours : c.curl).push_back(t);
      }
    }
    std::printf("round %d: big ours %.3f s (transfer %.3f), curl %.3f s (%.3f); 20 small ours %.1f ms (%.1f), "
                "curl %.1f ms (%.1f)\n",
                r + 1, cases[0].ours.back().whole, cases[0].ours.back().transfer, cases[0].curl.back().whole,
                cases[0].curl.back().transfer, cases[1].ours.back().whole * 1e3, cases[1].ours.back().transfer * 1e3,
                cases[1].curl.back().whole * 1e3, cases[1].curl.back().transfer * 1e3);
    std::fflush(stdout);
  }
  // The served files stay for the next run; what was fetched goes.
  for (const Case& c : cases) {
    QDir(c.oursFolder + "/Novrel.staging").removeRecursively();
    QDir(c.curlFolder).removeRecursively();
  }

  auto med = [](const std::vector<Times>& v, bool whole) {
    std::vector<double> x;
    for (const Times& t : v) x.push_back(whole ? t.whole : t.transfer);
    return median(x);
  };
  const double mb = double(bigSize) / double(1 << 20);
  std::printf("medians of %d rounds\n", rounds);
  for (const bool whole : {true, false}) {
    std::printf(whole ? " whole processes (start to end):\n" : " transfers alone (as each process times them):\n");
    const double ob = med(cases[0].ours, whole), cb = med(cases[0].curl, whole);
    const double os = med(cases[1].ours, whole), cs = med(cases[1].curl, whole);
    std::printf("  %lld MiB file: ours %.0f MiB/s, curl %.0f MiB/s, throughput ratio %.2f (goal >= 0.90)\n",
                static_cast<long long>(mib), mb / ob, mb / cb, cb / ob);
    std::printf("  20 x 10 KB on one connection: ours %.1f ms, curl %.1f ms, time ratio %.2f (goal <= 1.50)\n",
                os * 1e3, cs * 1e3, os / cs);
  }
  return 0;
}
