#include "FileFixture.h"
#include "FtpPeers.h"
#include "RawServer.h"
#include "SilentListener.h"
#include "Winsock.h"
#include "socketGet.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

using socketGet::Result;
using socketGet::Status;

namespace {

// A maximum no reply of these tests reaches.
constexpr qint64 kAnyLength = qint64(1) << 40;

char statusLetter(Status s) {
  switch (s) {
    case Status::AwaitingHead: return 'A';
    case Status::Receiving: return 'R';
    case Status::Complete: return 'C';
    case Status::Failed: return 'F';
  }
  return '?';
}

// headLen/writePos/recvLen/status after a data event.
QString snapshot(const socketGet::Reply& r) {
  return QString("%1/%2/%3/%4").arg(r.headLen).arg(r.writePos).arg(r.recvLen).arg(statusLetter(r.status));
}

// A socket whose every data event runs the reply half, recording the state after it, and
// what is wrong with the target file then: while the body arrives the file holds every byte
// written so far, and it is held open only until the reply is complete or has failed.
struct Fetcher {
  Winsock ws;
  socketGet::Reply state;
  QStringList events;
  QStringList faults;
  explicit Fetcher(const QString& file) {
    state.localFile = file;
    QObject::connect(&ws, &Winsock::DataArrival, &ws, [this] {
      socketGet::reply(ws, state);
      events << snapshot(state);
      const QString folder = QFileInfo(state.localFile).absolutePath();
      const bool open = !openFilesUnder(folder).isEmpty();
      if (open != (state.status == Status::Receiving))
        faults << events.last() + (open ? ": file open" : ": file closed");
      if (state.status != Status::Failed && state.status != Status::AwaitingHead &&
          QFileInfo(state.localFile).size() != state.writePos)
        faults << events.last() + ": " + QString::number(QFileInfo(state.localFile).size()) + " bytes on disk";
    });
  }
};

// A header of exactly n bytes (its empty line included) announcing length.
QByteArray headerOf(int n, qint64 length) {
  QByteArray h = "HTTP/1.1 200 OK\r\nContent-Length: " + QByteArray::number(length) + "\r\nX-Pad: ";
  const QByteArray end = "\r\n\r\n";
  Q_ASSERT(n >= h.size() + end.size());
  h += QByteArray(n - h.size() - end.size(), 'p');
  return h + end;
}

}  // namespace

class tst_socketGet : public QObject {
  Q_OBJECT
private Q_SLOTS:
  void addresses_data();
  void addresses();
  void requestBytes_data();
  void requestBytes();
  void replies_data();
  void replies();
  void connectTimeOut();
  void refusedConnectEndsTheWait();
  void keptAliveConnectionIsUsedAgain();
  void unfinishedReplyIsClosed();
  void connectionClosedByServerIsOpenedAgain();
  void nginxKeepsTheConnection();
  // Last: it ends the event loops of this process.
  void waitEndsWithTheProgram();
};

void tst_socketGet::addresses_data() {
  QTest::addColumn<QString>("address");  // %1: the test server's host:port
  QTest::addColumn<bool>("ok");
  QTest::addColumn<QString>("host");
  QTest::addColumn<QString>("hostName");
  QTest::addColumn<int>("port");
  QTest::addColumn<QString>("path");
  QTest::addColumn<QString>("url");

  QTest::newRow("no scheme") << "shop.example/novrel/ver.xml" << true << "shop.example" << "shop.example" << 80
                             << "/novrel/ver.xml" << "http://shop.example/novrel/ver.xml";
  QTest::newRow("capital scheme") << "HTTP://shop.example/a" << true << "shop.example" << "shop.example" << 80 << "/a"
                                  << "HTTP://shop.example/a";
  QTest::newRow("port") << "http://10.0.0.2:8600/x/y.bin?v=1" << true << "10.0.0.2:8600" << "10.0.0.2" << 8600
                        << "/x/y.bin?v=1" << "http://10.0.0.2:8600/x/y.bin?v=1";
  QTest::newRow("no path") << "shop.example" << true << "shop.example" << "shop.example" << 80 << "/"
                           << "http://shop.example";
  QTest::newRow("ipv6") << "http://[::1]:81/a" << true << "[::1]:81" << "::1" << 81 << "/a" << "http://[::1]:81/a";
  QTest::newRow("scheme later in the text")
      << "shop.example/go?to=http://x/" << true << "shop.example" << "shop.example" << 80 << "/go?to=http://x/"
      << "http://shop.example/go?to=http://x/";

  // Refused: nothing is connected or sent.
  QTest::newRow("empty host") << "/novrel/ver.xml" << false << "" << "" << 0 << "" << "";
  QTest::newRow("port 0") << "127.0.0.1:0/a" << false << "" << "" << 0 << "" << "";
  QTest::newRow("port too big") << "127.0.0.1:65536/a" << false << "" << "" << 0 << "" << "";
  QTest::newRow("port not a number") << "127.0.0.1:8o/a" << false << "" << "" << 0 << "" << "";
  QTest::newRow("empty port") << "127.0.0.1:/a" << false << "" << "" << 0 << "" << "";
  QTest::newRow("blank in path") << "%1/a b.xml" << false << "" << "" << 0 << "" << "";
  QTest::newRow("line end in path") << "%1/a.xml HTTP/1.1\r\nX-Evil: 1\r\n" << false << "" << "" << 0 << "" << "";
  QTest::newRow("line feed in host") << "127.0.0.1\n:80/a" << false << "" << "" << 0 << "" << "";
  QTest::newRow("blank in host") << "127.0.0.1 /a" << false << "" << "" << 0 << "" << "";
}

