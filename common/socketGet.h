#pragma once
// A raw HTTP/1.1 GET written by hand on a Winsock, with the body of the reply written into a
// local file while it arrives. Two halves without an object around them: the caller owns the
// socket and the reply state, calls `request` once per file and `reply` (or `readReply` then
// `writeBody`) for every DataArrival of the socket.
#include <QByteArray>
#include <QFile>
#include <QString>

#include <memory>

class Winsock;

namespace socketGet {

// The parts of an address. Everything between "http://" and the next "/" is the host; a
// ":port" at its end picks the port (80 without one).
struct Address {
  QString url;       // the address with "http://" in front
  QString host;      // as written, with its ":port" when there is one: the Host header
  QString hostName;  // the host without ":port": what is connected to
  int port = 80;
  QString path;      // from the first "/" after the host on; "/" when there is none
  bool ok = false;   // false: the address cannot be requested (empty host, bad port, blanks, line ends)
};

Address parseAddress(const QString& address);

// The request's bytes: the GET line and the fixed header lines, each ended by CR LF, and the
// empty line.
QByteArray requestText(const Address& a);

enum class Status {
  AwaitingHead,  // request sent; the reply's header has not ended yet
  Receiving,     // header read; body bytes still owed
  Complete,      // recvLen == contentLen
  Failed,        // no usable "Content-Length:", one above maxLen, an oversized header, or the file
                 // cannot be written; the connection is closed, since its stream can no longer be followed
};

// The reply state, one per caller, kept between data events.
struct Reply {
  QString localFile;        // receives the body
  qint64 maxLen = 0;        // the longest body accepted: a longer "Content-Length:" fails the reply
  double startTime = 0;     // monotonic seconds: the request's start, then the transfer's start
  bool isHead = false;      // the last data event ended the reply's header
  qint64 contentLen = 0;    // the reply's "Content-Length:"
  int fileKB = 0;           // contentLen in KB, two decimals, then halves to even
  qint64 headLen = 0;       // bytes of the header up to and including its empty line
  qint64 recvLen = 0;       // body bytes received
  qint64 writePos = 0;      // body bytes written to localFile: the next file offset
  Status status = Status::AwaitingHead;
  QByteArray head;          // header bytes collected until its empty line
  // localFile while its body arrives: opened (emptied) by the header's data event, kept open
  // between data events, closed by the last byte, a failure or the next request.
  std::unique_ptr<QFile> file;
};

enum class Result {
  Sent,      // the request went out (on a new or a kept-alive connection)
  TimedOut,  // no connection within the limit; the socket has been closed
  Refused,   // the address cannot be requested; nothing was sent or connected
};

// Seconds on a monotonic clock, with fractions: differences of two readings are elapsed time,
// with no jump at midnight or when the system clock is set.
double clockSeconds();

// The request half. A socket still connected to the same host and port is used again as it
// is; one the peer has closed or that failed is closed and connected anew. Waits, with the
// event loop running, up to limitSeconds for the connection. A reply whose body would be longer
// than maxLen bytes fails before anything of it is written.
Result request(Winsock& socket, const QString& address, Reply& state, qint64 maxLen, int limitSeconds = 20);

// The reply half up to the writing: takes every waiting byte from the socket and returns the
// body bytes of this data event (empty while the header is still arriving). A reply that fails
// here closes the socket.
QByteArray readReply(Winsock& socket, Reply& state);
// The same on bytes already taken: the reply state moves on by one data event's bytes, and the
// body bytes among them are returned. Touches no socket and no file.
QByteArray takeBody(Reply& state, const QByteArray& data);
// Writes body bytes of one data event into localFile at writePos: the header's data event
// empties the file first. Every byte is in the file when this returns (others may read it); the
// file is closed once the reply is complete or has failed.
void writeBody(Reply& state, const QByteArray& body);
// Closes localFile if a reply left it open part-way (a lost connection, the program ending);
// what has arrived stays in it.
void closeFile(Reply& state);
// Both steps; a failed write closes the socket too.
Status reply(Winsock& socket, Reply& state);

}  // namespace socketGet
