#pragma once
// A TCP server on 127.0.0.1 (a free port) that records the bytes it receives and sends the
// bytes a test chooses, in the pieces the test chooses: for HTTP and other line protocols
// written by hand.
#include <QByteArray>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>

class RawServer : public QObject {
  Q_OBJECT
public:
  explicit RawServer(QObject* parent = nullptr);
  quint16 port() const { return server_.serverPort(); }
  // "127.0.0.1:<port>"
  QString hostPort() const;

  int connectionCount() const { return int(connections_.size()); }
  // Everything received on connection i (the latest when i < 0).
  QByteArray received(int i = -1) const;
  // Peer port of connection i (the latest when i < 0).
  quint16 peerPort(int i = -1) const;
  // How many complete requests (ended by an empty line) have come in on all connections.
  int requestCount() const;
  // Waits, with the event loop running, until count requests are in; false after ms.
  bool waitForRequests(int count, int ms = 5000);

  // Sends bytes on the latest connection at once.
  void send(const QByteArray& bytes);
  // Closes the latest connection from the server's side.
  void closeConnection();

  // Answers each complete request, in turn, with the next of these replies, sent whole; the
  // connection is closed after the reply when closeAfterReply is set.
  QList<QByteArray> replies;
  bool closeAfterReply = false;

  // A port on 127.0.0.1 that nothing listens on (a connect there is refused).
  static quint16 unusedPort();

private:
  void onNew();
  QTcpServer server_;
  struct Conn {
    QPointer<QTcpSocket> socket;
    QByteArray data;
    quint16 peerPort = 0;
    int answered = 0;
  };
  QList<Conn> connections_;
  int replied_ = 0;
};

// A reply with the given body and a "Content-Length:" header that fits it.
QByteArray httpReply(const QByteArray& body, const QByteArray& status = "200 OK");