void tst_socketGet::addresses() {
  QFETCH(QString, address);
  QFETCH(bool, ok);
  RawServer server;
  const QString text = address.contains("%1") ? address.arg(server.hostPort()) : address;
  const socketGet::Address a = socketGet::parseAddress(text);
  QCOMPARE(a.ok, ok);
  if (ok) {
    QFETCH(QString, host);
    QFETCH(QString, hostName);
    QFETCH(int, port);
    QFETCH(QString, path);
    QFETCH(QString, url);
    QCOMPARE(a.host, host);
    QCOMPARE(a.hostName, hostName);
    QCOMPARE(a.port, port);
    QCOMPARE(a.path, path);
    QCOMPARE(a.url, url);
    return;
  }
  Winsock ws;
  socketGet::Reply state;
  QCOMPARE(socketGet::request(ws, text, state, kAnyLength, 1), Result::Refused);
  QCOMPARE(ws.State(), 0);
  QTest::qWait(50);
  QCOMPARE(server.connectionCount(), 0);
}

void tst_socketGet::requestBytes_data() {
  QTest::addColumn<QString>("address");   // %1: host:port
  QTest::addColumn<QByteArray>("bytes");  // %1: host:port
  QTest::newRow("update list") << "%1/novrel/ver.xml"
                               << QByteArray("GET /novrel/ver.xml HTTP/1.1\r\n"
                                             "Accept: */*\r\n"
                                             "Accept: text/html\r\n"
                                             "Referer: http://%1/novrel/ver.xml.html\r\n"
                                             "Host: %1\r\n"
                                             "Connection: Keep-Alive\r\n"
                                             "\r\n");
  QTest::newRow("capital scheme, nothing escaped")
      << QString::fromUtf8("HTTP://%1/novrel/更新%20a.bin?x=1&y")
      << QString::fromUtf8("GET /novrel/更新%20a.bin?x=1&y HTTP/1.1\r\n"
                           "Accept: */*\r\n"
                           "Accept: text/html\r\n"
                           "Referer: HTTP://%1/novrel/更新%20a.bin?x=1&y.html\r\n"
                           "Host: %1\r\n"
                           "Connection: Keep-Alive\r\n"
                           "\r\n")
             .toUtf8();
}

void tst_socketGet::requestBytes() {
  QFETCH(QString, address);
  QFETCH(QByteArray, bytes);
  RawServer server;
  Winsock ws;
  socketGet::Reply state;
  QCOMPARE(socketGet::request(ws, address.arg(server.hostPort()), state, kAnyLength, 5), Result::Sent);
  // The port written after the host is the one connected to.
  QCOMPARE(ws.RemoteHost(), QString("127.0.0.1"));
  QCOMPARE(ws.RemotePort(), int(server.port()));
  QVERIFY(server.waitForRequests(1));
  QCOMPARE(server.received(), QString::fromUtf8(bytes).arg(server.hostPort()).toUtf8());
  QCOMPARE(server.connectionCount(), 1);
}

