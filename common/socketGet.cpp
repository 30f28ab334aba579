#include "socketGet.h"

#include "VbMath.h"
#include "Winsock.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QPointer>
#include <QTimer>

#include <chrono>
#include <cmath>

namespace socketGet {
namespace {

// A header that has not ended after this many bytes is not an HTTP reply we can use.
constexpr qsizetype kMaxHead = 64 * 1024;

// Bytes that would split the request line or a header line, or end the path early.
bool unsafe(const QString& s) {
  for (const QChar c : s)
    if (c.unicode() <= 0x20 || c.unicode() == 0x7F) return true;
  return false;
}

// Splits "name", "name:port" or "[v6]:port" into the name to connect to and the port.
bool splitHost(const QString& host, QString& name, int& port) {
  port = 80;
  QString rest;
  if (host.startsWith('[')) {
    const int close = host.indexOf(']');
    if (close < 0) return false;
    name = host.mid(1, close - 1);
    rest = host.mid(close + 1);
  } else {
    const int colon = host.indexOf(':');
    if (colon >= 0 && host.indexOf(':', colon + 1) >= 0) return false;  // bare IPv6: ambiguous
    name = colon < 0 ? host : host.left(colon);
    rest = colon < 0 ? QString() : host.mid(colon);
  }
  if (name.isEmpty()) return false;
  if (rest.isEmpty()) return true;
  if (!rest.startsWith(':') || rest.size() < 2) return false;
  bool ok = false;
  const QStringView digits = QStringView(rest).mid(1);
  for (const QChar c : digits)
    if (c < u'0' || c > u'9') return false;
  port = digits.toInt(&ok);
  return ok && port > 0 && port <= 65535;
}

// The value of the header's Content-Length line (name in any letter case, blanks around the
// value allowed); false when there is none, it is not a number, or two lines disagree.
bool contentLength(const QByteArray& header, qint64& length) {
  bool found = false;
  const QList<QByteArray> lines = header.split('\n');
  for (qsizetype i = 1; i < lines.size(); ++i) {  // line 0 is the status line
    const QByteArray line = lines[i].endsWith('\r') ? lines[i].chopped(1) : lines[i];
    const qsizetype colon = line.indexOf(':');
    if (colon < 0 || line.left(colon).toLower() != "content-length") continue;
    const QByteArray value = line.mid(colon + 1).trimmed();
    if (value.isEmpty()) return false;
    for (const char c : value)
      if (c < '0' || c > '9') return false;
    bool ok = false;
    const qint64 v = value.toLongLong(&ok);
    if (!ok || (found && v != length)) return false;
    length = v;
    found = true;
  }
  return found;
}

}  // namespace

Address parseAddress(const QString& address) {
  Address a;
  a.url = address.startsWith(QLatin1String("http://"), Qt::CaseInsensitive) ? address : "http://" + address;
  const int slash = a.url.indexOf('/', 7);
  a.host = slash < 0 ? a.url.mid(7) : a.url.mid(7, slash - 7);
  a.path = slash < 0 ? QStringLiteral("/") : a.url.mid(slash);
  a.ok = !unsafe(a.host) && !unsafe(a.path) && splitHost(a.host, a.hostName, a.port);
  return a;
}

QByteArray requestText(const Address& a) {
  const QString text = "GET " + a.path + " HTTP/1.1\r\n"
                       "Accept: */*\r\n"
                       "Accept: text/html\r\n"
                       "Referer: " + a.url + ".html\r\n"
                       "Host: " + a.host + "\r\n"
                       "Connection: Keep-Alive\r\n"
                       "\r\n";
  return text.toLocal8Bit();
}

double clockSeconds() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

Result request(Winsock& socket, const QString& address, Reply& state, qint64 maxLen, int limitSeconds) {
  const Address a = parseAddress(address);
  state.startTime = clockSeconds();
  state.maxLen = maxLen;
  if (!a.ok) return Result::Refused;

  const bool sameTarget = socket.RemoteHost() == a.hostName && socket.RemotePort() == a.port;
  switch (socket.State()) {
    case Winsock::sckClosed: break;
    case Winsock::sckConnected:
    case Winsock::sckResolvingHost:
    case Winsock::sckHostResolved:
    case Winsock::sckConnecting:
      // A kept-alive connection (or one on its way) to the same server is used as it is.
      if (!sameTarget) socket.Close();
      break;
    default:
      // Closed by the peer or failed: it will never become connected again by itself.
      socket.Close();
      break;
  }
  if (socket.State() == Winsock::sckClosed) {
    socket.setRemoteHost(a.hostName);
    socket.setRemotePort(a.port);
    if (!socket.Connect()) return Result::TimedOut;  // nothing started: no connection will come
  }

  QPointer<Winsock> s(&socket);
  QElapsedTimer elapsed;
  elapsed.start();
  const qint64 limitMs = qint64(limitSeconds) * 1000;
  while (s && s->State() != Winsock::sckConnected) {
    const qint64 left = limitMs - elapsed.elapsed();
    // A refused or failed connect never becomes a connection: it is reported at once rather
    // than at the limit.
    const int state = s->State();
    const bool lost = state == Winsock::sckError || state == Winsock::sckClosing || state == Winsock::sckClosed;
    if (left < 0 || lost) {
      s->Close();
      return Result::TimedOut;
    }
    // Other events run meanwhile; the wait ends on a change of the socket or at the limit.
    QEventLoop loop;
    QTimer limit;
    limit.setSingleShot(true);
    QObject::connect(&limit, &QTimer::timeout, &loop, &QEventLoop::quit);
    QObject::connect(s.data(), &Winsock::StateChanged, &loop, &QEventLoop::quit);
    QObject::connect(s.data(), &QObject::destroyed, &loop, &QEventLoop::quit);
    limit.start(int(left) + 1);
    if (loop.exec() < 0) {
      // The program is ending: no event loop runs any more, so nothing can connect.
      if (s) s->Close();
      return Result::TimedOut;
    }
  }
  if (!s) return Result::TimedOut;

  closeFile(state);  // a reply given up part-way
  state.status = Status::AwaitingHead;
  state.head.clear();
  state.isHead = false;
  state.recvLen = 0;
  s->SendData(requestText(a));
  s->Flush();
  return Result::Sent;
}

QByteArray readReply(Winsock& socket, Reply& state) {
  const QByteArray data = socket.GetData();
  const Status before = state.status;
  const QByteArray body = takeBody(state, data);
  if (state.status == Status::Failed && before != Status::Failed) socket.Close();
  return body;
}

QByteArray takeBody(Reply& state, const QByteArray& data) {
  state.isHead = false;
  switch (state.status) {
    case Status::AwaitingHead: {
      state.head += data;
      const qsizetype end = state.head.indexOf("\r\n\r\n");
      if (end < 0) {
        if (state.head.size() > kMaxHead) {
          state.status = Status::Failed;
          state.head.clear();
        }
        return {};
      }
      const QByteArray header = state.head.left(end + 4);
      QByteArray body = state.head.mid(end + 4);
      state.head.clear();
      qint64 length = 0;
      if (!contentLength(header, length) || length > state.maxLen) {
        state.status = Status::Failed;
        return {};
      }
      state.isHead = true;
      state.contentLen = length;
      state.startTime = clockSeconds();
      state.fileKB = int(VbMath::roundEven(std::round(double(length) / 1024.0 * 100.0) / 100.0));
      state.headLen = end + 4;
      // Bytes past the body belong to no reply we asked for.
      if (body.size() > length) body.truncate(length);
      state.recvLen = body.size();
      state.status = state.recvLen == state.contentLen ? Status::Complete : Status::Receiving;
      return body;
    }
    case Status::Receiving: {
      QByteArray body = data;
      const qint64 owed = state.contentLen - state.recvLen;
      if (body.size() > owed) body.truncate(owed);
      state.recvLen += body.size();
      if (state.recvLen == state.contentLen) state.status = Status::Complete;
      return body;
    }
    case Status::Complete:
    case Status::Failed: break;
  }
  return {};
}

void writeBody(Reply& state, const QByteArray& body) {
  if (state.status == Status::Failed) {
    closeFile(state);
    return;
  }
  if (state.isHead) {
    // The header's event empties the file, so an older, longer file keeps no tail. Unbuffered:
    // each event's bytes go to the file at once, where a reader finds them.
    closeFile(state);
    state.file = std::make_unique<QFile>(state.localFile);
    state.writePos = 0;
    if (!state.file->open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered)) {
      closeFile(state);
      state.status = Status::Failed;
      return;
    }
  } else if (body.isEmpty()) {
    return;
  }
  if (!state.file || state.file->write(body) != body.size()) {
    closeFile(state);
    state.status = Status::Failed;
    return;
  }
  state.writePos += body.size();
  if (state.status == Status::Complete) {
    state.file->close();
    if (state.file->error() != QFileDevice::NoError) state.status = Status::Failed;
    state.file.reset();
  }
}

void closeFile(Reply& state) {
  if (state.file) state.file->close();
  state.file.reset();
}

Status reply(Winsock& socket, Reply& state) {
  const QByteArray body = readReply(socket, state);
  if (state.status == Status::Failed) return state.status;
  writeBody(state, body);
  if (state.status == Status::Failed) socket.Close();
  return state.status;
}

}  // namespace socketGet
