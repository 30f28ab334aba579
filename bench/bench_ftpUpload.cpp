// Sending an upload package to pyftpdlib on 127.0.0.1 (the stand-in shop's FTP server): the
// uploader's engine against `curl -T`, both as whole processes, interleaved in one run.
// Run: build/bench/bench_ftpUpload [megabytes [rss-megabytes [folder]]]   (defaults: 300 1024 the system temp)
// Prints, for each of three rounds and as their medians:
//   - a whole upload: seconds and MB/s of ours and of curl (aim: ours at least 0.9 x curl's MB/s);
//   - a resume with the first third on the server (100 MiB of 300): ours against `curl -C - -T`
//     (aim: ours at most 1.1 x curl's time); each remote file is checked byte for byte (sha256);
// and the peak RSS of the uploading process for a package of rss-megabytes (aim: under 64 MB).
#include "FtpEngine.h"
#include "FtpPeers.h"
#include "Paths.h"
#include "process.h"
#include "randomFile.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <vector>


namespace {
// The child: one upload with the engine, as the uploader's row runs it.
int upload(const QStringList& a) {
  // a: --upload host port user password programFolder dNO wDNO
  Paths::setProgramFolder(a[6]);
  FtpEngine e;
  e.FtpServer = a[2];
  e.FtpPort = a[3];
  e.User = a[4];
  e.Pwd = a[5];
  e.dNO = a[7];
  e.wDNO = a[8];
  e.lporta = e.lportb = 100000;  // free ports
  int code = 0;
  QObject::connect(&e, &FtpEngine::statusChanged, [&](const QString& s) {
    if (e.state() == FtpEngine::State::RetryPending || e.state() == FtpEngine::State::Idle) {
      std::fprintf(stderr, "upload failed: %s\n", qPrintable(s));
      code = 2;
      QCoreApplication::quit();
    }
  });
  QObject::connect(&e, &FtpEngine::completionDue, [] { QCoreApplication::quit(); });
  QTimer::singleShot(0, &e, [&e] { e.up(); });
  QCoreApplication::exec();
  return code;
}

bool writePackage(const QString& path, qint64 bytes) {
  QDir().mkpath(QFileInfo(path).path());
  return writeRandomFile(path, bytes, 42);
}

QByteArray sha256(const QString& path, qint64 length = -1) {
  QFile f(path);
  if (!f.open(QIODevice::ReadOnly)) return "missing";
  QCryptographicHash h(QCryptographicHash::Sha256);
  if (length < 0) {
    h.addData(&f);
  } else {
    QByteArray buf;
    for (qint64 left = length; left > 0; left -= buf.size()) {
      buf = f.read(std::min<qint64>(left, 4 << 20));
      if (buf.isEmpty()) return "short";
      h.addData(buf);
    }
  }
  return h.result().toHex();
}

bool copyHead(const QString& from, const QString& to, qint64 length) {
  QFile in(from), out(to);
  if (!in.open(QIODevice::ReadOnly) || !out.open(QIODevice::WriteOnly | QIODevice::Truncate)) return false;
  for (qint64 left = length; left > 0;) {
    const QByteArray buf = in.read(std::min<qint64>(left, 4 << 20));
    if (buf.isEmpty() || out.write(buf) != buf.size()) return false;
    left -= buf.size();
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  const QStringList args = app.arguments();
  if (args.size() == 9 && args[1] == "--upload") return upload(args);

  const qint64 megabytes = args.size() > 1 ? args[1].toLongLong() : 300;
  const qint64 rssMegabytes = args.size() > 2 ? args[2].toLongLong() : 1024;
  QTemporaryDir tmp((args.size() > 3 ? args[3] : QDir::tempPath()) + "/bench_ftpUpload-XXXXXX");
  if (!tmp.isValid() || megabytes < 3) return 1;
  const QString program = tmp.filePath("program");
  const QString package = program + "/MyDesign/Bench/UpLoad/Bench.TMP";
  const qint64 length = megabytes << 20;
  const qint64 held = length / 3;
  if (!writePackage(package, length)) return 1;
  const QByteArray packageSum = sha256(package);

  StandInShop shop(tmp.filePath("shop"));
  if (!shop.ready()) {
    std::printf("%s\n", qPrintable(shop.error()));
    return 1;
  }
  const QString host = "127.0.0.1", port = QString::number(shop.ftpPort());
  const QString user = QStringLiteral(QUORVEL_FTP_USER), password = QStringLiteral(QUORVEL_FTP_PASSWORD);
  const QString self = QCoreApplication::applicationFilePath();
  std::printf("package of %lld MiB, resume from %lld MiB, pyftpdlib on port %d, in %s\n", megabytes, held >> 20,
              shop.ftpPort(), qPrintable(tmp.path()));

  auto ours = [&](const QString& name) {
    return runProcess({self, "--upload", host, port, user, password, program, "Bench", name});
  };
  auto curl = [&](const QString& name, bool resume) {
    QStringList a{"curl", "-s", "-S", "-T", package};
    if (resume) a << "-C" << "-";
    return runProcess(a << QString("ftp://%1:%2@%3:%4/%5").arg(user, password, host, port, name));
  };
  // Each remote file must be the package; it is removed once checked.
  bool allGood = true;
  auto check = [&](const ProcessRun& r, const QString& name) {
    const QString remote = QDir(shop.ftpHome()).filePath(name);
    const bool good = r.ok && sha256(remote) == packageSum;
    if (!good) std::printf("  %s: %s, remote file %s\n", qPrintable(name), r.ok ? "ended well" : "failed",
                           sha256(remote) == packageSum ? "identical" : "differs");
    allGood = allGood && good;
    QFile::remove(remote);
  };
  auto holdHead = [&](const QString& name) { copyHead(package, QDir(shop.ftpHome()).filePath(name), held); };

  constexpr int kRounds = 3;
  std::vector<double> oursWhole, curlWhole, oursResume, curlResume;
  for (int round = 1; round <= kRounds; ++round) {
    // One upload, named after its kind (W whole, R resumed), round and side; its remote file is
    // checked and its time kept.
    auto run = [&](char kind, bool oursNow, std::vector<double>& times) {
      const QString name = QString("%1%2%3").arg(QChar(kind)).arg(round).arg(oursNow ? "o" : "c");
      const bool resume = kind == 'R';
      if (resume) holdHead(name);
      const ProcessRun r = oursNow ? ours(name) : curl(name, resume);
      check(r, name);
      times.push_back(r.wall);
    };
    inTurn(round - 1, [&] { run('W', true, oursWhole); }, [&] { run('W', false, curlWhole); });
    inTurn(round - 1, [&] { run('R', true, oursResume); }, [&] { run('R', false, curlResume); });
    const double mb = double(length) / (1 << 20);
    std::printf("round %d: whole  ours %6.2f s %7.1f MB/s   curl %6.2f s %7.1f MB/s\n", round, oursWhole.back(),
                mb / oursWhole.back(), curlWhole.back(), mb / curlWhole.back());
    std::printf("         resume ours %6.2f s              curl %6.2f s\n", oursResume.back(), curlResume.back());
  }
  const double mb = double(length) / (1 << 20);
  const double ow = median(oursWhole), cw = median(curlWhole), orr = median(oursResume), cr = median(curlResume);
  std::printf("median of %d rounds:\n", kRounds);
  std::printf("whole upload   ours %7.1f MB/s   curl -T      %7.1f MB/s   throughput ratio %.2f (aim >= 0.9)\n",
              mb / ow, mb / cw, cw / ow);
  std::printf("resume         ours %7.2f s      curl -C - -T %7.2f s      time ratio       %.2f (aim <= 1.1)\n", orr,
              cr, orr / cr);

  // Peak memory of the uploading process for a large package.
  QFile::remove(package);
  if (!writePackage(package, rssMegabytes << 20)) return 1;
  const QByteArray bigSum = sha256(package);
  const ProcessRun big = ours("Big");
  const ProcessRun bigCurl = curl("BigC", false);
  const bool bigGood = big.ok && sha256(QDir(shop.ftpHome()).filePath("Big")) == bigSum;
  std::printf("%lld MiB package: peak RSS ours %.1f MB (aim < 64), curl %.1f MB; %.2f s, remote file %s\n",
              rssMegabytes, big.peakMb, bigCurl.peakMb, big.wall,
              bigGood ? "identical" : "DIFFERS");
  std::printf("remote files %s\n", allGood ? "all identical to the package (sha256)" : "NOT ALL IDENTICAL");
  return allGood && bigGood ? 0 : 1;
}