void tst_socketGet::replies_data() {
  QTest::addColumn<QByteArrayList>("pieces");  // one data event each
  QTest::addColumn<qint64>("maxLen");          // the longest body the caller accepts
  QTest::addColumn<bool>("hasOld");
  QTest::addColumn<QByteArray>("old");         // the target file before the request
  QTest::addColumn<QStringList>("events");     // headLen/writePos/recvLen/status after each event
  QTest::addColumn<bool>("fileExists");
  QTest::addColumn<QByteArray>("file");

  QByteArray body1000(1000, '\0');
  for (int i = 0; i < 1000; ++i) body1000[i] = char('a' + i % 26);
  const QByteArray head220 = headerOf(220, 1000);
  QTest::newRow("300, 500 and 420 bytes")
      << QByteArrayList{head220 + body1000.left(80), body1000.mid(80, 500), body1000.mid(580)}
      << kAnyLength << false << QByteArray()
      << QStringList{"220/80/80/R", "220/580/580/R", "220/1000/1000/C"} << true << body1000;

  const QByteArray head5 = headerOf(60, 5);
  QTest::newRow("header chunk with an empty body")
      << QByteArrayList{head5, "hello"}
      << kAnyLength << false << QByteArray() << QStringList{"60/0/0/R", "60/5/5/C"} << true
      << QByteArray("hello");

  const QByteArray tricky = "ab\r\n\r\nContent-Length: 3\r\n\r\n";
  const QByteArray trickyBody = tricky + "xy" + tricky;
  QTest::newRow("body with an empty line and Content-Length:")
      << QByteArrayList{headerOf(64, trickyBody.size()) + tricky, "xy" + tricky} << kAnyLength << false << QByteArray()
      << QStringList{QString("64/%1/%1/R").arg(tricky.size()), QString("64/%1/%1/C").arg(trickyBody.size())} << true
      << trickyBody;

  QTest::newRow("length 0 leaves an empty file")
      << QByteArrayList{headerOf(50, 0)}
      << kAnyLength << false << QByteArray() << QStringList{"50/0/0/C"} << true << QByteArray();

  QTest::newRow("an older, longer file is emptied")
      << QByteArrayList{headerOf(50, 3) + "new"} << kAnyLength << true << QByteArray("old content, much longer")
      << QStringList{"50/3/3/C"} << true << QByteArray("new");

  QTest::newRow("header split over three events")
      << QByteArrayList{"HTTP/1.1 200 OK\r\nContent-Le", "ngth: 4\r\n", "\r\nbo", "dy"}
      << kAnyLength << false << QByteArray()
      << QStringList{"0/0/0/A", "0/0/0/A", "38/2/2/R", "38/4/4/C"} << true << QByteArray("body");

  QTest::newRow("name in any case, blanks around the value")
      << QByteArrayList{"HTTP/1.1 200 OK\r\ncontent-length:   4 \r\n\r\nbody"} << kAnyLength << false << QByteArray()
      << QStringList{"41/4/4/C"} << true << QByteArray("body");

  QTest::newRow("bytes past the body are not written")
      << QByteArrayList{headerOf(50, 3) + "abc", "XYZ"} << kAnyLength << false << QByteArray()
      << QStringList{"50/3/3/C", "50/3/3/C"} << true << QByteArray("abc");

  QTest::newRow("no Content-Length fails and writes nothing")
      << QByteArrayList{"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n4\r\nbody\r\n0\r\n\r\n"} << kAnyLength
      << false << QByteArray() << QStringList{"0/0/0/F"} << false << QByteArray();

  QTest::newRow("Content-Length only in the body fails")
      << QByteArrayList{"HTTP/1.1 404 Not Found\r\n\r\nContent-Length: 3\r\n\r\nabc"}
      << kAnyLength << false << QByteArray()
      << QStringList{"0/0/0/F"} << false << QByteArray();

  QTest::newRow("length not a number fails")
      << QByteArrayList{"HTTP/1.1 200 OK\r\nContent-Length: 12ab\r\n\r\n"} << kAnyLength << true << QByteArray("kept")
      << QStringList{"0/0/0/F"} << true << QByteArray("kept");

  // The caller's maximum: the client's release list, the updater's listed size of each file.
  QTest::newRow("length above the maximum fails and writes nothing")
      << QByteArrayList{headerOf(50, 11) + "hello world"} << qint64(10) << true << QByteArray("kept")
      << QStringList{"0/0/0/F"} << true << QByteArray("kept");
  QTest::newRow("huge length announced, no file made")
      << QByteArrayList{"HTTP/1.1 200 OK\r\nContent-Length: 9223372036854775807\r\n\r\nxyz"} << qint64(1 << 20)
      << false << QByteArray() << QStringList{"0/0/0/F"} << false << QByteArray();
  QTest::newRow("length at the maximum")
      << QByteArrayList{headerOf(50, 5) + "hel", "lo"} << qint64(5) << false << QByteArray()
      << QStringList{"50/3/3/R", "50/5/5/C"} << true << QByteArray("hello");
}

