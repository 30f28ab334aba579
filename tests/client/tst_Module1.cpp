#include "FakePlatform.h"
#include "Module1.h"
#include "Paths.h"
#include "RawServer.h"
#include "WelCome.h"
#include "Winsock.h"
#include "mainModule.h"
#include "releaseList.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

namespace {
QString question(const QString& server) {
  return QString::fromUtf8("您当前使用的版本:3.5.15较最新版本") + server + QString::fromUtf8("低，是否马上更新？");
}
QByteArray list(const QByteArray& version) {
  return "<ver><release ver=\"" + version + "\"><files><file size=\"10\" Lurl=\"\">Quorvel</file></files>"
         "<runs><runItem>Quorvel</runItem></runs></release></ver>";
}
}  // namespace

class tst_Module1 : public QObject {
  Q_OBJECT
private Q_SLOTS:
  void init();
  void cleanup();
  void readingTheList_data();
  void readingTheList();
  void versionTest_data();
  void versionTest();
  void answers_data();
  void answers();
  void listInSeveralDataEventsAsksOnce();
  void unreachableServerLeavesNoList();
  void listSizeBound_data();
  void listSizeBound();
  void welcomeWindowStartsTheCheck();

private:
  // Runs the check against the test server until its reply is in.
  void check(Winsock& ws);
  QTemporaryDir* dir_ = nullptr;
  FakePlatform* fake_ = nullptr;
  RawServer* server_ = nullptr;
};

void tst_Module1::init() {
  dir_ = new QTemporaryDir;
  Paths::setProgramFolder(dir_->path());
  fake_ = new FakePlatform;
  server_ = new RawServer;
  g.siteURL = "http://" + server_->hostPort();
  Module1::connectLimit = 5;
}

void tst_Module1::cleanup() {
  delete server_;
  delete fake_;
  delete dir_;
}

void tst_Module1::check(Winsock& ws) {
  connect(&ws, &Winsock::DataArrival, &ws, [&ws](qint64 n) { Module1::OnVersionData(n, ws); });
  Module1::RequestVersion(ws);
  QVERIFY(server_->waitForRequests(1));
  QVERIFY(server_->received().startsWith("GET /novrel/ver.xml HTTP/1.1\r\n"));
  QTRY_VERIFY(Module1::replyState().status == socketGet::Status::Complete ||
              Module1::replyState().status == socketGet::Status::Failed);
}

void tst_Module1::readingTheList_data() {
  QTest::addColumn<QByteArray>("text");
  QTest::addColumn<QString>("version");  // null: not read
  // The root and the release are two levels; n more below them.
  const auto nested = [](int n) {
    return "<ver><release ver=\"3.6.0\">" + QByteArray("<a>").repeated(n) + QByteArray("</a>").repeated(n) +
           "</release></ver>";
  };
  QTest::newRow("list") << list("3.6.0") << "3.6.0";
  QTest::newRow("byte-order mark") << "\xEF\xBB\xBF" + list("3.6.0") << "3.6.0";
  QTest::newRow("nested 64 deep") << nested(62) << "3.6.0";
  QTest::newRow("nested 65 deep") << nested(63) << QString();
  const QByteArray shortList = "<ver><release ver=\"3.6.0\"/>";
  QTest::newRow("1 MB") << shortList + QByteArray(releaseList::maxBytes - shortList.size() - 6, ' ') + "</ver>" << "3.6.0";
  QTest::newRow("over 1 MB") << shortList + QByteArray(releaseList::maxBytes - shortList.size() - 5, ' ') + "</ver>"
                             << QString();
}

void tst_Module1::readingTheList() {
  QFETCH(QByteArray, text);
  QFETCH(QString, version);
  QString read;
  QCOMPARE(Module1::readReleaseList(text, read), !version.isNull());
  QCOMPARE(read, version.isNull() ? QString() : version);
}

