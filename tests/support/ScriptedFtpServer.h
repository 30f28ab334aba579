#pragma once
// A small FTP server of the tests on 127.0.0.1 (a free port) that holds one remote file and
// speaks the uploader's dialogue: USER, PASS, TYPE, PASV, SIZE, DELE, APPE, QUIT. A test changes
// what it answers where a real server would not oblige: a reply replaced or withheld, glued to
// the next one, split into pieces, a data connection dropped part-way. Every PASV opens a new
// listener and leaves earlier data connections up.
#include <QByteArray>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <functional>
#include <memory>
#include <optional>

class ScriptedFtpServer : public QObject {
  Q_OBJECT
public:
  explicit ScriptedFtpServer(QObject* parent = nullptr);
  ~ScriptedFtpServer() override;
  quint16 port() const { return server_.serverPort(); }
  // The "227" reply that points at port on 127.0.0.1.
  static QByteArray pasvReply(quint16 port);

  QByteArray greeting = "220 ready\r\n";
  // The remote file, absent until something is appended or a test sets it.
  std::optional<QByteArray> file;

  // Answers a command line (without its line end) in place of the default answer; nullopt
  // keeps the default, an empty array sends nothing.
  std::function<std::optional<QByteArray>(const QByteArray& line)> answer;
  // Sent in front of the next reply, in the same piece (a reply glued to the next).
  QByteArray prefixNext;
  // Every reply goes out in pieces of this many bytes, a few milliseconds apart (0: whole).
  int pieceSize = 0;
  // The next transfer's data connection is dropped (reset) once it has brought this many bytes;
  // the file keeps them. One transfer only.
  qint64 dropAfter = -1;
  // The next transfer that the client ends whole gets no "226": the file keeps only this many
  // of its bytes and the control connection is closed (a server gone before it had written
  // what its socket took). One transfer only.
  qint64 hangUpKeeping = -1;

  // Every command line received, in order, without line ends.
  QList<QByteArray> commands;
  // The commands' first words, upper case.
  QList<QByteArray> verbs() const;
  int controlConnections() const { return int(controls_.size()); }
  quint16 controlPeerPort(int i) const;

  struct DataConnection {
    QPointer<QTcpSocket> socket;
    int pasv = 0;          // which PASV of the server (1, 2, ...) it was made to
    quint16 peerPort = 0;
    QByteArray received;
    bool closedByClient = false;
    bool carriedTransfer = false;
  };
  const QList<DataConnection>& dataConnections() const { return data_; }
  int transfersDone() const { return transfersDone_; }

  // Sends bytes on the latest control connection now.
  void send(const QByteArray& bytes);

private:
  struct Control {
    QPointer<QTcpSocket> socket;
    quint16 peerPort = 0;
    QByteArray pending;     // bytes of a command line not yet ended
    QList<QByteArray> out;  // pieces still to be written
  };
  void onControl();
  void onCommand(int c, const QByteArray& line);
  QByteArray defaultAnswer(int c, const QByteArray& line);
  void reply(int c, QByteArray bytes);
  void writeNextPiece(int c);
  void onDataConnection(int pasv, QTcpServer* listener);
  void onDataBytes(int d);
  void finishTransfer(int d, bool dropped);

  QTcpServer server_;
  QList<Control> controls_;
  QList<DataConnection> data_;
  std::vector<std::unique_ptr<QTcpServer>> listeners_;
  int pasvCount_ = 0;
  int transferControl_ = -1;  // the control connection whose APPE is running
  int transferData_ = -1;     // its data connection, once there
  int transferPasv_ = 0;
  int transfersDone_ = 0;
};
