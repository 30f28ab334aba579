#pragma once
// A TCP client socket with the operations and events the programs were written against: a
// numeric state, remote host and port set before Connect, a local port bound on the next
// Connect, sends that are queued and reported as they drain, and received bytes taken all at once.
#include <QByteArray>
#include <QObject>
#include <QString>

#include <memory>

class QIODevice;
class QTcpSocket;

class Winsock : public QObject {
  Q_OBJECT
public:
  // State values in the numbering the programs test against: only 0 and 7 are relied on.
  enum StateValue {
    sckClosed = 0,
    sckOpen = 1,
    sckListening = 2,
    sckConnectionPending = 3,
    sckResolvingHost = 4,
    sckHostResolved = 5,
    sckConnecting = 6,
    sckConnected = 7,
    sckClosing = 8,  // the peer has closed; Close() is still owed
    sckError = 9,    // the connect or the connection failed; Close() is still owed
  };

  explicit Winsock(QObject* parent = nullptr);
  ~Winsock() override;

  int State() const;

  QString RemoteHost() const { return remoteHost_; }
  void setRemoteHost(const QString& host) { remoteHost_ = host; }
  int RemotePort() const { return remotePort_; }
  void setRemotePort(int port) { remotePort_ = port; }

  // The bound local port while a connection exists; otherwise the port the next Connect binds
  // (0: any free port).
  int LocalPort() const;
  // Only while closed; false otherwise or for a port outside 0..65535.
  bool setLocalPort(int port);
  // With the fallback on, a local port that cannot be bound (privileged, in use, in TIME_WAIT)
  // or that the system refuses for the connection gives way to a free port chosen by the
  // system, instead of the Connect failing. Off by default.
  void setLocalPortFallback(bool on) { localPortFallback_ = on; }

  // Starts connecting to RemoteHost:RemotePort and returns at once. False (nothing started)
  // unless the socket is closed, or when the local port cannot be bound.
  bool Connect();
  bool Connect(const QString& host, int port);

  // Queues bytes and returns at once; false when not connected. Text goes as its bytes in the
  // locale's 8-bit encoding.
  bool SendData(const QByteArray& data);
  bool SendData(const QString& text);
  // Sends length bytes read from source (from its current position), a chunk at a time as the
  // connection drains, so that a large file is never held in memory whole. SendProgress counts
  // the bytes still to go of the whole stream; SendComplete comes once the last byte has been
  // handed to the network. A source that cannot deliver its bytes ends the connection with an
  // error. False, and nothing sent, when not connected or while another stream is going out.
  bool SendStream(std::unique_ptr<QIODevice> source, qint64 length);
  // Hands what is queued to the network now rather than at the event loop's next pass, as far as
  // it takes it without waiting; a request that waits for its answer goes out sooner.
  // SendProgress may be raised from inside.
  void Flush();

  // Takes every byte received so far (no more than kReadBuffer at a time; the rest follows in
  // the next DataArrival).
  static constexpr qint64 kReadBuffer = 1 << 20;
  QByteArray GetData();
  QString GetDataText();
  qint64 BytesReceived() const;

  // Ends the connection at once and drops what is queued or unread; allowed in any state.
  void Close();

Q_SIGNALS:
  void DataArrival(qint64 bytesTotal);
  // bytesSent: handed to the network since the last report; bytesRemaining: still queued.
  void SendProgress(qint64 bytesSent, qint64 bytesRemaining);
  void SendComplete();
  // Every change of State(), so waits can end without polling.
  void StateChanged(int state);

private:
  void onStateChanged();
  void onError();
  void onDisconnected();
  void onBytesWritten(qint64 n);
  void emitIfChanged();
  void feedStream();
  void fail();
  void drop();  // the connection and a stream going out end here, without news
  bool bindLocal();

  QTcpSocket* socket_;
  QString remoteHost_;
  int remotePort_ = 0;
  int localPort_ = 0;
  bool localPortFallback_ = false;
  std::unique_ptr<QIODevice> stream_;
  qint64 streamLeft_ = 0;      // bytes of the stream not yet read from its source
  bool failed_ = false;      // an error or the peer's close since the last Connect
  bool peerClosed_ = false;
  bool closing_ = false;     // inside Close(): the socket's own signals are ours, not news
  int lastState_ = sckClosed;
};
