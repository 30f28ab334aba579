#include "RawServer.h"
#include "Winsock.h"

#include <QBuffer>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QtTest>

#include <memory>

class tst_Winsock : public QObject {
  Q_OBJECT
private Q_SLOTS:
  void connectSendReceiveClose();
  void refusedConnectIsAnErrorUntilClosed();
  void peerCloseCountsAsClosing();
  void largeSendReportsProgressAndCompletion();
  void localPortIsBoundOnConnect();
  void streamGoesOutWithProgressOfTheWhole();
  void streamThatCannotDeliverFailsTheConnection();
  void flushSendsWithoutTheEventLoop();
  void largeReceiveComesInBoundedPieces();
};

void tst_Winsock::connectSendReceiveClose() {
  RawServer server;
  Winsock ws;
  QCOMPARE(ws.State(), 0);
  QVERIFY(!ws.SendData(QByteArray("x")));  // not connected
  QVERIFY(ws.Connect("127.0.0.1", server.port()));
  QVERIFY(!ws.Connect());  // only from the closed state
  QTRY_COMPARE(ws.State(), 7);
  QCOMPARE(ws.RemoteHost(), QString("127.0.0.1"));
  QCOMPARE(ws.RemotePort(), int(server.port()));
  QVERIFY(ws.LocalPort() > 0);

  QVERIFY(ws.SendData(QString::fromUtf8("USER 客户\r\n")));
  QTRY_COMPARE(server.received(), QString::fromUtf8("USER 客户\r\n").toUtf8());

  QSignalSpy arrival(&ws, &Winsock::DataArrival);
  server.send("220 ready\r\n");
  QTRY_VERIFY(!arrival.isEmpty());
  QCOMPARE(arrival.last().at(0).toLongLong(), qint64(11));
  QCOMPARE(ws.BytesReceived(), qint64(11));
  QCOMPARE(ws.GetDataText(), QString("220 ready\r\n"));
  QCOMPARE(ws.GetData(), QByteArray());  // taken once

  ws.Close();
  QCOMPARE(ws.State(), 0);
  ws.Close();  // allowed in any state
  QCOMPARE(ws.State(), 0);
}

void tst_Winsock::refusedConnectIsAnErrorUntilClosed() {
  Winsock ws;
  QVERIFY(ws.Connect("127.0.0.1", RawServer::unusedPort()));
  QTRY_COMPARE(ws.State(), 9);
  QVERIFY(!ws.Connect());
  ws.Close();
  QCOMPARE(ws.State(), 0);

  RawServer server;
  QVERIFY(ws.Connect("127.0.0.1", server.port()));
  QTRY_COMPARE(ws.State(), 7);
}

void tst_Winsock::peerCloseCountsAsClosing() {
  RawServer server;
  Winsock ws;
  ws.setRemoteHost("127.0.0.1");
  ws.setRemotePort(server.port());
  QVERIFY(ws.Connect());
  QTRY_COMPARE(ws.State(), 7);
  QTRY_COMPARE(server.connectionCount(), 1);
  QSignalSpy states(&ws, &Winsock::StateChanged);
  server.send("bye");
  server.closeConnection();
  QTRY_COMPARE(ws.State(), 8);
  QVERIFY(!states.isEmpty());
  QCOMPARE(ws.GetData(), QByteArray("bye"));  // what came before the close is still there
  QVERIFY(!ws.Connect());
  ws.Close();
  QCOMPARE(ws.State(), 0);
}

void tst_Winsock::largeSendReportsProgressAndCompletion() {
  RawServer server;
  Winsock ws;
  QVERIFY(ws.Connect("127.0.0.1", server.port()));
  QTRY_COMPARE(ws.State(), 7);
  QSignalSpy progress(&ws, &Winsock::SendProgress);
  QSignalSpy complete(&ws, &Winsock::SendComplete);
  QByteArray data(8 * 1024 * 1024, '\0');
  for (int i = 0; i < data.size(); ++i) data[i] = char(i * 7);
  QVERIFY(ws.SendData(data));
  QTRY_VERIFY_WITH_TIMEOUT(!complete.isEmpty(), 20000);
  qint64 sent = 0;
  for (const auto& p : progress) sent += p.at(0).toLongLong();
  QCOMPARE(sent, qint64(data.size()));
  QCOMPARE(progress.last().at(1).toLongLong(), qint64(0));
  QTRY_COMPARE_WITH_TIMEOUT(server.received().size(), data.size(), 20000);
  QVERIFY(server.received() == data);
}

void tst_Winsock::localPortIsBoundOnConnect() {
  RawServer server;
  const quint16 port = RawServer::unusedPort();
  Winsock ws;
  QVERIFY(ws.setLocalPort(port));
  QCOMPARE(ws.LocalPort(), int(port));
  QVERIFY(ws.Connect("127.0.0.1", server.port()));
  QTRY_COMPARE(ws.State(), 7);
  QTRY_COMPARE(server.connectionCount(), 1);
  QCOMPARE(server.peerPort(), port);
  QCOMPARE(ws.LocalPort(), int(port));
  QVERIFY(!ws.setLocalPort(port + 1));  // only while closed

  // A second socket cannot bind the port in use: its Connect reports the failure.
  Winsock other;
  QVERIFY(other.setLocalPort(port));
  QVERIFY(!other.Connect("127.0.0.1", server.port()));
  QCOMPARE(other.State(), 0);

  // With the fallback it goes out from a free port instead.
  other.setLocalPortFallback(true);
  QVERIFY(other.Connect("127.0.0.1", server.port()));
  QTRY_COMPARE(other.State(), 7);
  QTRY_COMPARE(server.connectionCount(), 2);
  QVERIFY(server.peerPort() != port);
  QVERIFY(other.LocalPort() != int(port));
}

