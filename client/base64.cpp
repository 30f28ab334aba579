#include "base64.h"

namespace {
bool isAlphabet(char16_t c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '+' || c == '/';
}
bool isBlank(char16_t c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

QByteArray decodeGroups(const QByteArray& groups, bool& failed) {
  auto r = QByteArray::fromBase64Encoding(groups, QByteArray::AbortOnBase64DecodingErrors);
  if (!r) {
    failed = true;
    return {};
  }
  return r.decoded;
}
}  // namespace

QByteArray Base64Stream::feed(QStringView piece) {
  if (failed_) return {};
  QByteArray ready;
  ready.reserve(piece.size() * 3 / 4 + 4);
  for (const QChar qc : piece) {
    const char16_t c = qc.unicode();
    if (isBlank(c)) continue;
    if (padded_ || !(isAlphabet(c) || c == '=')) {
      failed_ = true;
      return {};
    }
    pending_.append(char(c));
    if (pending_.size() < 4) continue;
    // A whole group: "=" may stand only in its last two places, and "x=y" is not allowed.
    const char a = pending_[0], b = pending_[1], p = pending_[2], q = pending_[3];
    if (a == '=' || b == '=' || (p == '=' && q != '=')) {
      failed_ = true;
      return {};
    }
    ready.append(pending_);
    pending_.clear();
    if (q == '=') padded_ = true;
  }
  if (ready.isEmpty()) return {};
  QByteArray bytes = decodeGroups(ready, failed_);
  return failed_ ? QByteArray() : bytes;
}

QByteArray Base64Stream::finish() {
  if (failed_) return {};
  QByteArray bytes;
  if (pending_.size() == 1) {
    failed_ = true;  // one character carries less than a byte
  } else if (!pending_.isEmpty()) {
    if (pending_.contains('=')) failed_ = true;
    else bytes = decodeGroups(pending_, failed_);
  }
  pending_.clear();
  padded_ = true;
  return failed_ ? QByteArray() : bytes;
}

void Base64Stream::reset() {
  pending_.clear();
  padded_ = false;
  failed_ = false;
}

QByteArray DecodeBase64(const QString& text, bool* ok) {
  Base64Stream s;
  QByteArray bytes = s.feed(text);
  bytes += s.finish();
  if (ok) *ok = !s.failed();
  return s.failed() ? QByteArray() : bytes;
}
