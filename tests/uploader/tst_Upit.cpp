// The task row: its progress, speed and remaining-time arithmetic, the pause and resume click,
// removal with and without its question, re-upload and the repeated completion order, a server
// lost after the last byte left, and the program's end from the row.
#include "HttpRecorder.h"
#include "PictureBox.h"
#include "ScriptedFtpServer.h"
#include "Upit.h"
#include "UploadFixture.h"
#include "Winsock.h"

#include <QLabel>
#include <QPushButton>
#include <QtTest>

class TestUpit : public QObject {
  Q_OBJECT
  std::unique_ptr<UploaderRun> run;
  FakePlatform* fake = nullptr;

  // A window with one restored task in the given state; its row.
  Upit& restored(const char* uped, const char* real) {
    upload& u = run->start(list({element("Summer", "A123", uped, real)}));
    return *u.Upit1(1);
  }

private Q_SLOTS:
  void initTestCase() { run = std::make_unique<UploaderRun>(); }
  void init() { fake = &run->platform(); }
  void cleanup() { run->finish(); }

  void progress_data();
  void progress();
  void progressDisplay_data();
  void progressDisplay();
  void pauseClickWhileConnectingDoesNothing();
  void remove_data();
  void remove();
  void repeatedCompletionOrder_data();
  void repeatedCompletionOrder();
  void removedWhileTheOrderWaits();
  void serverLostBeforeItsCompletionReply();
  void endsTheProgramAfterAsking();
};

void TestUpit::progress_data() {
  QTest::addColumn<qint64>("totalKB");
  QTest::addColumn<qint64>("bytesRemaining");
  QTest::addColumn<QString>("shown");
  QTest::addColumn<int>("fillTwips");  // of 4200
  QTest::newRow("45.6 % widens to 46 %") << qint64(1000) << qint64(544 * 1024) << "(456KB/1000KB)" << 1932;
  QTest::newRow("12.5 % goes to the even 12 %") << qint64(1000) << qint64(875 * 1024) << "(125KB/1000KB)" << 504;
  QTest::newRow("13.5 % goes to the even 14 %") << qint64(1000) << qint64(865 * 1024) << "(135KB/1000KB)" << 588;
  QTest::newRow("partial KB left counts as sent") << qint64(10) << qint64(1023) << "(10KB/10KB)" << 4200;
  QTest::newRow("resumed: what the server held counts") << qint64(100) << qint64(60 * 1024 + 5) << "(40KB/100KB)"
                                                       << 1680;
  // A package whose length is a whole number of KB has one KB more left than its total at first.
  QTest::newRow("length a whole KB, at the start") << qint64(1) << qint64(2048) << "(0KB/1KB)" << 0;
  QTest::newRow("1 KB or less, under way") << qint64(0) << qint64(1024) << "(0KB/0KB)" << 0;
  QTest::newRow("1 KB or less, all sent") << qint64(0) << qint64(0) << "(0KB/0KB)" << 4200;
}

void TestUpit::progress() {
  QFETCH(qint64, totalKB);
  QFETCH(qint64, bytesRemaining);
  QFETCH(QString, shown);
  QFETCH(int, fillTwips);
  Upit& r = restored("False", "False");
  r.ftp.totalKB = totalKB;
  r.wsData_SendProgress(4096, bytesRemaining);
  QCOMPARE(r.Label14->text(), shown);
  QCOMPARE(r.fillWidthTwips(), fillTwips);
}

void TestUpit::progressDisplay_data() {
  QTest::addColumn<qint64>("sentKB");
  QTest::addColumn<qint64>("remoteSize");
  QTest::addColumn<qint64>("totalKB");
  QTest::addColumn<int>("elapsedBefore");
  QTest::addColumn<QString>("speed");
  QTest::addColumn<QString>("elapsed");
  QTest::addColumn<QString>("remaining");
  QTest::newRow("59.5 s rounds to 1分0秒") << qint64(1) << qint64(0) << qint64(120) << 0 << "1KB/秒" << "0分1秒"
                                          << "1分0秒";
  QTest::newRow("125 s") << qint64(0) << qint64(0) << qint64(125) << 0 << "0KB/秒" << "0分1秒" << "2分5秒";
  QTest::newRow("2.5 s goes to the even 2") << qint64(9) << qint64(0) << qint64(34) << 0 << "9KB/秒" << "0分1秒"
                                           << "0分2秒";
  QTest::newRow("resumed: only this attempt's KB count") << qint64(140) << qint64(100) << qint64(1000) << 3
                                                         << "10KB/秒" << "0分4秒" << "1分18秒";
  QTest::newRow("a minute on") << qint64(610) << qint64(0) << qint64(610) << 60 << "10KB/秒" << "1分1秒" << "0分0秒";
  // While an attempt logs on the figures are not yet the transfer's (remoteSize still in bytes).
  QTest::newRow("logging on, speed -1") << qint64(0) << qint64(1) << qint64(500) << 0 << "0KB/秒" << "0分1秒"
                                        << "0分0秒";
  QTest::newRow("logging on, held bytes") << qint64(0) << qint64(5000000) << qint64(9000) << 7 << "0KB/秒"
                                          << "0分8秒" << "0分0秒";
}