void tst_socketGet::replies() {
  QFETCH(QByteArrayList, pieces);
  QFETCH(qint64, maxLen);
  QFETCH(bool, hasOld);
  QFETCH(QByteArray, old);
  QFETCH(QStringList, events);
  QFETCH(bool, fileExists);
  QFETCH(QByteArray, file);

  QTemporaryDir dir;
  const QString target = dir.filePath("staged.bin");
  if (hasOld) writeFile(target, old);
  RawServer server;
  Fetcher f(target);
  QCOMPARE(socketGet::request(f.ws, server.hostPort() + "/novrel/f.bin", f.state, maxLen, 5), Result::Sent);
  QVERIFY(server.waitForRequests(1));
  // Each piece goes out only after the one before has been handled: one data event each.
  for (int i = 0; i < pieces.size(); ++i) {
    server.send(pieces[i]);
    QTRY_COMPARE(f.events.size(), i + 1);
  }
  QCOMPARE(f.events, events);
  QCOMPARE(f.faults, QStringList());
  QCOMPARE(QFile::exists(target), fileExists);
  if (fileExists) QCOMPARE(readAll(target), file);
  // A failed reply leaves the stream at an unknown place: its connection is not used again.
  if (f.state.status == Status::Failed) QCOMPARE(f.ws.State(), 0);
}

void tst_socketGet::connectTimeOut() {
  SilentListener silent;
  QVERIFY(silent.port != 0);
  Winsock ws;
  socketGet::Reply state;
  int ticks = 0;
  QTimer other;
  connect(&other, &QTimer::timeout, [&] { ++ticks; });
  other.start(50);
  QElapsedTimer t;
  t.start();
  const QString address = QString("127.0.0.1:%1/novrel/ver.xml").arg(silent.port);
  QCOMPARE(socketGet::request(ws, address, state, kAnyLength, 1), Result::TimedOut);
  QVERIFY(t.elapsed() >= 1000);  // the whole limit is waited
  QCOMPARE(ws.State(), 0);       // and the socket closed
  QVERIFY(ticks > 5);            // while other events ran
}

// Nobody listens: the refusal ends the wait, long before its limit.
void tst_socketGet::refusedConnectEndsTheWait() {
  Winsock ws;
  socketGet::Reply state;
  QElapsedTimer t;
  t.start();
  const QString address = QString("127.0.0.1:%1/novrel/ver.xml").arg(RawServer::unusedPort());
  QCOMPARE(socketGet::request(ws, address, state, kAnyLength, 60), Result::TimedOut);
  QVERIFY(t.elapsed() < 30000);
  QCOMPARE(ws.State(), 0);
}

void tst_socketGet::keptAliveConnectionIsUsedAgain() {
  QTemporaryDir dir;
  RawServer server;
  server.replies = {httpReply("first file"), httpReply("second")};
  Fetcher f(dir.filePath("a"));
  QCOMPARE(socketGet::request(f.ws, server.hostPort() + "/novrel/a", f.state, kAnyLength), Result::Sent);
  QTRY_VERIFY(f.state.status == Status::Complete);
  f.state.localFile = dir.filePath("b");
  QCOMPARE(socketGet::request(f.ws, server.hostPort() + "/novrel/b", f.state, kAnyLength), Result::Sent);
  QTRY_VERIFY(f.state.status == Status::Complete);
  QCOMPARE(server.connectionCount(), 1);
  QCOMPARE(server.requestCount(), 2);
  QVERIFY(server.received().contains("GET /novrel/b HTTP/1.1\r\n"));
  QCOMPARE(readAll(dir.filePath("a")), QByteArray("first file"));
  QCOMPARE(readAll(dir.filePath("b")), QByteArray("second"));
}

