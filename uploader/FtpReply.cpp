#include "FtpReply.h"

#include "VbMath.h"

#include <algorithm>
#include <cctype>
#include <limits>
#include <utility>

namespace {
bool isCode(const QByteArray& line) {
  return line.size() >= 3 && std::isdigit(uchar(line[0])) && std::isdigit(uchar(line[1])) &&
         std::isdigit(uchar(line[2]));
}
}  // namespace

QList<QByteArray> FtpReplyLines::feed(const QByteArray& bytes) {
  QList<QByteArray> replies;
  qsizetype from = 0;
  while (from < bytes.size()) {
    const qsizetype end = bytes.indexOf('\n', from);
    const qsizetype stop = end < 0 ? bytes.size() : end;
    if (!cut_) {
      const qsizetype room = kMaxLine - partial_.size();
      const qsizetype take = std::min<qsizetype>(room, stop - from);
      partial_.append(bytes.constData() + from, take);
      cut_ = partial_.size() >= kMaxLine;
    }
    if (end < 0) break;
    from = end + 1;

    QByteArray line = std::exchange(partial_, {});
    cut_ = false;
    if (line.endsWith('\r')) line.chop(1);
    if (!multiCode_.isEmpty()) {
      // Inside a multi-line reply only its own code followed by a blank ends it.
      if (line.startsWith(multiCode_) && (line.size() == 3 || line[3] == ' ')) {
        multiCode_.clear();
        replies.append(line);
      }
      continue;
    }
    if (isCode(line) && line.size() > 3 && line[3] == '-') {
      multiCode_ = line.left(3);
      continue;
    }
    replies.append(line);
  }
  return replies;
}

void FtpReplyLines::clear() {
  partial_.clear();
  cut_ = false;
  multiCode_.clear();
}

std::optional<PasvAddress> parsePasv(const QByteArray& reply) {
  const qsizetype open = reply.indexOf('(');
  if (open < 0) return std::nullopt;
  const qsizetype close = reply.indexOf(')', open + 1);
  if (close < 0) return std::nullopt;
  const QList<QByteArray> parts = reply.mid(open + 1, close - open - 1).split(',');
  if (parts.size() != 6) return std::nullopt;
  int n[6];
  for (int i = 0; i < 6; ++i) {
    // Digits only: the number conversion alone would stop at a NUL and take what stands before it.
    const QByteArray p = parts[i].trimmed();
    if (p.isEmpty() || !std::all_of(p.begin(), p.end(), [](char c) { return std::isdigit(uchar(c)); }))
      return std::nullopt;
    bool ok = false;
    n[i] = p.toInt(&ok);
    if (!ok || n[i] > 255) return std::nullopt;
  }
  PasvAddress a;
  // Written from the numbers: as written, "010" would be read as octal by the socket, "09" not at all.
  for (int i = 0; i < 4; ++i) a.host += (i ? "." : "") + QString::number(n[i]);
  a.port = n[4] * 256 + n[5];
  if (a.port == 0) return std::nullopt;
  return a;
}

qint64 parseSizeReply(const QByteArray& reply) {
  qsizetype i = 4;
  while (i < reply.size() && (reply[i] == ' ' || reply[i] == '\t')) ++i;
  qsizetype j = i;
  while (j < reply.size() && std::isdigit(uchar(reply[j]))) ++j;
  if (j == i) return 0;
  qsizetype k = j;
  if (k < reply.size() && reply[k] == '.') {
    ++k;
    while (k < reply.size() && std::isdigit(uchar(reply[k]))) ++k;
  }
  bool ok = false;
  // A whole number is read as an integer: a double would round those near the largest size up
  // to it.
  if (k == j) {
    const qint64 whole = reply.mid(i, j - i).toLongLong(&ok);
    return ok ? whole : std::numeric_limits<qint64>::max();
  }
  const double value = reply.mid(i, k - i).toDouble(&ok);
  if (!ok || value >= double(std::numeric_limits<qint64>::max())) return std::numeric_limits<qint64>::max();
  return VbMath::roundEven(value);
}
