#include "HttpRecorder.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QPointer>
#include <QTcpSocket>
#include <QTimer>

QByteArray RecordedRequest::header(const QByteArray& name) const {
  for (const auto& [n, v] : headers)
    if (n == name) return v;
  return QByteArray();
}

QList<QByteArray> RecordedRequest::headerNames() const {
  QList<QByteArray> names;
  for (const auto& h : headers) names << h.first;
  return names;
}

HttpRecorder::HttpRecorder(QObject* parent) : QObject(parent) {
  connect(&server_, &QTcpServer::newConnection, this, &HttpRecorder::onConnection);
  server_.listen(QHostAddress::LocalHost, 0);
}

HttpRecorder::~HttpRecorder() { server_.close(); }

QString HttpRecorder::url(const QString& path) const {
  return QString("http://127.0.0.1:%1%2").arg(port()).arg(path);
}

bool HttpRecorder::waitForRequests(int count, int timeoutMs) {
  QElapsedTimer t;
  t.start();
  while (requests.size() < count && t.elapsed() < timeoutMs) {
    QEventLoop loop;
    QTimer::singleShot(50, &loop, &QEventLoop::quit);
    connect(this, &HttpRecorder::requestReceived, &loop, &QEventLoop::quit);
    loop.exec();
  }
  return requests.size() >= count;
}

void HttpRecorder::onConnection() {
  while (QTcpSocket* s = server_.nextPendingConnection()) {
    s->setParent(this);
    connect(s, &QTcpSocket::readyRead, this, [this, s] { onData(s); });
    connect(s, &QTcpSocket::disconnected, s, &QObject::deleteLater);
  }
}

void HttpRecorder::onData(QTcpSocket* s) {
  QByteArray buf = s->property("buf").toByteArray() + s->readAll();
  s->setProperty("buf", buf);
  const int end = buf.indexOf("\r\n\r\n");
  if (end < 0) return;
  RecordedRequest r;
  const QList<QByteArray> lines = buf.left(end).split('\n');
  const QList<QByteArray> first = lines.value(0).trimmed().split(' ');
  r.method = first.value(0);
  r.path = first.value(1);
  qsizetype length = 0;
  for (qsizetype i = 1; i < lines.size(); ++i) {
    QByteArray line = lines[i];
    if (line.endsWith('\r')) line.chop(1);
    const int colon = line.indexOf(':');
    if (colon < 0) continue;
    const QByteArray name = line.left(colon);
    const QByteArray value = line.mid(colon + 1).trimmed();
    r.headers.append({name, value});
    if (name.compare("Content-Length", Qt::CaseInsensitive) == 0) length = value.toLongLong();
  }
  if (buf.size() < end + 4 + length) return;
  r.body = buf.mid(end + 4, length);
  s->setProperty("buf", buf.mid(end + 4 + length));
  requests << r;
  Q_EMIT requestReceived();
  if (mode == Hold) return;
  if (mode == Drop) {
    s->disconnectFromHost();
    return;
  }
  QPointer<QTcpSocket> guard(s);
  if (delayMs > 0)
    QTimer::singleShot(delayMs, this, [this, guard] {
      if (guard) answer(guard);
    });
  else
    answer(s);
}

void HttpRecorder::answer(QTcpSocket* s) {
  QByteArray out = "HTTP/1.1 " + QByteArray::number(status) + " Status\r\n";
  out += "Content-Type: " + contentType + "\r\n";
  out += "Content-Length: " + QByteArray::number(replyBody.size()) + "\r\n";
  out += "Connection: close\r\n\r\n";
  out += replyBody;
  s->write(out);
  s->disconnectFromHost();
}

quint16 unusedPort() {
  QTcpServer probe;
  probe.listen(QHostAddress::LocalHost, 0);
  const quint16 port = probe.serverPort();
  probe.close();
  return port;
}
