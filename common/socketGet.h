#pragma once
// A raw HTTP/1.1 GET written by hand on a Winsock, with the body of the reply written into a
// local file while it arrives. Two halves without an object around them: the caller owns the
// socket and the reply state, calls `request` once per file and `reply` (or `readReply` then
// `writeBody`) for every DataArrival of the socket.
#include <QByteArray>
#include <QString>

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
  Failed,        // no usable "Content-Length:", an oversized header, or the file cannot be written
};

// The reply state, one per caller, kept between data events.
struct Reply {
  QString localFile;        // receives the body
  double startTime = 0;     // seconds since midnight: the request's start, then the transfer's start
  bool isHead = false;      // the last data event ended the reply's header
  qint64 contentLen = 0;    // the reply's "Content-Length:"
  int fileKB = 0;           // contentLen in KB, two decimals, then halves to even
  qint64 headLen = 0;       // bytes of the header up to and including its empty line
  qint64 recvLen = 0;       // body bytes received
  qint64 writePos = 0;      // body bytes written to localFile: the next file offset
  Status status = Status::AwaitingHead;
  QByteArray head;          // header bytes collected until its empty line
};

enum class Result {
  Sent,      // the request went out (on a new or a kept-alive connection)
  TimedOut,  // no connection within the limit; the socket has been closed
  Refused,   // the address cannot be requested; nothing was sent or connected
};

// Seconds since midnight now, with fractions.
double timeOfDay();

// The request half. A socket still connected to the same host and port is used again as it
// is; one the peer has closed or that failed is closed and connected anew. Waits, with the
// event loop running, up to limitSeconds for the connection.
Result request(Winsock& socket, const QString& address, Reply& state, int limitSeconds = 20);

// The reply half up to the writing: takes every waiting byte from the socket and returns the
// body bytes of this data event (empty while the header is still arriving).
QByteArray readReply(Winsock& socket, Reply& state);
// The same on the bytes of one data event.
QByteArray readReply(const QByteArray& data, Reply& state);
// Writes body bytes of one data event into localFile at writePos: the header's data event
// empties the file first.
void writeBody(Reply& state, const QByteArray& body);
// Both steps.
Status reply(Winsock& socket, Reply& state);

}  // namespace socketGet
