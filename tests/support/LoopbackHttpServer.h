#pragma once
// A small HTTP/1.1 server on 127.0.0.1 (a free port) for tests: GET of a path answers the bytes
// set for it (404 otherwise), one request per connection, and every requested path is recorded.
#include <QByteArray>
#include <QHash>
#include <QObject>
#include <QStringList>

class QTcpServer;

class LoopbackHttpServer : public QObject {
  Q_OBJECT
public:
  explicit LoopbackHttpServer(QObject* parent = nullptr);
  bool start();
  quint16 port() const;
  // "http://127.0.0.1:PORT"
  QString root() const;
  void setFile(const QString& path, const QByteArray& body, const QByteArray& type = "application/octet-stream");
  QStringList requested;  // paths in the order they were asked for

private:
  void onConnection();
  QTcpServer* server_ = nullptr;
  QHash<QString, QPair<QByteArray, QByteArray>> files_;
};
