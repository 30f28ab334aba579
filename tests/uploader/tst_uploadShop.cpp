// The uploader against a real FTP server (the stand-in shop's pyftpdlib) and the tests' server
// page: a handed-over design sent whole and confirmed, and a transfer paused and resumed.
#include "FtpPeers.h"
#include "HttpRecorder.h"
#include "PictureBox.h"
#include "Upit.h"
#include "UploadFixture.h"

#include <QLabel>
#include <QScrollBar>
#include <QtTest>

class TestUploadShop : public QObject {
  Q_OBJECT
  std::unique_ptr<UploaderRun> run;
  std::unique_ptr<QTemporaryDir> data;
  std::unique_ptr<StandInShop> shop;
  std::unique_ptr<HttpRecorder> page;

  // The window with a design "Book" whose upload package holds bytes, handed over as id.
  Upit& handOver(const QByteArray& bytes, const QString& id, const QByteArray& listText = QByteArray()) {
    writeFile(run->file("MyDesign/Book/UpLoad/Book.TMP"), bytes);
    upload& u = run->start(listText, shop->ftpPort());
    Module1::upServerURL = page->url();
    run->fake->clipboard.setText("upload@@;Book;" + id);
    u.Timer1_Timer();
    Upit* r = u.Upit1(u.rowsLoaded);
    r->Timer5.setInterval(50);  // the notice's 4 s are not waited out here
    return *r;
  }
  QByteArray remote(const QString& id) const { return readAll(QDir(shop->ftpHome()).filePath(id)); }

private Q_SLOTS:
  void initTestCase() {
    run = std::make_unique<UploaderRun>();
    data = std::make_unique<QTemporaryDir>();
    shop = std::make_unique<StandInShop>(data->path());
    QVERIFY2(shop->ready(), qPrintable(shop->error()));
  }
  void init() {
    page = std::make_unique<HttpRecorder>();
    page->replyBody = "<reply flag=\"ok\"/>";
  }
  void cleanup() {
    run->finish();
    page.reset();
  }
  void cleanupTestCase() { shop.reset(); }

  void sentWholeAndConfirmed();
  void pausedAndResumed();
  void rowsBeyondTheLocalPortRange();
};

void TestUploadShop::sentWholeAndConfirmed() {
  const QByteArray package = randomBytes(300 * 1024 + 17, 1);
  QByteArray listAtOrder;
  connect(page.get(), &HttpRecorder::requestReceived, this, [&] { listAtOrder = readAll(run->listFile()); });
  Upit& r = handOver(package, "D900");
  QCOMPARE(run->fake->clipboard.content, QString());
  QCOMPARE(readAll(run->listFile()), list({element("Book", "D900", "False", "False")}));
  QTRY_COMPARE_WITH_TIMEOUT(r.upsta, QStringLiteral("上传成功!"), 30000);
  QCOMPARE(remote("D900"), package);
  QCOMPARE(page->requests.size(), 1);
  QCOMPARE(page->requests[0].body, QByteArray("Order=Uploaded&dNO=D900"));
  // Saved once when all was sent and once when the shop confirmed it.
  QCOMPARE(listAtOrder, list({element("Book", "D900", "True", "False")}));
  QCOMPARE(readAll(run->listFile()), list({element("Book", "D900", "True", "True")}));
  QCOMPARE(r.Label14->text(), QString("(300KB/300KB)"));
  QCOMPARE(r.fillWidthTwips(), 4200);
  QVERIFY(r.Image2->isHidden());
  QVERIFY(r.Image3->isHidden());
  QVERIFY(!r.Image5->isHidden());
  QVERIFY(!r.Timer1.isActive());
}

void TestUploadShop::pausedAndResumed() {
  const qsizetype size = 48 * 1024 * 1024 + 5;
  const QByteArray package = randomBytes(size, 2);
  Upit* row = nullptr;
  QList<qint64> remaining;  // bytes remaining of each progress report
  bool pauseAsked = false;
  Upit& r = handOver(package, "D901");
  row = &r;
  connect(&r.ftp, &FtpEngine::sendProgress, this, [&](qint64, qint64 left) {
    remaining << left;
    // The user's click on the pause image, soon after the transfer began.
    if (!pauseAsked) {
      pauseAsked = true;
      QTimer::singleShot(0, this, [&] { row->Image2_Click(); });
    }
  });
  QTRY_COMPARE_WITH_TIMEOUT(r.upsta, QStringLiteral("已暂停"), 30000);
  QVERIFY(!r.Image3->isHidden());
  QVERIFY(!r.Timer1.isActive());
  QCOMPARE(r.ftp.state(), FtpEngine::State::Idle);
  QCOMPARE(readAll(run->listFile()), list({element("Book", "D901", "False", "False")}));
  // What the server holds once it has taken in the end of the connection.
  const qint64 heldSize = settledSize(QDir(shop->ftpHome()).filePath("D901"));
  QVERIFY2(heldSize > 0 && heldSize < size, qPrintable(QString::number(heldSize)));

  remaining.clear();
  r.Image3_Click();
  QCOMPARE(r.upsta, QStringLiteral("链接服务器..."));
  QVERIFY(r.Image3->isHidden());
  QTRY_COMPARE_WITH_TIMEOUT(r.upsta, QStringLiteral("上传成功!"), 60000);
  QVERIFY(!remaining.isEmpty());
  QVERIFY(remaining.first() <= size - heldSize);  // only the missing tail goes again
  QCOMPARE(remote("D901"), package);
  QCOMPARE(readAll(run->listFile()), list({element("Book", "D901", "True", "True")}));
}

void TestUploadShop::rowsBeyondTheLocalPortRange() {
  // Row 330's first local ports, 66000 and 66100, lie beyond the last port: the system picks.
  const QByteArray package = randomBytes(5000, 3);
  Upit& r = handOver(package, "D902", unsentTasks(329));
  upload& u = *run->window;
  QCOMPARE(r.selfid, 330);
  QCOMPARE(u.presentRows(), 330);
  QCOMPARE(r.topTwips(), 329 * 690);
  QCOMPARE(u.VScroll1->maximum(), 325);
  QTRY_COMPARE_WITH_TIMEOUT(r.upsta, QStringLiteral("上传成功!"), 30000);
  QCOMPARE(remote("D902"), package);
  QCOMPARE(ids(run->listFile()).size(), 330);
  QCOMPARE(ids(run->listFile()).last(), QString("D902"));
}

QTEST_MAIN(TestUploadShop)
#include "tst_uploadShop.moc"