void tst_Winsock::streamGoesOutWithProgressOfTheWhole() {
  RawServer server;
  Winsock ws;
  QVERIFY(ws.Connect("127.0.0.1", server.port()));
  QTRY_COMPARE(ws.State(), 7);
  QByteArray data(24 * 1024 * 1024 + 123, Qt::Uninitialized);
  for (int i = 0; i < data.size(); ++i) data[i] = char(i * 13 + (i >> 11));
  auto source = std::make_unique<QBuffer>();
  source->setData(data);
  QVERIFY(source->open(QIODevice::ReadOnly));
  QVERIFY(source->seek(100));  // from the source's position on

  QSignalSpy complete(&ws, &Winsock::SendComplete);
  qint64 sent = 0;
  bool consistent = true;
  int reports = 0;
  connect(&ws, &Winsock::SendProgress, this, [&](qint64 n, qint64 remaining) {
    sent += n;
    ++reports;
    consistent = consistent && sent + remaining == data.size() - 200;
  });
  QVERIFY(ws.SendStream(std::move(source), data.size() - 200));
  QVERIFY(!ws.SendStream(std::make_unique<QBuffer>(), 10));  // one stream at a time
  QTRY_VERIFY_WITH_TIMEOUT(!complete.isEmpty(), 30000);
  QVERIFY(consistent);
  QVERIFY(reports > 10);  // reported as it drains, not once at the end
  QCOMPARE(sent, qint64(data.size() - 200));
  QTRY_COMPARE_WITH_TIMEOUT(server.received().size(), data.size() - 200, 30000);
  QVERIFY(server.received() == data.mid(100, data.size() - 200));
  QCOMPARE(complete.size(), 1);
  QCOMPARE(ws.State(), 7);
}

void tst_Winsock::streamThatCannotDeliverFailsTheConnection() {
  RawServer server;
  Winsock ws;
  QVERIFY(ws.Connect("127.0.0.1", server.port()));
  QTRY_COMPARE(ws.State(), 7);
  auto source = std::make_unique<QBuffer>();
  source->setData(QByteArray(1000, 'x'));
  QVERIFY(source->open(QIODevice::ReadOnly));
  QSignalSpy complete(&ws, &Winsock::SendComplete);
  ws.SendStream(std::move(source), 5000);  // longer than the source
  QTRY_COMPARE(ws.State(), 9);
  QTest::qWait(20);
  QVERIFY(complete.isEmpty());
  ws.Close();
  QCOMPARE(ws.State(), 0);
}

// Queued bytes reach the peer before the event loop runs again.
void tst_Winsock::flushSendsWithoutTheEventLoop() {
  QTcpServer server;
  QVERIFY(server.listen(QHostAddress::LocalHost, 0));
  Winsock ws;
  ws.Flush();  // nothing to do while closed
  QVERIFY(ws.Connect("127.0.0.1", server.serverPort()));
  QTRY_COMPARE(ws.State(), 7);
  QVERIFY(server.hasPendingConnections() || server.waitForNewConnection(5000));
  QTcpSocket* peer = server.nextPendingConnection();
  QVERIFY(ws.SendData(QByteArray("GET / HTTP/1.1\r\n\r\n")));
  ws.Flush();
  // Only the peer's socket is waited on here: the sender's queue is not served meanwhile.
  QVERIFY(peer->waitForReadyRead(5000));
  QCOMPARE(peer->readAll(), QByteArray("GET / HTTP/1.1\r\n\r\n"));
}

// A sender faster than the reader does not grow the held bytes past the bound; nothing is lost.
void tst_Winsock::largeReceiveComesInBoundedPieces() {
  RawServer server;
  Winsock ws;
  QByteArray got;
  qint64 largest = 0;
  connect(&ws, &Winsock::DataArrival, &ws, [&] {
    const QByteArray piece = ws.GetData();
    largest = std::max<qint64>(largest, piece.size());
    got += piece;
  });
  QVERIFY(ws.Connect("127.0.0.1", server.port()));
  QTRY_COMPARE(ws.State(), 7);
  QByteArray sent(5 * Winsock::kReadBuffer + 123, Qt::Uninitialized);
  for (qsizetype i = 0; i < sent.size(); ++i) sent[i] = char(i * 7 + (i >> 12));
  server.send(sent);
  QTRY_COMPARE_WITH_TIMEOUT(got.size(), sent.size(), 20000);
  QVERIFY(got == sent);
  QVERIFY(largest <= Winsock::kReadBuffer);
}

QTEST_GUILESS_MAIN(tst_Winsock)
#include "tst_Winsock.moc"
