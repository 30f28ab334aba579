// The upload engine against the scripted FTP server of the tests: the dialogue, replies in odd
// shapes, every wait's limit, retries, the delete rule, pauses, the 226 in any state and the local
// ports. Waits that are meant to run out are ticked by hand.
#include "FileFixture.h"
#include "FtpEngine.h"
#include "Paths.h"
#include "RawServer.h"
#include "ScriptedFtpServer.h"
#include "UploadFixture.h"
#include "Winsock.h"

#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QtTest>

#include <functional>

namespace {
const QString kRetry1 = QStringLiteral("上传失败(5秒后第1次自动开始)");
const QString kConnecting = QStringLiteral("链接服务器...");
const QString kSoon = QStringLiteral("即将完成,请稍候...");
constexpr int kManual = 3600 * 1000;  // a tick interval that never fires within a test
constexpr int kPackageLength = 300 * 1024 + 5;  // of the whole uploads: 300 KB and a part

QByteArray packageBytes(qint64 n) { return randomBytes(n, 7); }

// What the row would show, recorded.
struct Watch {
  QStringList statuses;
  QStringList events;
  QList<qint64> remaining;  // bytes remaining of each progress report
  qint64 sent = 0;
  explicit Watch(FtpEngine& e) {
    QObject::connect(&e, &FtpEngine::statusChanged, &e, [this](const QString& s) { statuses << s; });
    QObject::connect(&e, &FtpEngine::progressDisplay, &e,
                     [this](bool on) { events << (on ? "progress on" : "progress off"); });
    QObject::connect(&e, &FtpEngine::sendProgress, &e, [this](qint64 s, qint64 r) {
      sent += s;
      remaining << r;
    });
    QObject::connect(&e, &FtpEngine::allSent, &e, [this] { events << "all sent"; });
    QObject::connect(&e, &FtpEngine::completionDue, &e, [this] { events << "completion"; });
    QObject::connect(&e, &FtpEngine::startImageShown, &e,
                     [this](bool shown) { events << (shown ? "start shown" : "start hidden"); });
    QObject::connect(&e, &FtpEngine::attemptBegan, &e, [this] { events << "began"; });
  }
};

// An answer of the scripted server: the nth command (every one when nth is 0) that begins with
// verb, in any letter case, gets reply (empty: silence); the others get the usual answer.
using Answer = std::function<std::optional<QByteArray>(const QByteArray& line)>;
Answer answerOn(const QByteArray& verb, const QByteArray& reply, int nth = 0) {
  auto seen = std::make_shared<int>(0);
  return [=](const QByteArray& line) -> std::optional<QByteArray> {
    if (!line.toUpper().startsWith(verb) || (nth && ++*seen != nth)) return std::nullopt;
    return reply;
  };
}

int count(const QList<QByteArray>& list, const QByteArray& item) { return int(list.count(item)); }

// A row's engine aimed at the scripted server, with the shop's account, sending the package as "D1".
void setUp(FtpEngine& e, const ScriptedFtpServer& server) {
  aimEngine(e, server.port(), "D1", "ClientUpDesign", "Qv7x2Lm9Rt4Kp8Ws3Hd6Yb1Nf5");
}

// Whether a local port can be bound right now.
bool portFree(int port) {
  QTcpServer probe;
  return probe.listen(QHostAddress::AnyIPv4, quint16(port));
}
}  // namespace

