#pragma once
// The HTTP request component: open a request, set its headers, send a body as UTF-8 text, then
// watch readyState until it is 4 (complete) and read responseText. One object carries one
// request; it keeps no cookies and never retries.
#include <QByteArray>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <utility>

class QNetworkAccessManager;
class QNetworkReply;

class XMLHTTP : public QObject {
  Q_OBJECT
public:
  enum State { Uninitialized = 0, Opened = 1, Sent = 2, Receiving = 3, Complete = 4 };

  explicit XMLHTTP(QObject* parent = nullptr);
  ~XMLHTTP() override;

  // The method name may be given in any letter case; it goes out in capitals. Requests are
  // always asynchronous: completion is reported through readyState and readyStateChange.
  void open(const QString& method, const QString& url);
  // Headers go out in the order they were set. "Content-Length" is always the byte count of the
  // body actually sent, whatever value is given here, so the framing cannot be wrong.
  void setRequestHeader(const QString& name, const QString& value);
  void send(const QString& body = QString());
  // Ends a request under way; it then counts as complete with no answer.
  void abort();

  int readyState() const { return state_; }
  // The answer's text: decoded by its byte-order mark, else the charset of its Content-Type,
  // else as UTF-8. Empty until complete, and when the transfer failed or was aborted.
  QString responseText() const;
  QByteArray responseBody() const { return body_; }
  // The HTTP status code, 0 when no HTTP answer came.
  int status() const { return status_; }

Q_SIGNALS:
  void readyStateChange();

private:
  void setState(State s);
  void onFinished();

  QNetworkAccessManager* manager_ = nullptr;
  QPointer<QNetworkReply> reply_;
  QByteArray method_;
  QString url_;
  QList<std::pair<QByteArray, QByteArray>> headers_;
  QByteArray body_;
  QByteArray contentType_;
  int status_ = 0;
  State state_ = Uninitialized;
};
