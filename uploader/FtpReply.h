#pragma once
// Reading the FTP server's replies: the control connection's bytes assembled into replies, and
// the numbers of the "227" and "213" replies. Pure functions of their input, so that anything a
// server sends can be fed to them.
#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>

// Collects the control connection's bytes into complete replies. A line split across arrivals
// is joined first; several lines in one arrival come out in order; a multi-line reply
// ("NNN-" ... "NNN ") comes out once, as its final line.
struct FtpReplyLines {
  // The replies completed by these bytes, each without its line end.
  QList<QByteArray> feed(const QByteArray& bytes);
  // Forgets a partial line and an open multi-line reply (a new connection).
  void clear();

  // A line longer than this is cut; the rest of it up to its line end is dropped.
  static constexpr int kMaxLine = 4096;

private:
  QByteArray partial_;
  bool cut_ = false;       // partial_ reached kMaxLine: drop until the line end
  QByteArray multiCode_;   // "NNN" while inside a multi-line reply
};

// The data address of a "227" reply: the text between the first "(" and the next ")" holds
// h1,h2,h3,h4,p1,p2 (decimal digits, blanks around them allowed); the host is "h1.h2.h3.h4"
// with the numbers in plain decimal, the port p1 × 256 + p2. Nothing when the reply does not
// carry six numbers from 0 to 255 there, or the port would be 0.
struct PasvAddress {
  QString host;
  int port = 0;
};
std::optional<PasvAddress> parsePasv(const QByteArray& reply);

// The size of a "213" reply: the decimal number from its fifth character on, blanks before it
// skipped, a fraction rounded half to even. 0 when there is no number or it is negative.
qint64 parseSizeReply(const QByteArray& reply);