// A reply given up part-way leaves its file with the bytes that came, and not held open: not
// once its caller closes it, nor when the next request starts without that.
void tst_socketGet::unfinishedReplyIsClosed() {
  QTemporaryDir dir;
  RawServer server;
  Fetcher f(dir.filePath("a"));
  QCOMPARE(socketGet::request(f.ws, server.hostPort() + "/novrel/a", f.state, kAnyLength), Result::Sent);
  QVERIFY(server.waitForRequests(1));
  server.send(httpReply("abcdef").chopped(3));
  QTRY_COMPARE(f.state.status, Status::Receiving);
  QCOMPARE(openFilesUnder(dir.path()), QStringList{"a"});
  socketGet::closeFile(f.state);
  QCOMPARE(openFilesUnder(dir.path()), QStringList());
  QCOMPARE(readAll(dir.filePath("a")), QByteArray("abc"));

  // Another reply part-way, then the next request on the same connection.
  f.state.localFile = dir.filePath("b");
  QCOMPARE(socketGet::request(f.ws, server.hostPort() + "/novrel/b", f.state, kAnyLength), Result::Sent);
  QVERIFY(server.waitForRequests(2));
  server.send(httpReply("uvwxyz").chopped(2));
  QTRY_COMPARE(f.state.status, Status::Receiving);
  f.state.localFile = dir.filePath("c");
  QCOMPARE(socketGet::request(f.ws, server.hostPort() + "/novrel/c", f.state, kAnyLength), Result::Sent);
  QCOMPARE(openFilesUnder(dir.path()), QStringList());
  QCOMPARE(readAll(dir.filePath("b")), QByteArray("uvwx"));
}

void tst_socketGet::connectionClosedByServerIsOpenedAgain() {
  QTemporaryDir dir;
  RawServer server;
  server.replies = {httpReply("one"), httpReply("two")};
  server.closeAfterReply = true;
  Fetcher f(dir.filePath("a"));
  QCOMPARE(socketGet::request(f.ws, server.hostPort() + "/a", f.state, kAnyLength), Result::Sent);
  QTRY_VERIFY(f.state.status == Status::Complete);
  QTRY_COMPARE(f.ws.State(), 8);
  f.state.localFile = dir.filePath("b");
  // A short limit: a socket left closing would run into it.
  QCOMPARE(socketGet::request(f.ws, server.hostPort() + "/b", f.state, kAnyLength, 2), Result::Sent);
  QTRY_VERIFY(f.state.status == Status::Complete);
  QCOMPARE(server.connectionCount(), 2);
  QCOMPARE(readAll(dir.filePath("b")), QByteArray("two"));
}

void tst_socketGet::nginxKeepsTheConnection() {
  if (!QFile::exists("/usr/sbin/nginx")) QSKIP("nginx is not installed");
  QTemporaryDir dir;
  QDir(dir.path()).mkpath("www/novrel");
  QByteArray big(300 * 1024 + 17, '\0');
  for (int i = 0; i < big.size(); ++i) big[i] = char((i * 31) ^ (i >> 8));
  writeFile(dir.filePath("www/novrel/big.bin"), big);
  writeFile(dir.filePath("www/novrel/ver.xml"), "<ver><release ver=\"3.5.16\"><files/><runs/></release></ver>");
  const LocalNginx server(dir.path());
  QVERIFY2(server.ready(), qPrintable(server.error()));

  const QString host = QString("127.0.0.1:%1").arg(server.port());
  Fetcher f(dir.filePath("ver.tmp"));
  QCOMPARE(socketGet::request(f.ws, host + "/novrel/ver.xml", f.state, kAnyLength), Result::Sent);
  QTRY_VERIFY(f.state.status == Status::Complete);
  const int localPort = f.ws.LocalPort();

  f.state.localFile = dir.filePath("big.bin");
  f.events.clear();
  QCOMPARE(socketGet::request(f.ws, host + "/novrel/big.bin", f.state, kAnyLength), Result::Sent);
  QTRY_VERIFY_WITH_TIMEOUT(f.state.status == Status::Complete || f.state.status == Status::Failed, 20000);
  QVERIFY(f.state.status == Status::Complete);
  QCOMPARE(f.ws.LocalPort(), localPort);  // the same connection
  QCOMPARE(f.state.contentLen, qint64(big.size()));
  QCOMPARE(f.state.fileKB, 300);
  QCOMPARE(readAll(dir.filePath("ver.tmp")), readAll(dir.filePath("www/novrel/ver.xml")));
  QVERIFY(readAll(dir.filePath("big.bin")) == big);
  QVERIFY(f.events.size() > 1);  // the body came in several data events
}

void tst_socketGet::waitEndsWithTheProgram() {
  Winsock ws;
  socketGet::Reply state;
  QTimer::singleShot(100, [] { QCoreApplication::exit(0); });
  QElapsedTimer t;
  t.start();
  const QString address = QString("127.0.0.1:%1/a").arg(RawServer::unusedPort());
  QCOMPARE(socketGet::request(ws, address, state, kAnyLength, 30), Result::TimedOut);
  QVERIFY(t.elapsed() < 30000);  // not the whole limit
  QCOMPARE(ws.State(), 0);
}

QTEST_GUILESS_MAIN(tst_socketGet)
#include "tst_socketGet.moc"
