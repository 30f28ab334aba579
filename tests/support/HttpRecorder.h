#pragma once
// A small HTTP/1.1 server on 127.0.0.1 (a free port) that records each request exactly as it came
// (header names unchanged, in order) and answers as the test says.
#include <QByteArray>
#include <QList>
#include <QObject>
#include <QTcpServer>
#include <utility>

class QTcpSocket;

struct RecordedRequest {
  QByteArray method;
  QByteArray path;
  QList<std::pair<QByteArray, QByteArray>> headers;  // name and value as sent, value trimmed
  QByteArray body;
  // The value of the first header whose name equals name exactly; null when none.
  QByteArray header(const QByteArray& name) const;
  QList<QByteArray> headerNames() const;
};

class HttpRecorder : public QObject {
  Q_OBJECT
public:
  enum Mode { Answer, Hold, Drop };  // answer (after delayMs), never answer, close without answer

  explicit HttpRecorder(QObject* parent = nullptr);
  ~HttpRecorder() override;

  quint16 port() const { return server_.serverPort(); }
  QString url(const QString& path = "/Client/Server.aspx") const;

  int status = 200;
  QByteArray contentType = "text/xml; charset=utf-8";
  QByteArray replyBody;
  int delayMs = 0;
  Mode mode = Answer;

  QList<RecordedRequest> requests;
  // Runs the event loop until count requests have arrived or timeoutMs has passed.
  bool waitForRequests(int count, int timeoutMs = 10000);

Q_SIGNALS:
  void requestReceived();

private:
  void onConnection();
  void onData(QTcpSocket* s);
  void answer(QTcpSocket* s);

  QTcpServer server_;
};

// A free port on 127.0.0.1 that nothing listens on (bound once, then released).
quint16 unusedPort();