class tst_FtpEngine : public QObject {
  Q_OBJECT
private Q_SLOTS:
  void init();
  void sendsWhatTheServerLacksWhateverTheReplyShapes_data();
  void sendsWhatTheServerLacksWhateverTheReplyShapes();
  void serverHoldingTheWholePackageIsDeletedAndSentAgain_data();
  void serverHoldingTheWholePackageIsDeletedAndSentAgain();
  void emptyPackageFailsThroughTheDelete();
  void sevenFailuresThenGiveUp();
  void everyWaitEndsOnItsSixtyFirstTick_data();
  void everyWaitEndsOnItsSixtyFirstTick();
  void completionReplyDuringAnotherWait();
  void droppedDataConnectionFailsAtTheWatchdogAndResumes();
  void pauseEndsTheWaitWithoutRetry();
  void localPortsFollowTheRowSequence();
  void refusedLocalPortsGiveWayToFreeOnes_data();
  void refusedLocalPortsGiveWayToFreeOnes();
  void commandsWithLineBreaksAreNotSent_data();
  void commandsWithLineBreaksAreNotSent();
  void missingOrUnreadablePackage_data();
  void missingOrUnreadablePackage();

private:
  std::unique_ptr<QTemporaryDir> folder_;
};

void tst_FtpEngine::init() {
  folder_ = std::make_unique<QTemporaryDir>();
  Paths::setProgramFolder(folder_->path());
}

// ---------------------------------------------------------------- the whole dialogue

using Shape = std::function<void(ScriptedFtpServer&)>;
Q_DECLARE_METATYPE(Shape)

void tst_FtpEngine::sendsWhatTheServerLacksWhateverTheReplyShapes_data() {
  QTest::addColumn<Shape>("shape");
  QTest::addColumn<int>("held");  // bytes of the package the server holds at first (0: no file)
  const Shape plain = [](ScriptedFtpServer&) {};
  QTest::newRow("plain") << plain << 0;
  QTest::newRow("replies in pieces of three bytes") << Shape([](ScriptedFtpServer& s) { s.pieceSize = 3; }) << 0;
  QTest::newRow("type reply glued to the second 227") << Shape([](ScriptedFtpServer& s) {
    s.answer = [&s](const QByteArray& line) -> std::optional<QByteArray> {
      if (!line.startsWith("type")) return std::nullopt;
      s.prefixNext = "200 Type set to I\r\n";
      return QByteArray();
    };
  }) << 0;
  QTest::newRow("multi-line replies") << Shape([](ScriptedFtpServer& s) {
    s.greeting = "220-Welcome\r\n220-to the shop\r\n220 ready\r\n";
    s.answer = answerOn("PASS", "230-Hello\r\n230-\r\n230 Logged in\r\n");
  }) << 0;
  QTest::newRow("glued and in pieces") << Shape([](ScriptedFtpServer& s) {
    s.pieceSize = 5;
    s.answer = [&s](const QByteArray& line) -> std::optional<QByteArray> {
      if (!line.startsWith("type")) return std::nullopt;
      s.prefixNext = "200-Type\r\n200 set\r\n";
      return QByteArray();
    };
  }) << 0;
  QTest::newRow("resumed after one byte") << plain << 1;
  QTest::newRow("resumed after whole KB") << plain << 100 * 1024;
  QTest::newRow("resumed after KB and a part") << plain << 150 * 1024 + 17;
  QTest::newRow("resumed after all but two bytes") << plain << kPackageLength - 2;
}