void tst_Module1::versionTest_data() {
  QTest::addColumn<QByteArray>("reply");
  QTest::addColumn<QString>("asked");  // the question's release version; null: no question

  QTest::newRow("same version") << httpReply(list("3.5.15")) << QString();
  QTest::newRow("same numbers, other text") << httpReply(list("3.05.15")) << "3.05.15";
  QTest::newRow("lower version") << httpReply(list("3.4.9")) << "3.4.9";
  QTest::newRow("higher version, indented list")
      << httpReply("<ver>\r\n  <release ver=\"3.6.0\">\r\n    <files/>\r\n    <runs/>\r\n  </release>\r\n</ver>\r\n")
      << "3.6.0";
  QTest::newRow("declaration before the root") << httpReply("<?xml version=\"1.0\"?>" + list("3.6.0")) << QString();
  QTest::newRow("root of another name") << httpReply("<list><release ver=\"3.6.0\"/></list>") << QString();
  QTest::newRow("error page") << httpReply("<html><body>Not Found</body></html>", "404 Not Found") << QString();
  QTest::newRow("release without a version") << httpReply("<ver><release><files/></release></ver>") << QString();
  QTest::newRow("cut-off list") << httpReply(list("3.6.0").chopped(8)) << QString();
  QTest::newRow("nested 65 deep")
      << httpReply("<ver><release ver=\"3.6.0\">" + QByteArray("<a>").repeated(63) + QByteArray("</a>").repeated(63) +
                   "</release></ver>")
      << QString();
}

void tst_Module1::versionTest() {
  QFETCH(QByteArray, reply);
  QFETCH(QString, asked);
  server_->replies = {reply};
  fake_->msgBox.fallback = Msg::No;
  Winsock ws;
  check(ws);
  QTest::qWait(20);
  QCOMPARE(Module1::localVersion(), QString("3.5.15"));
  if (asked.isNull()) {
    QVERIFY(fake_->msgBox.shown.isEmpty());
  } else {
    QCOMPARE(fake_->msgBox.shown.size(), 1);
    QCOMPARE(fake_->msgBox.shown[0].text, question(asked));
    QCOMPARE(fake_->msgBox.shown[0].title, QString::fromUtf8("程序更新"));
    QCOMPARE(fake_->msgBox.shown[0].style & 0x0F, int(Msg::YesNo));
    QCOMPARE(Module1::serverVersion(), asked);
  }
  // The list stays for the updater, exactly as served.
  QCOMPARE(Module1::verPath(), Paths::join(dir_->path(), "ver.tmp"));
  QFile f(Module1::verPath());
  QVERIFY(f.open(QIODevice::ReadOnly));
  QVERIFY(reply.endsWith(f.readAll()));
  QVERIFY(fake_->process.started.isEmpty());
  QVERIFY(fake_->process.exits.isEmpty());
}

void tst_Module1::answers_data() {
  QTest::addColumn<int>("answer");
  QTest::addColumn<bool>("updates");
  QTest::addColumn<bool>("updaterThere");
  QTest::newRow("yes") << int(Msg::Yes) << true << true;
  QTest::newRow("no") << int(Msg::No) << false << true;
  QTest::newRow("yes, no updater") << int(Msg::Yes) << false << false;
}

void tst_Module1::answers() {
  QFETCH(int, answer);
  QFETCH(bool, updates);
  QFETCH(bool, updaterThere);
  if (!updaterThere) fake_->process.nextPid = 0;
  server_->replies = {httpReply(list("3.6.0"))};
  fake_->msgBox.answers = {answer};
  Winsock ws;
  check(ws);
  QTRY_VERIFY(fake_->msgBox.shown.size() >= 1);
  if (updates) {
    QCOMPARE(fake_->process.started, QStringList{Paths::join(dir_->path(), "Novrel")});
    QCOMPARE(fake_->process.startedArgs, QList<QStringList>{QStringList()});
    QCOMPARE(fake_->process.exits, QList<int>{0});
  } else if (!updaterThere) {
    // The client says so and goes on instead of ending without an update.
    QTRY_COMPARE(fake_->msgBox.shown.size(), 2);
    QVERIFY(fake_->process.exits.isEmpty());
  } else {
    QVERIFY(fake_->process.started.isEmpty());
    QVERIFY(fake_->process.exits.isEmpty());
  }
}

