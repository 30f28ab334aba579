#include "LoopbackHttpServer.h"

#include <QTcpServer>
#include <QTcpSocket>
#include <QUrl>

LoopbackHttpServer::LoopbackHttpServer(QObject* parent) : QObject(parent), server_(new QTcpServer(this)) {
  connect(server_, &QTcpServer::newConnection, this, &LoopbackHttpServer::onConnection);
}

bool LoopbackHttpServer::start() { return server_->listen(QHostAddress::LocalHost, 0); }
quint16 LoopbackHttpServer::port() const { return server_->serverPort(); }
QString LoopbackHttpServer::root() const { return QString("http://127.0.0.1:%1").arg(port()); }

void LoopbackHttpServer::setFile(const QString& path, const QByteArray& body, const QByteArray& type) {
  files_.insert(path, {body, type});
}

void LoopbackHttpServer::onConnection() {
  while (QTcpSocket* s = server_->nextPendingConnection()) {
    connect(s, &QTcpSocket::disconnected, s, &QObject::deleteLater);
    connect(s, &QTcpSocket::readyRead, s, [this, s] {
      QByteArray head = s->property("head").toByteArray() + s->readAll();
      s->setProperty("head", head);
      if (!head.contains("\r\n\r\n")) return;
      const QList<QByteArray> first = head.left(head.indexOf("\r\n")).split(' ');
      const QString path = first.size() > 1 ? QUrl(QString::fromLatin1(first[1])).path() : QString();
      requested << path;
      QByteArray reply;
      if (first.value(0) == "OPTIONS") {
        reply = "HTTP/1.1 204 No Content\r\nAccess-Control-Allow-Origin: *\r\nAccess-Control-Allow-Headers: *\r\n"
                "Content-Length: 0\r\nConnection: close\r\n\r\n";
      } else if (files_.contains(path)) {
        const auto& f = files_[path];
        reply = "HTTP/1.1 200 OK\r\nContent-Type: " + f.second + "\r\nContent-Length: " +
                QByteArray::number(f.first.size()) + "\r\nAccess-Control-Allow-Origin: *\r\nConnection: close\r\n\r\n" +
                f.first;
      } else {
        reply = "HTTP/1.1 404 Not Found\r\nContent-Length: 10\r\nAccess-Control-Allow-Origin: *\r\n"
                "Connection: close\r\n\r\nnot found\n";
      }
      s->write(reply);
      s->disconnectFromHost();
    });
  }
}