void tst_FtpEngine::sendsWhatTheServerLacksWhateverTheReplyShapes() {
  QFETCH(Shape, shape);
  QFETCH(int, held);
  ScriptedFtpServer server;
  shape(server);
  const QByteArray package = packageBytes(kPackageLength);
  if (held > 0) server.file = package.left(held);
  writePackage(package);
  FtpEngine e;
  setUp(e, server);
  Watch w(e);
  e.up();
  QTRY_COMPARE(e.state(), FtpEngine::State::Finished);

  QCOMPARE(server.file, std::optional<QByteArray>(package));
  QCOMPARE(server.commands, (QList<QByteArray>{"USER ClientUpDesign", "PASS Qv7x2Lm9Rt4Kp8Ws3Hd6Yb1Nf5", "PASV",
                                               "type i", "PASV", "size D1", "APPE D1", "QUIT "}));
  QVERIFY(!server.verbs().contains("DELE"));
  QCOMPARE(w.events, (QStringList{"began", "progress on", "progress off", "all sent", "completion"}));
  QCOMPARE(w.statuses, QStringList{kSoon});
  QCOMPARE(w.sent, qint64(package.size() - held));
  // The progress counts only the rest; what the server held is the start mark, in whole KB.
  QVERIFY(w.remaining.first() < package.size() - held);
  QCOMPARE(w.remaining.last(), qint64(0));
  QCOMPARE(e.totalKB, qint64((package.size() - 1) / 1024));
  QCOMPARE(e.remoteSize, qint64(held / 1024));
  QCOMPARE(e.rec, qint16(0));
  QVERIFY(e.bothClosed());

  // The connection made on the first 227 gave way to the one made on the second, which carried
  // the rest of the package.
  const auto& data = server.dataConnections();
  QCOMPARE(data.size(), 2);
  QCOMPARE(data[0].pasv, 1);
  QTRY_VERIFY(data[0].closedByClient);
  QVERIFY(data[0].received.isEmpty());
  QCOMPARE(data[1].pasv, 2);
  QVERIFY(data[1].carriedTransfer);
  QCOMPARE(data[1].received.size(), package.size() - held);
}

void tst_FtpEngine::serverHoldingTheWholePackageIsDeletedAndSentAgain_data() {
  QTest::addColumn<int>("extra");  // bytes held beyond the package length
  QTest::newRow("length - 1") << -1;
  QTest::newRow("length") << 0;
  QTest::newRow("more than the length") << 100;
}

void tst_FtpEngine::serverHoldingTheWholePackageIsDeletedAndSentAgain() {
  QFETCH(int, extra);
  const QByteArray package = packageBytes(50 * 1024);
  writePackage(package);
  ScriptedFtpServer server;
  server.file = extra < 0 ? package.left(package.size() + extra) : package + QByteArray(extra, 'x');
  FtpEngine e;
  setUp(e, server);
  e.setTickInterval(kManual);
  Watch w(e);
  e.up();
  QTRY_COMPARE(e.state(), FtpEngine::State::RetryPending);
  QCOMPARE(server.verbs(), (QList<QByteArray>{"USER", "PASS", "PASV", "TYPE", "PASV", "SIZE", "DELE"}));
  QCOMPARE(server.commands.last(), QByteArray("dele D1"));
  QVERIFY(!server.file);
  QCOMPARE(w.statuses, QStringList{kRetry1});
  QCOMPARE(e.rec, qint16(1));
  QVERIFY(e.Timer4.isActive());

  // The retry finds nothing on the server and sends the whole package.
  e.Timer4_Timer();
  QTRY_COMPARE(e.state(), FtpEngine::State::Finished);
  QCOMPARE(server.file, std::optional<QByteArray>(package));
  QCOMPARE(w.statuses, (QStringList{kRetry1, kConnecting, kSoon}));
  QCOMPARE(e.rec, qint16(0));
  QCOMPARE(count(server.verbs(), "APPE"), 1);
}

void tst_FtpEngine::emptyPackageFailsThroughTheDelete() {
  writePackage(QByteArray());
  ScriptedFtpServer server;
  FtpEngine e;
  setUp(e, server);
  e.setTickInterval(kManual);
  Watch w(e);
  e.up();
  QTRY_COMPARE(e.state(), FtpEngine::State::RetryPending);
  QCOMPARE(server.commands.last(), QByteArray("dele D1"));
  e.Timer4_Timer();
  QTRY_COMPARE(w.statuses.size(), 3);
  QCOMPARE(w.statuses, (QStringList{kRetry1, kConnecting, "上传失败(5秒后第2次自动开始)"}));
  QCOMPARE(count(server.verbs(), "DELE"), 2);
  QVERIFY(!server.verbs().contains("APPE"));
  QCOMPARE(e.totalKB, qint64(-1));  // (0 - 1) / 1024, rounded down
}

