#include "Winsock.h"

#include <QHostAddress>
#include <QTcpSocket>

Winsock::Winsock(QObject* parent) : QObject(parent), socket_(new QTcpSocket(this)) {
  // Received bytes wait here up to 1 MB, the rest in the network stack until they are taken: a
  // fast sender cannot grow the buffer without bound, and each data event hands on at most this.
  socket_->setReadBufferSize(kReadBuffer);
  connect(socket_, &QAbstractSocket::stateChanged, this, &Winsock::onStateChanged);
  connect(socket_, &QAbstractSocket::errorOccurred, this, &Winsock::onError);
  connect(socket_, &QAbstractSocket::disconnected, this, &Winsock::onDisconnected);
  connect(socket_, &QIODevice::bytesWritten, this, &Winsock::onBytesWritten);
  connect(socket_, &QIODevice::readyRead, this, [this] {
    const qint64 n = socket_->bytesAvailable();
    if (n > 0) Q_EMIT DataArrival(n);
  });
}

Winsock::~Winsock() {
  closing_ = true;
  socket_->abort();
}

int Winsock::State() const {
  if (peerClosed_) return sckClosing;
  if (failed_) return sckError;
  switch (socket_->state()) {
    case QAbstractSocket::UnconnectedState: return sckClosed;
    case QAbstractSocket::HostLookupState: return sckResolvingHost;
    case QAbstractSocket::ConnectingState: return sckConnecting;
    case QAbstractSocket::ConnectedState: return sckConnected;
    case QAbstractSocket::BoundState: return sckOpen;
    case QAbstractSocket::ListeningState: return sckListening;
    case QAbstractSocket::ClosingState: return sckClosing;
  }
  return sckError;
}

int Winsock::LocalPort() const {
  if (socket_->state() == QAbstractSocket::ConnectedState || socket_->state() == QAbstractSocket::BoundState)
    return socket_->localPort();
  return localPort_;
}

bool Winsock::setLocalPort(int port) {
  if (State() != sckClosed || port < 0 || port > 65535) return false;
  localPort_ = port;
  return true;
}

bool Winsock::Connect(const QString& host, int port) {
  if (State() != sckClosed) return false;
  setRemoteHost(host);
  setRemotePort(port);
  return Connect();
}

bool Winsock::Connect() {
  if (State() != sckClosed || remoteHost_.isEmpty() || remotePort_ <= 0 || remotePort_ > 65535) return false;
  failed_ = peerClosed_ = false;
  if (localPort_ != 0 && !socket_->bind(QHostAddress::AnyIPv4, quint16(localPort_))) {
    Close();  // nothing was started: the socket stays closed
    return false;
  }
  socket_->connectToHost(remoteHost_, quint16(remotePort_));
  emitIfChanged();
  return true;
}

bool Winsock::SendData(const QByteArray& data) {
  if (State() != sckConnected) return false;
  if (data.isEmpty()) return true;
  return socket_->write(data) == data.size();
}

bool Winsock::SendData(const QString& text) { return SendData(text.toLocal8Bit()); }

void Winsock::Flush() {
  if (State() == sckConnected) socket_->flush();
}

QByteArray Winsock::GetData() { return socket_->readAll(); }

QString Winsock::GetDataText() { return QString::fromLocal8Bit(GetData()); }

qint64 Winsock::BytesReceived() const { return socket_->bytesAvailable(); }

void Winsock::Close() {
  closing_ = true;
  socket_->abort();
  closing_ = false;
  failed_ = peerClosed_ = false;
  emitIfChanged();
}

void Winsock::onStateChanged() {
  if (!closing_) emitIfChanged();
}

void Winsock::onError() {
  if (closing_) return;
  if (socket_->error() == QAbstractSocket::RemoteHostClosedError) peerClosed_ = true;
  else failed_ = true;
  emitIfChanged();
}

void Winsock::onDisconnected() {
  if (closing_) return;
  // Not by our Close(): the peer ended the connection, and it counts as closing until closed here.
  if (!failed_) peerClosed_ = true;
  emitIfChanged();
}

void Winsock::onBytesWritten(qint64 n) {
  const qint64 remaining = socket_->bytesToWrite();
  Q_EMIT SendProgress(n, remaining);
  if (remaining == 0) Q_EMIT SendComplete();
}

void Winsock::emitIfChanged() {
  const int s = State();
  if (s == lastState_) return;
  lastState_ = s;
  Q_EMIT StateChanged(s);
}