void tst_Module1::listInSeveralDataEventsAsksOnce() {
  const QByteArray body = list("3.6.0");
  const QByteArray whole = httpReply(body);
  const qsizetype headEnd = whole.indexOf("\r\n\r\n") + 4;
  const QByteArrayList pieces{whole.left(headEnd + 10), whole.mid(headEnd + 10, 40), whole.mid(headEnd + 50)};
  fake_->msgBox.fallback = Msg::No;
  Winsock ws;
  int events = 0;
  connect(&ws, &Winsock::DataArrival, &ws, [&](qint64 n) {
    Module1::OnVersionData(n, ws);
    ++events;
  });
  Module1::RequestVersion(ws);
  QVERIFY(server_->waitForRequests(1));
  for (int i = 0; i < pieces.size(); ++i) {
    QVERIFY(fake_->msgBox.shown.isEmpty());
    server_->send(pieces[i]);
    QTRY_COMPARE(events, i + 1);
  }
  QCOMPARE(fake_->msgBox.shown.size(), 1);
  QCOMPARE(fake_->msgBox.shown[0].text, question("3.6.0"));
  // Stray bytes on the connection afterwards ask nothing more.
  server_->send("\r\n");
  QTRY_COMPARE(events, 4);
  QCOMPARE(fake_->msgBox.shown.size(), 1);
}

void tst_Module1::unreachableServerLeavesNoList() {
  const QString ver = Paths::join(dir_->path(), "ver.tmp");
  QFile old(ver);
  QVERIFY(old.open(QIODevice::WriteOnly));
  old.write(list("3.6.0"));
  old.close();
  g.siteURL = QString("http://127.0.0.1:%1").arg(RawServer::unusedPort());
  Module1::connectLimit = 1;
  Winsock ws;
  Module1::RequestVersion(ws);
  QVERIFY(!QFile::exists(ver));
  QCOMPARE(ws.State(), 0);
  QVERIFY(fake_->msgBox.shown.isEmpty());
}

void tst_Module1::listSizeBound_data() {
  QTest::addColumn<int>("length");  // of the announced body: the list padded with blanks
  QTest::addColumn<bool>("asks");
  QTest::newRow("1 MB") << (1 << 20) << true;
  QTest::newRow("one byte more") << (1 << 20) + 1 << false;
}

// A reply that announces more than a release list can be is refused before "ver.tmp" is written.
void tst_Module1::listSizeBound() {
  QFETCH(int, length);
  QFETCH(bool, asks);
  const QByteArray body = list("3.6.0").leftJustified(length, ' ');
  server_->replies = {httpReply(body)};
  fake_->msgBox.fallback = Msg::No;
  Winsock ws;
  check(ws);
  QTest::qWait(20);
  QCOMPARE(fake_->msgBox.shown.size(), asks ? 1 : 0);
  QCOMPARE(QFile::exists(Module1::verPath()), asks);
  if (!asks) QCOMPARE(ws.State(), 0);
}

void tst_Module1::welcomeWindowStartsTheCheck() {
  Form::setQuitWhenLastUnloaded(false);
  server_->replies = {httpReply(list("3.05.15"))};
  fake_->msgBox.answers = {Msg::Yes};
  WelCome w;
  w.load();
  QVERIFY(w.Timer1->isActive());
  g.siteURL = "http://" + server_->hostPort();  // the load set the shop's own address
  QVERIFY(server_->waitForRequests(1));
  QTRY_COMPARE(fake_->msgBox.shown.size(), 1);
  QCOMPARE(fake_->msgBox.shown[0].text, question("3.05.15"));
  QCOMPARE(fake_->process.started, QStringList{Paths::join(dir_->path(), "Novrel")});
  QCOMPARE(fake_->process.exits, QList<int>{0});
  QVERIFY(!w.Timer1->isActive());
  QCOMPARE(server_->requestCount(), 1);
}

QTEST_MAIN(tst_Module1)
#include "tst_Module1.moc"