void tst_FtpEngine::sevenFailuresThenGiveUp() {
  writePackage(packageBytes(4000));
  ScriptedFtpServer server;
  server.answer = answerOn("APPE", "550 Permission denied\r\n");
  FtpEngine e;
  setUp(e, server);
  e.setTickInterval(2);  // the retries follow each other 10 ms apart
  Watch w(e);
  e.up();
  QTRY_COMPARE(e.state(), FtpEngine::State::Idle);
  QStringList expected;
  for (int n = 1; n <= 6; ++n) expected << QStringLiteral("上传失败(5秒后第%1次自动开始)").arg(n) << kConnecting;
  expected << QStringLiteral("6次上传失败(稍后再试)");
  QCOMPARE(w.statuses, expected);
  QCOMPARE(e.rec, qint16(0));
  QVERIFY(!e.Timer4.isActive());
  QCOMPARE(w.events.last(), QString("start shown"));
  QCOMPARE(server.controlConnections(), 7);
  QTest::qWait(100);  // ten retry intervals: nothing more starts by itself
  QCOMPARE(server.controlConnections(), 7);

  // The user's start begins a fresh series.
  e.setTickInterval(kManual);
  e.up();
  QTRY_COMPARE(w.statuses.size(), expected.size() + 1);
  QCOMPARE(w.statuses.last(), kRetry1);
}

// ---------------------------------------------------------------- waits

void tst_FtpEngine::everyWaitEndsOnItsSixtyFirstTick_data() {
  QTest::addColumn<Shape>("shape");
  QTest::addColumn<int>("holdsPackage");  // bytes of the package the server holds (-1: none)
  QTest::addColumn<FtpEngine::State>("stuck");
  const auto on = [](QByteArray verb, QByteArray reply, int nth = 0) {
    return Shape([=](ScriptedFtpServer& s) { s.answer = answerOn(verb, reply, nth); });
  };
  using S = FtpEngine::State;
  QTest::newRow("no greeting") << Shape([](ScriptedFtpServer& s) { s.greeting.clear(); }) << -1 << S::Connecting;
  QTest::newRow("no reply to USER") << on("USER", "") << -1 << S::UserSent;
  QTest::newRow("password refused") << on("PASS", "530 Login incorrect\r\n") << -1 << S::PasswordSent;
  QTest::newRow("no reply to the first PASV") << on("PASV", "", 1) << -1 << S::FirstPassive;
  QTest::newRow("no reply to the second PASV") << on("PASV", "", 2) << -1 << S::SecondPassive;
  QTest::newRow("227 without numbers") << on("PASV", "227 Entering Passive Mode\r\n") << -1
                                       << S::DataConnecting;
  QTest::newRow("227 to a closed port") << Shape([](ScriptedFtpServer& s) {
    s.answer = [p = RawServer::unusedPort()](const QByteArray& line) -> std::optional<QByteArray> {
      if (!line.startsWith("PASV")) return std::nullopt;
      return ScriptedFtpServer::pasvReply(p);
    };
  }) << -1 << S::DataConnecting;
  QTest::newRow("no reply to size") << on("SIZE", "") << -1 << S::SizeQuery;
  QTest::newRow("no reply to dele") << on("DELE", "") << 0 << S::Deleting;
  QTest::newRow("no reply to APPE") << on("APPE", "") << -1 << S::Appending;
  QTest::newRow("other code to APPE") << on("APPE", "451 Try later\r\n") << -1 << S::Appending;
}

void tst_FtpEngine::everyWaitEndsOnItsSixtyFirstTick() {
  QFETCH(Shape, shape);
  QFETCH(int, holdsPackage);
  QFETCH(FtpEngine::State, stuck);
  const QByteArray package = packageBytes(3000);
  writePackage(package);
  ScriptedFtpServer server;
  shape(server);
  if (holdsPackage >= 0) server.file = package.left(package.size() + holdsPackage);
  FtpEngine e;
  setUp(e, server);
  e.setTickInterval(kManual);
  Watch w(e);
  e.up();
  QTRY_COMPARE(e.state(), stuck);
  QTest::qWait(20);  // a late reply would move it on
  QCOMPARE(e.state(), stuck);
  for (int i = 0; i < 60; ++i) e.Timer2_Timer();
  QCOMPARE(e.state(), stuck);
  QVERIFY(w.statuses.isEmpty());
  e.Timer2_Timer();
  QCOMPARE(e.state(), FtpEngine::State::RetryPending);
  QCOMPARE(w.statuses, QStringList{kRetry1});
  QVERIFY(e.bothClosed());
  QVERIFY(!server.verbs().contains("APPE") || stuck == FtpEngine::State::Appending);
}

