// The upload engine against real FTP servers started by the test on 127.0.0.1: the stand-in
// shop's pyftpdlib as packaged, and vsftpd with a throwaway local account. Both drop an earlier
// passive listener when a new PASV comes, so every upload here also shows that the data
// connection of the latest 227 carries the package.
#include "FileFixture.h"
#include "FtpEngine.h"
#include "FtpPeers.h"
#include "Paths.h"
#include "UploadFixture.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

class tst_FtpEngineServers : public QObject {
  Q_OBJECT
private Q_SLOTS:
  void initTestCase();
  void init();
  void uploadsTheWholePackage_data() { servers(); }
  void uploadsTheWholePackage();
  void resumesAfterWhatTheServerHolds_data() { servers(); }
  void resumesAfterWhatTheServerHolds();
  void deletesACompleteCopyAndSendsItAgain_data() { servers(); }
  void deletesACompleteCopyAndSendsItAgain();
  void pauseAndStartResumeTheTransfer_data() { servers(); }
  void pauseAndStartResumeTheTransfer();
  void cleanupTestCase();

private:
  void servers();
  // An engine for the server of the current row, with a package of length bytes.
  std::unique_ptr<FtpEngine> engine(qint64 length);
  QString remotePath() const;
  void holdRemote(const QByteArray& bytes);
  QByteArray remote() const;

  std::unique_ptr<QTemporaryDir> work_;
  std::unique_ptr<StandInShop> shop_;
  std::unique_ptr<LocalVsftpd> vsftpd_;
  QString wdno_;
  QByteArray package_;
  int uploads_ = 0;
};

void tst_FtpEngineServers::initTestCase() {
  work_ = std::make_unique<QTemporaryDir>();
  shop_ = std::make_unique<StandInShop>(work_->filePath("shop"));
  QVERIFY2(shop_->ready(), qPrintable(shop_->error()));
  vsftpd_ = std::make_unique<LocalVsftpd>(QStringLiteral(QUORVEL_FTP_PASSWORD));
  QVERIFY2(vsftpd_->ready(), qPrintable(vsftpd_->error()));
}

void tst_FtpEngineServers::cleanupTestCase() {
  shop_.reset();
  vsftpd_.reset();
}

void tst_FtpEngineServers::servers() {
  QTest::addColumn<bool>("vsftpd");
  QTest::newRow("pyftpdlib") << false;
  QTest::newRow("vsftpd") << true;
}

void tst_FtpEngineServers::init() {
  Paths::setProgramFolder(work_->filePath("program"));
  wdno_ = "D" + QString::number(++uploads_);
}

std::unique_ptr<FtpEngine> tst_FtpEngineServers::engine(qint64 length) {
  QFETCH(bool, vsftpd);
  package_ = randomBytes(length, uploads_);
  writePackage(package_);
  auto e = std::make_unique<FtpEngine>();
  aimEngine(*e, vsftpd ? vsftpd_->port() : shop_->ftpPort(), wdno_,
            vsftpd ? vsftpd_->user() : QStringLiteral(QUORVEL_FTP_USER), QStringLiteral(QUORVEL_FTP_PASSWORD));
  e->Timer4.setInterval(10);  // retries at once; the waits keep their real ticks
  return e;
}

QString tst_FtpEngineServers::remotePath() const {
  QFETCH(bool, vsftpd);
  return QDir(vsftpd ? vsftpd_->home() : shop_->ftpHome()).filePath(wdno_);
}

void tst_FtpEngineServers::holdRemote(const QByteArray& bytes) {
  QFETCH(bool, vsftpd);
  if (vsftpd) QVERIFY(vsftpd_->place(wdno_, bytes));
  else writeFile(remotePath(), bytes);
}

QByteArray tst_FtpEngineServers::remote() const { return readAll(remotePath()); }

