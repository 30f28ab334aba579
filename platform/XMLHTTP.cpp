#include "XMLHTTP.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QStringDecoder>
#include <QUrl>

XMLHTTP::XMLHTTP(QObject* parent) : QObject(parent), manager_(new QNetworkAccessManager(this)) {}

XMLHTTP::~XMLHTTP() {
  if (reply_) {
    reply_->disconnect(this);
    reply_->abort();
  }
}

void XMLHTTP::open(const QString& method, const QString& url) {
  if (reply_) abort();
  method_ = method.toUpper().toLatin1();
  url_ = url;
  headers_.clear();
  body_.clear();
  contentType_.clear();
  status_ = 0;
  setState(Opened);
}

void XMLHTTP::setRequestHeader(const QString& name, const QString& value) {
  headers_.append({name.toLatin1(), value.toUtf8()});
}

void XMLHTTP::send(const QString& body) {
  if (state_ != Opened) return;
  const QByteArray data = body.toUtf8();
  QNetworkRequest request{QUrl(url_)};
  for (const auto& [name, value] : headers_) {
    if (name.trimmed().compare("Content-Length", Qt::CaseInsensitive) == 0) continue;
    request.setRawHeader(name, value);
  }
  request.setHeader(QNetworkRequest::ContentLengthHeader, data.size());
  request.setAttribute(QNetworkRequest::CookieLoadControlAttribute, QNetworkRequest::Manual);
  request.setAttribute(QNetworkRequest::CookieSaveControlAttribute, QNetworkRequest::Manual);
  request.setAttribute(QNetworkRequest::Http2AllowedAttribute, false);
  reply_ = manager_->sendCustomRequest(request, method_, data);
  connect(reply_, &QNetworkReply::metaDataChanged, this, [this] {
    if (state_ == Sent) setState(Receiving);
  });
  connect(reply_, &QNetworkReply::readyRead, this, [this] {
    if (state_ == Sent) setState(Receiving);
  });
  connect(reply_, &QNetworkReply::finished, this, &XMLHTTP::onFinished);
  setState(Sent);
}

void XMLHTTP::abort() {
  if (!reply_) return;
  QNetworkReply* r = reply_;
  reply_ = nullptr;
  r->disconnect(this);
  r->abort();
  r->deleteLater();
  body_.clear();
  status_ = 0;
  setState(Complete);
}

void XMLHTTP::onFinished() {
  QNetworkReply* r = reply_;
  if (!r) return;
  reply_ = nullptr;
  status_ = r->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
  // An answer with an error status still carries its text; only a failed transfer has none.
  body_ = r->readAll();
  contentType_ = r->header(QNetworkRequest::ContentTypeHeader).toByteArray();
  r->deleteLater();
  setState(Complete);
}

void XMLHTTP::setState(State s) {
  if (state_ == s) return;
  state_ = s;
  Q_EMIT readyStateChange();
}

QString XMLHTTP::responseText() const {
  if (state_ != Complete || body_.isEmpty()) return QString();
  if (auto bom = QStringConverter::encodingForData(body_)) {
    QStringDecoder d(*bom);
    return d(body_);
  }
  const int at = contentType_.toLower().indexOf("charset=");
  if (at >= 0) {
    QByteArray name = contentType_.mid(at + 8).trimmed();
    const int end = name.indexOf(';');
    if (end >= 0) name.truncate(end);
    name = name.trimmed();
    if (name.startsWith('"') && name.endsWith('"') && name.size() >= 2) name = name.mid(1, name.size() - 2);
    QStringDecoder d(name.constData());
    if (d.isValid()) return d(body_);
  }
  return QString::fromUtf8(body_);
}