void tst_FtpEngine::completionReplyDuringAnotherWait() {
  writePackage(packageBytes(3000));
  ScriptedFtpServer server;
  server.answer = answerOn("SIZE", "226 Transfer complete.\r\n");
  FtpEngine e;
  setUp(e, server);
  e.setTickInterval(kManual);
  Watch w(e);
  e.up();
  QTRY_VERIFY(w.events.contains("completion"));
  QCOMPARE(e.state(), FtpEngine::State::SizeQuery);
  QTRY_COMPARE(server.commands.last(), QByteArray("QUIT "));
  QVERIFY(e.bothClosed());
  QCOMPARE(e.Code, QString("226"));
  // The size wait still runs out: the attempt fails as well.
  for (int i = 0; i < 61; ++i) e.Timer2_Timer();
  QCOMPARE(e.state(), FtpEngine::State::RetryPending);
  QCOMPARE(w.statuses, QStringList{kRetry1});
  QCOMPARE(w.events.count("completion"), 1);
}

void tst_FtpEngine::droppedDataConnectionFailsAtTheWatchdogAndResumes() {
  // Larger than every socket buffer on the way, so that the drop comes while bytes still wait.
  const QByteArray package = packageBytes(32 << 20);
  writePackage(package);
  ScriptedFtpServer server;
  server.dropAfter = 1 << 20;
  FtpEngine e;
  setUp(e, server);
  e.setTickInterval(kManual);
  Watch w(e);
  e.up();
  QTRY_COMPARE_WITH_TIMEOUT(server.transfersDone(), 1, 20000);
  QCOMPARE(e.state(), FtpEngine::State::Sending);
  QTRY_VERIFY(!e.dataConnected());
  QCOMPARE(e.state(), FtpEngine::State::Sending);  // noticed at the watchdog's tick
  e.Timer3_Timer();
  QCOMPARE(e.state(), FtpEngine::State::RetryPending);
  QCOMPARE(w.statuses, QStringList{kRetry1});
  QCOMPARE(w.events.mid(0, 3), (QStringList{"began", "progress on", "progress off"}));

  e.Timer4_Timer();
  QTRY_COMPARE_WITH_TIMEOUT(e.state(), FtpEngine::State::Finished, 30000);
  QVERIFY(server.file == package);
  QCOMPARE(server.dataConnections().last().received.size(), package.size() - (1 << 20));
  QCOMPARE(e.remoteSize, qint64(1024));
}

void tst_FtpEngine::pauseEndsTheWaitWithoutRetry() {
  const QByteArray package = packageBytes(5000);
  writePackage(package);
  ScriptedFtpServer server;
  bool answerSize = false;
  server.answer = [&answerSize](const QByteArray& line) -> std::optional<QByteArray> {
    if (line.startsWith("size") && !answerSize) return QByteArray();
    return std::nullopt;
  };
  FtpEngine e;
  setUp(e, server);
  e.setTickInterval(kManual);
  Watch w(e);
  e.up();
  QTRY_COMPARE(e.state(), FtpEngine::State::SizeQuery);
  QVERIFY(e.dataConnected());
  QVERIFY(!e.bothClosed());
  e.pause();
  QCOMPARE(e.state(), FtpEngine::State::Idle);
  QVERIFY(e.bothClosed());
  QCOMPARE(w.statuses, QStringList{"已暂停"});
  QCOMPARE(w.events.mid(w.events.size() - 2), (QStringList{"progress off", "start shown"}));
  // No wait goes on and no retry comes: the row stays paused.
  for (int i = 0; i < 70; ++i) {
    e.Timer2_Timer();
    e.Timer3_Timer();
    e.Timer4_Timer();
  }
  QVERIFY(!e.Timer4.isActive());
  QCOMPARE(e.state(), FtpEngine::State::Idle);
  QCOMPARE(w.statuses, QStringList{"已暂停"});
  QCOMPARE(server.controlConnections(), 1);

  // The start click.
  answerSize = true;
  e.cancelRetry();
  e.up();
  QTRY_COMPARE(e.state(), FtpEngine::State::Finished);
  QVERIFY(server.file == package);
  QCOMPARE(e.rec, qint16(0));
}

