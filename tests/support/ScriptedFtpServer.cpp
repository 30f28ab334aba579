#include "ScriptedFtpServer.h"

ScriptedFtpServer::ScriptedFtpServer(QObject* parent) : QObject(parent) {
  connect(&server_, &QTcpServer::newConnection, this, &ScriptedFtpServer::onControl);
  server_.listen(QHostAddress::LocalHost, 0);
}

ScriptedFtpServer::~ScriptedFtpServer() {
  // Open sockets are torn down with their listeners after this body: their last signals must not
  // reach a server that is half gone.
  for (const DataConnection& dc : data_)
    if (dc.socket) QObject::disconnect(dc.socket, nullptr, this, nullptr);
  for (const Control& c : controls_)
    if (c.socket) QObject::disconnect(c.socket, nullptr, this, nullptr);
}

QList<QByteArray> ScriptedFtpServer::verbs() const {
  QList<QByteArray> v;
  for (const QByteArray& line : commands) v.append(line.split(' ').first().toUpper());
  return v;
}

QByteArray ScriptedFtpServer::pasvReply(quint16 port) {
  return "227 Entering Passive Mode (127,0,0,1," + QByteArray::number(port / 256) + "," +
         QByteArray::number(port % 256) + ").\r\n";
}

quint16 ScriptedFtpServer::controlPeerPort(int i) const {
  return i >= 0 && i < controls_.size() ? controls_.at(i).peerPort : 0;
}

void ScriptedFtpServer::send(const QByteArray& bytes) {
  if (!controls_.isEmpty()) reply(int(controls_.size()) - 1, bytes);
}

void ScriptedFtpServer::onControl() {
  while (QTcpSocket* s = server_.nextPendingConnection()) {
    const int c = int(controls_.size());
    controls_.append(Control{s, s->peerPort(), {}, {}});
    connect(s, &QTcpSocket::readyRead, this, [this, c, s] {
      Control& ctl = controls_[c];
      ctl.pending += s->readAll();
      qsizetype end;
      while ((end = ctl.pending.indexOf("\r\n")) >= 0) {
        const QByteArray line = ctl.pending.left(end);
        ctl.pending.remove(0, end + 2);
        onCommand(c, line);
      }
    });
    reply(c, greeting);
  }
}

void ScriptedFtpServer::onCommand(int c, const QByteArray& line) {
  commands.append(line);
  if (answer) {
    if (std::optional<QByteArray> a = answer(line)) {
      reply(c, *a);
      return;
    }
  }
  reply(c, defaultAnswer(c, line));
}

QByteArray ScriptedFtpServer::defaultAnswer(int c, const QByteArray& line) {
  const QByteArray verb = line.split(' ').first().toUpper();
  if (verb == "USER") return "331 Password required\r\n";
  if (verb == "PASS") return "230 Logged in\r\n";
  if (verb == "TYPE") return "200 Type set to I\r\n";
  if (verb == "PASV") {
    const int pasv = ++pasvCount_;
    auto listener = std::make_unique<QTcpServer>();
    listener->listen(QHostAddress::LocalHost, 0);
    QTcpServer* l = listener.get();
    connect(l, &QTcpServer::newConnection, this, [this, pasv, l] { onDataConnection(pasv, l); });
    listeners_.push_back(std::move(listener));
    return pasvReply(l->serverPort());
  }
  if (verb == "SIZE") return file ? "213 " + QByteArray::number(file->size()) + "\r\n" : "550 No such file\r\n";
  if (verb == "DELE") {
    if (!file) return "550 No such file\r\n";
    file.reset();
    return "250 Deleted\r\n";
  }
  if (verb == "APPE") {
    transferControl_ = c;
    transferPasv_ = pasvCount_;
    transferData_ = -1;
    for (int d = 0; d < data_.size(); ++d)
      if (data_[d].pasv == transferPasv_ && data_[d].socket) transferData_ = d;
    QByteArray r = "150 Opening data connection\r\n";
    if (transferData_ >= 0) {
      data_[transferData_].carriedTransfer = true;
      // Bytes that came before the command, or an end that came before it, are the transfer's.
      QTimer::singleShot(0, this, [this, d = transferData_] {
        if (d != transferData_) return;
        onDataBytes(d);
        if (transferData_ == d && data_[d].closedByClient) finishTransfer(d, false);
      });
    }
    return r;
  }
  if (verb == "QUIT") {
    QPointer<QTcpSocket> s = controls_[c].socket;
    QTimer::singleShot(50, this, [s] {
      if (s) s->disconnectFromHost();
    });
    return "221 Bye\r\n";
  }
  return "502 Command not implemented\r\n";
}

void ScriptedFtpServer::reply(int c, QByteArray bytes) {
  if (bytes.isEmpty()) return;
  bytes = std::exchange(prefixNext, {}) + bytes;
  Control& ctl = controls_[c];
  if (!ctl.socket) return;
  const bool idle = ctl.out.isEmpty();
  if (pieceSize > 0) {
    for (qsizetype i = 0; i < bytes.size(); i += pieceSize) ctl.out.append(bytes.mid(i, pieceSize));
  } else {
    ctl.out.append(bytes);
  }
  if (idle) writeNextPiece(c);
}

void ScriptedFtpServer::writeNextPiece(int c) {
  Control& ctl = controls_[c];
  if (ctl.out.isEmpty() || !ctl.socket) return;
  ctl.socket->write(ctl.out.takeFirst());
  ctl.socket->flush();
  // Pieces leave a few milliseconds apart, so that each arrives on its own.
  if (!ctl.out.isEmpty()) QTimer::singleShot(pieceSize > 0 ? 5 : 0, this, [this, c] { writeNextPiece(c); });
}

void ScriptedFtpServer::onDataConnection(int pasv, QTcpServer* listener) {
  while (QTcpSocket* s = listener->nextPendingConnection()) {
    const int d = int(data_.size());
    DataConnection dc;
    dc.socket = s;
    dc.pasv = pasv;
    dc.peerPort = s->peerPort();
    data_.append(dc);
    if (transferControl_ >= 0 && transferData_ < 0 && pasv == transferPasv_) {
      transferData_ = d;
      data_[d].carriedTransfer = true;
    }
    connect(s, &QTcpSocket::readyRead, this, [this, d] { onDataBytes(d); });
    connect(s, &QTcpSocket::disconnected, this, [this, d] {
      if (!data_[d].socket) return;
      onDataBytes(d);
      data_[d].closedByClient = true;
      if (d == transferData_) finishTransfer(d, false);
    });
  }
}

void ScriptedFtpServer::onDataBytes(int d) {
  DataConnection& dc = data_[d];
  if (!dc.socket) return;
  if (dc.socket->isOpen()) dc.received += dc.socket->readAll();
  if (d != transferData_ || dropAfter < 0 || dc.received.size() < dropAfter) return;
  dc.received.truncate(dropAfter);
  dropAfter = -1;
  QTcpSocket* s = dc.socket;
  dc.socket = nullptr;
  s->abort();
  finishTransfer(d, true);
}

void ScriptedFtpServer::finishTransfer(int d, bool dropped) {
  if (!file) file = QByteArray();
  const int c = transferControl_;
  transferControl_ = transferData_ = -1;
  ++transfersDone_;
  if (!dropped && hangUpKeeping >= 0) {
    *file += data_[d].received.left(hangUpKeeping);
    hangUpKeeping = -1;
    if (QTcpSocket* s = controls_[c].socket) s->abort();
    return;
  }
  *file += data_[d].received;
  reply(c, dropped ? "426 Connection closed; transfer aborted.\r\n" : "226 Transfer complete.\r\n");
}