void tst_FtpEngineServers::uploadsTheWholePackage() {
  auto e = engine(3 * 1024 * 1024 + 11);
  QStringList statuses;
  connect(e.get(), &FtpEngine::statusChanged, this, [&](const QString& s) { statuses << s; });
  e->up();
  QTRY_COMPARE_WITH_TIMEOUT(e->state(), FtpEngine::State::Finished, 30000);
  QCOMPARE(statuses, QStringList{"即将完成,请稍候..."});
  // One data connection per 227: the package went on the one made to the second address.
  QCOMPARE(e->lporta, 100000 + 3);
  QTRY_COMPARE(QFileInfo(remotePath()).size(), package_.size());
  QVERIFY(remote() == package_);
}

void tst_FtpEngineServers::resumesAfterWhatTheServerHolds() {
  auto e = engine(3 * 1024 * 1024 + 11);
  const int held = 1024 * 1024 + 7;
  holdRemote(package_.left(held));
  qint64 sent = 0;
  connect(e.get(), &FtpEngine::sendProgress, this, [&](qint64 n, qint64) { sent += n; });
  e->up();
  QTRY_COMPARE_WITH_TIMEOUT(e->state(), FtpEngine::State::Finished, 30000);
  QCOMPARE(sent, qint64(package_.size() - held));
  QCOMPARE(e->remoteSize, qint64(held / 1024));
  QTRY_COMPARE(QFileInfo(remotePath()).size(), package_.size());
  QVERIFY(remote() == package_);
}

void tst_FtpEngineServers::deletesACompleteCopyAndSendsItAgain() {
  auto e = engine(500 * 1024);
  holdRemote(package_.left(package_.size() - 1));
  QStringList statuses;
  connect(e.get(), &FtpEngine::statusChanged, this, [&](const QString& s) { statuses << s; });
  e->up();
  QTRY_VERIFY_WITH_TIMEOUT(!statuses.isEmpty(), 30000);
  QCOMPARE(statuses.first(), QString("上传失败(5秒后第1次自动开始)"));
  QTRY_COMPARE_WITH_TIMEOUT(e->state(), FtpEngine::State::Finished, 30000);
  QCOMPARE(statuses, (QStringList{"上传失败(5秒后第1次自动开始)", "链接服务器...", "即将完成,请稍候..."}));
  QTRY_COMPARE(QFileInfo(remotePath()).size(), package_.size());
  QVERIFY(remote() == package_);
}

void tst_FtpEngineServers::pauseAndStartResumeTheTransfer() {
  auto e = engine(64 * 1024 * 1024);
  FtpEngine* engine = e.get();
  bool clicked = false;
  connect(engine, &FtpEngine::sendProgress, this, [&clicked, engine] {
    // The user's click comes from the event loop, not from inside the socket's report.
    if (!std::exchange(clicked, true)) QTimer::singleShot(0, engine, [engine] {
        if (engine->dataConnected()) engine->pause();
      });
  });
  e->up();
  QTRY_COMPARE_WITH_TIMEOUT(e->state(), FtpEngine::State::Idle, 30000);
  QVERIFY(e->bothClosed());
  QVERIFY(!e->Timer4.isActive());

  // What reached the server before the pause stays there; the start resumes after it.
  const qint64 held = settledSize(remotePath());
  QVERIFY(held > 0);
  QVERIFY(held < package_.size());
  qint64 sent = 0;
  connect(engine, &FtpEngine::sendProgress, this, [&](qint64 n, qint64) { sent += n; });
  e->cancelRetry();
  e->up();
  QTRY_COMPARE_WITH_TIMEOUT(e->state(), FtpEngine::State::Finished, 60000);
  QCOMPARE(sent, package_.size() - held);
  QTRY_COMPARE(QFileInfo(remotePath()).size(), package_.size());
  QVERIFY(remote() == package_);
}

QTEST_GUILESS_MAIN(tst_FtpEngineServers)
#include "tst_FtpEngineServers.moc"