// ---------------------------------------------------------------- local ports

void tst_FtpEngine::localPortsFollowTheRowSequence() {
  // Row indexes whose ports are free here: high enough to stay clear of well-known ports and of
  // other tests' rows, below the system's range of free ports.
  int row = 0;
  for (int r = 100; r < 150 && !row; ++r) {
    bool free = true;
    for (int k = 1; k <= 12 && free; ++k) free = portFree(200 * r + k) && portFree(200 * r + 100 + k);
    if (free) row = r;
  }
  QVERIFY2(row, "no free range of local ports");
  const int base = 200 * row;

  writePackage(packageBytes(3000));
  ScriptedFtpServer server;
  int appends = 0;
  server.answer = [&appends](const QByteArray& line) -> std::optional<QByteArray> {
    if (line.startsWith("APPE") && ++appends < 3) return QByteArray("550 Not now\r\n");
    return std::nullopt;
  };
  FtpEngine e;
  setUp(e, server);
  e.lporta = base;
  e.lportb = base + 100;
  e.setTickInterval(kManual);
  e.up();
  for (int attempt = 0; attempt < 2; ++attempt) {
    QTRY_COMPARE(e.state(), FtpEngine::State::RetryPending);
    e.Timer4_Timer();
  }
  QTRY_COMPARE(e.state(), FtpEngine::State::Finished);

  // Each attempt: the control connection from the row's control counter + 1, one data
  // connection per 227 from the data counter + 1 and + 2; the next attempt goes on from there.
  QCOMPARE(server.controlConnections(), 3);
  QCOMPARE(server.dataConnections().size(), 6);
  for (int attempt = 0; attempt < 3; ++attempt) {
    QCOMPARE(int(server.controlPeerPort(attempt)), base + 101 + 2 * attempt);
    QCOMPARE(int(server.dataConnections()[2 * attempt].peerPort), base + 1 + 3 * attempt);
    QCOMPARE(int(server.dataConnections()[2 * attempt + 1].peerPort), base + 2 + 3 * attempt);
  }
  QCOMPARE(e.lporta, base + 9);
  QCOMPARE(e.lportb, base + 106);
}

void tst_FtpEngine::refusedLocalPortsGiveWayToFreeOnes_data() {
  QTest::addColumn<QString>("refusal");
  QTest::newRow("in use") << "in use";
  QTest::newRow("in TIME_WAIT") << "time-wait";
  QTest::newRow("above 65535") << "too high";
}