void TestUpit::progressDisplay() {
  QFETCH(qint64, sentKB);
  QFETCH(qint64, remoteSize);
  QFETCH(qint64, totalKB);
  QFETCH(int, elapsedBefore);
  QFETCH(QString, speed);
  QFETCH(QString, elapsed);
  QFETCH(QString, remaining);
  Upit& r = restored("False", "False");
  r.ftp.totalKB = totalKB;
  r.ftp.remoteSize = remoteSize;
  r.wsData_SendProgress(0, (totalKB - sentKB) * 1024);
  QCOMPARE(r.ftp.sentKB, sentKB);
  r.elapsedSecs = elapsedBefore;
  r.Timer1_Timer();
  QCOMPARE(r.Label9->text(), speed);
  QCOMPARE(r.Label10->text(), elapsed);
  QCOMPARE(r.Label12->text(), remaining);
  QCOMPARE(r.upsta, remaining);
}

void TestUpit::pauseClickWhileConnectingDoesNothing() {
  Upit& r = restored("False", "False");
  QVERIFY(!r.Image3->isHidden());
  r.Image3_Click();  // both connections closed: resume
  QCOMPARE(r.upsta, QStringLiteral("链接服务器..."));
  QVERIFY(r.Image3->isHidden());
  QVERIFY(r.Timer1.isActive());
  QCOMPARE(r.ftp.state(), FtpEngine::State::Connecting);
  // The control connection is being made and no data connection is up.
  r.Image2_Click();
  QCOMPARE(r.upsta, QStringLiteral("链接服务器..."));
  QCOMPARE(r.ftp.state(), FtpEngine::State::Connecting);
  QVERIFY(r.Timer1.isActive());
}

void TestUpit::remove_data() {
  QTest::addColumn<QByteArray>("state");  // uped, real
  QTest::addColumn<int>("answer");
  QTest::addColumn<bool>("asked");
  QTest::addColumn<bool>("removed");
  QTest::newRow("confirmed: no question") << QByteArray("TrueTrue") << int(Msg::Cancel) << false << true;
  QTest::newRow("sent, not confirmed, OK") << QByteArray("TrueFalse") << int(Msg::OK) << true << true;
  QTest::newRow("unsent, Cancel") << QByteArray("FalseFalse") << int(Msg::Cancel) << true << false;
}

void TestUpit::remove() {
  QFETCH(QByteArray, state);
  QFETCH(int, answer);
  QFETCH(bool, asked);
  QFETCH(bool, removed);
  const bool uped = state.startsWith("True");
  Upit& r = restored(uped ? "True" : "False", state.endsWith("TrueTrue") ? "True" : "False");
  upload& u = *run->window;
  fake->msgBox.answers = {answer};
  r.Image4_Click();
  QCOMPARE(fake->msgBox.shown.size(), asked ? 1 : 0);
  if (asked) {
    QCOMPARE(fake->msgBox.shown[0].text, QStringLiteral("该作品还没有上传成功，您确定要删除该作品吗？"));
    QCOMPARE(fake->msgBox.shown[0].title, QStringLiteral("工程1"));
    QCOMPARE(fake->msgBox.shown[0].style, int(Msg::OKCancel));
  }
  QCOMPARE(u.Upit1(1) == nullptr, removed);
  QCOMPARE(ids(run->listFile()), removed ? QStringList() : QStringList{"A123"});
  QCOMPARE(u.presentRows(), removed ? 0 : 1);
}

void TestUpit::repeatedCompletionOrder_data() {
  QTest::addColumn<QByteArray>("reply");
  QTest::addColumn<bool>("serverUp");
  QTest::addColumn<bool>("confirmed");
  QTest::newRow("ok") << QByteArray("<reply flag=\"ok\"/>") << true << true;
  QTest::newRow("refused") << QByteArray("<reply flag=\"no\"/>") << true << false;
  QTest::newRow("not XML") << QByteArray("Server Error") << true << false;
  QTest::newRow("server down") << QByteArray() << false << false;
}

