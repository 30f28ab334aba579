// The FTP control connection's bytes as the engine assembles them into replies, and the numbers
// it takes from the "227" and "213" replies. Besides not crashing: however the stream is cut
// into arrivals, the same replies come out in the same order, and they are the stream's complete
// lines (cut at their bound, without the line end) with each multi-line reply as its final line;
// a new connection starts clean. A "227" taken gives the host and port its six numbers say, as
// the socket reads the host, and a port from 1 to 65535; a "227" refused lacks six such numbers;
// a "213" size is never negative and is the number the reply holds.
#include "FtpReply.h"
#include "FuzzSupport.h"

#include <QHostAddress>
#include <QList>

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <limits>
#include <random>

namespace {
bool isCode(const QByteArray& line) {
  return line.size() >= 3 && std::isdigit(uchar(line[0])) && std::isdigit(uchar(line[1])) && std::isdigit(uchar(line[2]));
}

// The replies of a stream read whole: its lines ended by LF, each cut at the bound and without
// its CR; of a multi-line reply ("NNN-" up to the first line "NNN" or "NNN ...") the final line.
QList<QByteArray> replyModel(const QByteArray& stream) {
  QList<QByteArray> lines = stream.split('\n');
  lines.removeLast();  // not ended yet
  QList<QByteArray> out;
  QByteArray open;
  for (QByteArray line : lines) {
    line.truncate(FtpReplyLines::kMaxLine);
    if (line.endsWith('\r')) line.chop(1);
    const bool final = isCode(line) && (line.size() == 3 || line[3] == ' ');
    if (!open.isEmpty()) {
      if (final && line.startsWith(open)) {
        out << line;
        open.clear();
      }
    } else if (isCode(line) && line.size() > 3 && line[3] == '-') {
      open = line.left(3);
    } else {
      out << line;
    }
  }
  return out;
}

QString show(const QList<QByteArray>& replies) {
  QStringList out;
  for (const QByteArray& r : replies) out << QString::fromLatin1(r.left(80).toPercentEncoding(" "));
  return QString::number(replies.size()) + ": " + out.join(" | ").left(600);
}

// The six numbers between the first "(" and the next ")" when they are there: decimal digits
// with blanks around them, each 0 to 255.
std::optional<QList<int>> pasvNumbers(const QByteArray& reply) {
  const qsizetype open = reply.indexOf('('), close = open < 0 ? -1 : reply.indexOf(')', open + 1);
  if (close < 0) return std::nullopt;
  const QList<QByteArray> parts = reply.mid(open + 1, close - open - 1).split(',');
  if (parts.size() != 6) return std::nullopt;
  QList<int> n;
  for (const QByteArray& part : parts) {
    const QByteArray p = part.trimmed();
    if (p.isEmpty()) return std::nullopt;
    int value = 0;
    for (const char c : p) {
      if (!std::isdigit(uchar(c))) return std::nullopt;
      value = std::min(value * 10 + (c - '0'), 256);
    }
    if (value > 255) return std::nullopt;
    n << value;
  }
  return n;
}

void checkPasv(const QByteArray& reply) {
  const std::optional<PasvAddress> a = parsePasv(reply);
  const std::optional<QList<int>> n = pasvNumbers(reply);
  const QString text = QString::fromLatin1(reply.left(200).toPercentEncoding(" (),"));
  if (!a) {
    FUZZ_CHECK(!n || (*n)[4] * 256 + (*n)[5] == 0, "refused: " + text);
    return;
  }
  FUZZ_CHECK(n.has_value(), "taken without six numbers: " + text);
  FUZZ_CHECK(a->port >= 1 && a->port <= 65535 && a->port == (*n)[4] * 256 + (*n)[5], QString::number(a->port) + " of " + text);
  // The socket reads the host as an address; it must be the one the numbers name.
  QHostAddress host;
  FUZZ_CHECK(host.setAddress(a->host) && host.protocol() == QAbstractSocket::IPv4Protocol, a->host + " of " + text);
  const quint32 expected = quint32((*n)[0]) << 24 | quint32((*n)[1]) << 16 | quint32((*n)[2]) << 8 | quint32((*n)[3]);
  FUZZ_CHECK(host.toIPv4Address() == expected, a->host + " reads as " + host.toString() + " in " + text);
}

void checkSize(const QByteArray& reply) {
  const qint64 size = parseSizeReply(reply);
  FUZZ_CHECK(size >= 0, QString::number(size));
  qsizetype i = 4;
  while (i < reply.size() && (reply[i] == ' ' || reply[i] == '\t')) ++i;
  qsizetype j = i;
  while (j < reply.size() && std::isdigit(uchar(reply[j]))) ++j;
  const QByteArray digits = reply.mid(i, j - i);
  if (digits.isEmpty()) {
    FUZZ_CHECK(size == 0, QString::number(size) + " from " + QString::fromLatin1(reply.left(100)));
    return;
  }
  // A whole number is read exactly, and one past 64 bits as the largest size.
  bool ok = false;
  const qint64 whole = digits.toLongLong(&ok);
  const bool fraction = j < reply.size() && reply[j] == '.';
  if (!fraction) {
    FUZZ_CHECK(size == (ok ? whole : std::numeric_limits<qint64>::max()),
               QString::number(size) + " from " + QString::fromLatin1(reply.left(100)));
  } else if (ok && whole < (qint64(1) << 52)) {
    // Rounded half to even: the number or the next one.
    FUZZ_CHECK(size == whole || size == whole + 1, QString::number(size) + " from " + QString::fromLatin1(reply.left(100)));
  }
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const QByteArray stream(reinterpret_cast<const char*>(data), qsizetype(size));
  std::minstd_rand cutter(quint32(qHash(stream)));

  FtpReplyLines whole;
  const QList<QByteArray> replies = whole.feed(stream);
  const QList<QByteArray> model = replyModel(stream);
  FUZZ_CHECK(replies == model, show(replies) + "\nexpected " + show(model));

  // Mostly short arrivals, now and then a long one, sometimes an empty one.
  FtpReplyLines cut;
  QList<QByteArray> arrived;
  for (qsizetype at = 0; at < stream.size();) {
    const qsizetype n = cutter() % 4 == 0 ? qsizetype(cutter() % 6000) : qsizetype(cutter() % 8);
    arrived += cut.feed(stream.mid(at, n));
    at += n;
  }
  FUZZ_CHECK(arrived == replies, show(arrived) + "\nwhole " + show(replies));

  // A new connection: what the old one left unfinished is forgotten.
  cut.clear();
  FUZZ_CHECK(cut.feed(stream) == replies, "not clean after clear");

  for (const QByteArray& reply : replies) {
    FUZZ_CHECK(reply.size() <= FtpReplyLines::kMaxLine && !reply.contains('\n'), show({reply}));
    if (reply.startsWith("227")) checkPasv(reply);
    if (reply.startsWith("213")) checkSize(reply);
  }
  // The numbers are taken from any text, not only from what the assembly lets through.
  checkPasv(stream.left(FtpReplyLines::kMaxLine));
  checkSize(stream.left(FtpReplyLines::kMaxLine));
  return 0;
}
