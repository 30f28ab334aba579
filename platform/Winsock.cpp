#include "Winsock.h"

#include <QHostAddress>
#include <QIODevice>
#include <QTcpSocket>

#include <algorithm>

namespace {
// A stream goes out in chunks of this size, with no more than kQueued bytes waiting in the
// socket at a time.
constexpr qint64 kChunk = 256 * 1024;
constexpr qint64 kQueued = 4 * kChunk;
}  // namespace

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
  if (!bindLocal()) {
    Close();  // nothing was started: the socket stays closed
    return false;
  }
  failed_ = peerClosed_ = false;
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

bool Winsock::SendStream(std::unique_ptr<QIODevice> source, qint64 length) {
  if (State() != sckConnected || stream_ || !source || !source->isReadable() || length < 0) return false;
  if (length == 0) return true;
  stream_ = std::move(source);
  streamLeft_ = length;
  feedStream();
  return State() == sckConnected;
}

void Winsock::Flush() {
  if (State() == sckConnected) socket_->flush();
}

void Winsock::feedStream() {
  while (stream_ && streamLeft_ > 0 && socket_->bytesToWrite() < kQueued) {
    const QByteArray chunk = stream_->read(std::min(kChunk, streamLeft_));
    if (chunk.isEmpty()) {
      fail();  // the source ended early or could not be read
      return;
    }
    streamLeft_ -= chunk.size();
    socket_->write(chunk);
  }
}

void Winsock::fail() {
  drop();
  failed_ = true;
  emitIfChanged();
}

void Winsock::drop() {
  closing_ = true;
  socket_->abort();
  closing_ = false;
  stream_.reset();
  streamLeft_ = 0;
}

bool Winsock::bindLocal() {
  if (localPort_ == 0) return true;
  // A refused bind is answered here, not reported as the connection's failure.
  closing_ = true;
  const bool bound = socket_->bind(QHostAddress::AnyIPv4, quint16(localPort_));
  if (!bound) socket_->abort();  // back to an unbound socket: the connect picks a free port
  closing_ = false;
  return bound || localPortFallback_;
}

QByteArray Winsock::GetData() { return socket_->readAll(); }

QString Winsock::GetDataText() { return QString::fromLocal8Bit(GetData()); }

qint64 Winsock::BytesReceived() const { return socket_->bytesAvailable(); }

void Winsock::Close() {
  drop();
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
  if (stream_) {
    feedStream();
    if (State() != sckConnected) return;
  }
  const qint64 remaining = socket_->bytesToWrite() + streamLeft_;
  Q_EMIT SendProgress(n, remaining);
  if (remaining == 0) {
    stream_.reset();
    Q_EMIT SendComplete();
  }
}

void Winsock::emitIfChanged() {
  const int s = State();
  if (s == lastState_) return;
  lastState_ = s;
  Q_EMIT StateChanged(s);
}