void TestUpit::repeatedCompletionOrder() {
  QFETCH(QByteArray, reply);
  QFETCH(bool, serverUp);
  QFETCH(bool, confirmed);
  HttpRecorder server;
  server.replyBody = reply;
  Upit& r = restored("True", "False");
  r.UpLoadSvr = serverUp ? server.url() : QString("http://127.0.0.1:%1/Client/Server.aspx").arg(unusedPort());
  QCOMPARE(r.upsta, QStringLiteral("文件解析失败!"));
  r.Image5_Click();
  QCOMPARE(r.upsta, QStringLiteral("即将完成,请稍候..."));
  QVERIFY(r.Timer5.isActive());
  QCOMPARE(r.Timer5.interval(), 4000);
  r.Timer5.stop();
  r.Timer5_Timer();
  QVERIFY(!r.Timer5.isActive());
  if (serverUp) {
    QCOMPARE(server.requests.size(), 1);
    QCOMPARE(server.requests[0].body, QByteArray("Order=Uploaded&dNO=A123"));
    QCOMPARE(server.requests[0].header("Content-Type"), QByteArray("application/x-www-form-urlencoded"));
  }
  QCOMPARE(r.upsta, confirmed ? QStringLiteral("上传成功!") : QStringLiteral("即将完成,请稍候..."));
  QCOMPARE(readAll(run->listFile()), list({element("Summer", "A123", "True", confirmed ? "True" : "False")}));
  if (confirmed) return;
  // The same image now sends the whole package again.
  r.Image5_Click();
  QCOMPARE(r.upsta, QStringLiteral("链接服务器..."));
  QCOMPARE(readAll(run->listFile()), list({element("Summer", "A123", "False", "False")}));
  QVERIFY(r.Image5->isHidden());
  QCOMPARE(r.ftp.state(), FtpEngine::State::Connecting);
}

void TestUpit::removedWhileTheOrderWaits() {
  HttpRecorder server;
  server.mode = HttpRecorder::Hold;
  Upit& r = restored("True", "False");
  QPointer<Upit> row(&r);
  r.UpLoadSvr = server.url();
  fake->msgBox.answers = {Msg::OK};
  // The user removes the task while its order is under way.
  connect(&server, &HttpRecorder::requestReceived, this, [&] { row->Image4_Click(); });
  row->Timer5_Timer();
  QCOMPARE(server.requests.size(), 1);
  QTRY_VERIFY(row.isNull());
  QCOMPARE(ids(run->listFile()), QStringList());
}

void TestUpit::serverLostBeforeItsCompletionReply() {
  const QByteArray package = randomBytes(300 * 1024 + 5, 11);
  writePackage(package);
  ScriptedFtpServer server;
  server.hangUpKeeping = 100 * 1024;
  Upit& r = restored("False", "False");
  aimEngine(r.ftp, server.port(), r.ftp.wDNO, r.ftp.User, r.ftp.Pwd);  // the window's account
  r.ftp.setTickInterval(3600 * 1000);  // ticked by hand
  r.up();
  // Every byte left and the task was recorded as sent; then the server went away unanswered.
  QTRY_COMPARE(r.ftp.state(), FtpEngine::State::Sent);
  QCOMPARE(r.upsta, QStringLiteral("即将完成,请稍候..."));
  QCOMPARE(readAll(run->listFile()), list({element("Summer", "A123", "True", "False")}));
  QTRY_VERIFY(r.ftp.wsCommand().State() != Winsock::sckConnected);
  QVERIFY(r.ftp.Timer3.isActive());

  r.ftp.Timer3_Timer();
  QCOMPARE(r.upsta, QStringLiteral("上传失败(5秒后第1次自动开始)"));
  QCOMPARE(r.ftp.state(), FtpEngine::State::RetryPending);
  // A restart now resumes the task instead of reporting it uploaded.
  QCOMPARE(readAll(run->listFile()), list({element("Summer", "A123", "False", "False")}));
  QVERIFY(r.Image5->isHidden());
  QVERIFY(!r.Image3->isHidden());

  r.ftp.Timer4_Timer();
  QTRY_COMPARE(r.ftp.state(), FtpEngine::State::Finished);
  QVERIFY(server.file == package);
  QCOMPARE(server.dataConnections().last().received.size(), package.size() - 100 * 1024);
  QCOMPARE(readAll(run->listFile()), list({element("Summer", "A123", "True", "False")}));
}

void TestUpit::endsTheProgramAfterAsking() {
  Upit& r = restored("False", "False");
  fake->msgBox.answers = {Msg::Cancel, Msg::OK};
  r.Command2_Click();
  QVERIFY(fake->process.exits.isEmpty());
  r.Command2_Click();
  QCOMPARE(fake->process.exits, QList<int>{0});
  QCOMPARE(fake->msgBox.shown[1].text, QStringLiteral("作品还没有上传完成，您确定要中止上传吗？"));
  QCOMPARE(fake->msgBox.shown[1].title, QStringLiteral("上传订单"));
}

QTEST_MAIN(TestUpit)
#include "tst_Upit.moc"
