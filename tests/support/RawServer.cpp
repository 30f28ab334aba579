#include "RawServer.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

RawServer::RawServer(QObject* parent) : QObject(parent) {
  connect(&server_, &QTcpServer::newConnection, this, &RawServer::onNew);
  server_.listen(QHostAddress::LocalHost, 0);
}

QString RawServer::hostPort() const { return QString("127.0.0.1:%1").arg(port()); }

QByteArray RawServer::received(int i) const {
  if (connections_.isEmpty()) return {};
  return connections_.at(i < 0 ? connections_.size() - 1 : i).data;
}

quint16 RawServer::peerPort(int i) const {
  if (connections_.isEmpty()) return 0;
  return connections_.at(i < 0 ? connections_.size() - 1 : i).peerPort;
}

int RawServer::requestCount() const {
  int n = 0;
  for (const Conn& c : connections_) n += int(c.data.count("\r\n\r\n"));
  return n;
}

bool RawServer::waitForRequests(int count, int ms) {
  QElapsedTimer t;
  t.start();
  while (requestCount() < count && t.elapsed() < ms) {
    QEventLoop loop;
    QTimer::singleShot(10, &loop, &QEventLoop::quit);
    loop.exec();
  }
  return requestCount() >= count;
}

void RawServer::send(const QByteArray& bytes) {
  if (connections_.isEmpty() || !connections_.last().socket) return;
  connections_.last().socket->write(bytes);
  connections_.last().socket->flush();
}

void RawServer::closeConnection() {
  if (connections_.isEmpty() || !connections_.last().socket) return;
  connections_.last().socket->disconnectFromHost();
}

quint16 RawServer::unusedPort() {
  QTcpServer s;
  s.listen(QHostAddress::LocalHost, 0);
  const quint16 p = s.serverPort();
  s.close();
  return p;
}

void RawServer::onNew() {
  while (QTcpSocket* s = server_.nextPendingConnection()) {
    const int index = int(connections_.size());
    connections_.append(Conn{s, {}, s->peerPort(), 0});
    connect(s, &QTcpSocket::readyRead, this, [this, s, index] {
      Conn& c = connections_[index];
      c.data += s->readAll();
      while (c.answered < int(c.data.count("\r\n\r\n"))) {
        ++c.answered;
        if (replied_ >= replies.size()) continue;
        s->write(replies.at(replied_++));
        s->flush();
        if (closeAfterReply) s->disconnectFromHost();
      }
    });
  }
}

QByteArray httpReply(const QByteArray& body, const QByteArray& status) {
  return "HTTP/1.1 " + status + "\r\nContent-Type: text/xml\r\nContent-Length: " + QByteArray::number(body.size()) +
         "\r\n\r\n" + body;
}