void tst_FtpEngine::refusedLocalPortsGiveWayToFreeOnes() {
  QFETCH(QString, refusal);
  ScriptedFtpServer server;
  FtpEngine e;
  setUp(e, server);
  QTcpServer holder;
  if (refusal == "too high") {
    e.lporta = 70000;
    e.lportb = 70100;
  } else {
    // The control connection's first port is taken: listened on, or left in TIME_WAIT by a
    // connection closed from this side.
    QVERIFY(holder.listen(QHostAddress::AnyIPv4, 0));
    const int taken = holder.serverPort();
    if (refusal == "time-wait") {
      holder.close();
      QTcpServer peer;
      QVERIFY(peer.listen(QHostAddress::LocalHost, 0));
      QTcpSocket s;
      QVERIFY(s.bind(QHostAddress::AnyIPv4, quint16(taken)));
      s.connectToHost(QHostAddress::LocalHost, peer.serverPort());
      QVERIFY(s.waitForConnected(5000));
      QTRY_VERIFY(peer.hasPendingConnections());
      QTcpSocket* accepted = peer.nextPendingConnection();
      s.disconnectFromHost();
      QTRY_COMPARE(accepted->state(), QAbstractSocket::UnconnectedState);
      QVERIFY(!portFree(taken));
    }
    e.lportb = taken - 1;
  }
  const qint32 a = e.lporta, b = e.lportb;
  const QByteArray package = packageBytes(3000);
  writePackage(package);
  e.up();
  QTRY_COMPARE(e.state(), FtpEngine::State::Finished);
  QVERIFY(server.file == package);
  QVERIFY(server.controlPeerPort(0) != 0);
  if (refusal != "too high") QVERIFY(int(server.controlPeerPort(0)) != b + 1);
  // The counters advance as they would have.
  QCOMPARE(e.lporta, a + 3);
  QCOMPARE(e.lportb, b + 2);
}

// ---------------------------------------------------------------- refusals

void tst_FtpEngine::commandsWithLineBreaksAreNotSent_data() {
  QTest::addColumn<QString>("field");
  QTest::addColumn<QString>("value");
  QTest::newRow("remote name with CR LF") << "wDNO" << "D1\r\nDELE other";
  QTest::newRow("remote name with LF") << "wDNO" << "D1\nDELE other";
  QTest::newRow("remote name with NUL") << "wDNO" << QString("D1") + QChar(0) + "DELE other";
  QTest::newRow("user with CR LF") << "User" << "ClientUpDesign\r\nDELE other";
}

void tst_FtpEngine::commandsWithLineBreaksAreNotSent() {
  QFETCH(QString, field);
  QFETCH(QString, value);
  writePackage(packageBytes(3000));
  ScriptedFtpServer server;
  FtpEngine e;
  setUp(e, server);
  (field == "wDNO" ? e.wDNO : e.User) = value;
  e.setTickInterval(kManual);
  Watch w(e);
  e.up();
  QTRY_COMPARE(e.state(), FtpEngine::State::RetryPending);
  QCOMPARE(w.statuses, QStringList{kRetry1});
  QTest::qWait(20);
  for (const QByteArray& c : server.commands) QVERIFY2(!c.contains("DELE") && !c.contains("other"), c.constData());
  QVERIFY(!server.verbs().contains(field == "wDNO" ? "SIZE" : "USER"));
}

void tst_FtpEngine::missingOrUnreadablePackage_data() {
  QTest::addColumn<bool>("folderInItsPlace");
  QTest::newRow("missing") << false;
  QTest::newRow("a folder in its place") << true;
}

void tst_FtpEngine::missingOrUnreadablePackage() {
  QFETCH(bool, folderInItsPlace);
  const QString path = folder_->path() + "/MyDesign/Summer/UpLoad/Summer.TMP";
  QDir().mkpath(folderInItsPlace ? path : QFileInfo(path).path());
  ScriptedFtpServer server;
  FtpEngine e;
  setUp(e, server);
  e.setTickInterval(kManual);
  Watch w(e);
  e.up();
  QTRY_COMPARE(e.state(), FtpEngine::State::RetryPending);
  QCOMPARE(w.statuses, QStringList{kRetry1});
  QVERIFY(!server.verbs().contains("APPE"));

  // The row stays usable: once the package is there, the retry sends it.
  QDir(path).removeRecursively();
  const QByteArray package = packageBytes(3000);
  writePackage(package);
  e.Timer4_Timer();
  QTRY_COMPARE(e.state(), FtpEngine::State::Finished);
  QVERIFY(server.file == package);
}

QTEST_GUILESS_MAIN(tst_FtpEngine)
#include "tst_FtpEngine.moc"
