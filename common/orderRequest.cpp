#include "orderRequest.h"

#include "XMLHTTP.h"
#include "XmlDom.h"

#include <QEventLoop>
#include <QPointer>
#include <QTimer>

QString formEncode(const QString& text) {
  static const char hex[] = "0123456789ABCDEF";
  QString out;
  const QByteArray bytes = text.toUtf8();
  out.reserve(bytes.size());
  for (const char c : bytes) {
    const auto u = static_cast<unsigned char>(c);
    if ((u >= 'A' && u <= 'Z') || (u >= 'a' && u <= 'z') || (u >= '0' && u <= '9') || u == '*' || u == '-' ||
        u == '.' || u == '_') {
      out += QChar(u);
    } else if (u == ' ') {
      out += '+';
    } else {
      out += '%';
      out += QChar(hex[u >> 4]);
      out += QChar(hex[u & 0x0F]);
    }
  }
  return out;
}

QString orderBody(const QString& order, const OrderFields& fields) {
  QString body = "Order=" + formEncode(order);
  for (const auto& [name, value] : fields) body += "&" + formEncode(name) + "=" + formEncode(value);
  return body;
}

QString postOrder(const QString& address, const QString& body, int timeoutMs, OrderCancel* cancel) {
  if (cancel && cancel->isCancelled()) return QString();
  XMLHTTP request;
  request.open("post", address);
  request.setRequestHeader("Content-Type", "application/x-www-form-urlencoded");
  request.setRequestHeader("Content-Length", QString::number(body.toUtf8().size()));

  QEventLoop loop;
  QTimer limit;
  limit.setSingleShot(true);
  QObject::connect(&request, &XMLHTTP::readyStateChange, &loop, [&] {
    if (request.readyState() == XMLHTTP::Complete) loop.quit();
  });
  QObject::connect(&limit, &QTimer::timeout, &loop, [&] {
    request.abort();
    loop.quit();
  });
  QPointer<OrderCancel> guard(cancel);
  if (cancel) {
    QObject::connect(cancel, &OrderCancel::cancelled, &loop, [&] {
      request.abort();
      loop.quit();
    });
    // A cancel object destroyed during the wait means its owner is gone: give up as well.
    QObject::connect(cancel, &QObject::destroyed, &loop, [&] {
      request.abort();
      loop.quit();
    });
  }
  request.send(body);
  if (request.readyState() != XMLHTTP::Complete) {
    limit.start(timeoutMs);
    loop.exec();
  }
  if (cancel && (!guard || guard->isCancelled())) return QString();
  return request.responseText();
}

OrderReply readOrderReply(const QString& responseText) {
  OrderReply r;
  if (responseText.size() > orderReplyMaxChars) return r;
  QString cleaned = responseText;
  cleaned.remove(QStringLiteral("\r\n"));
  XmlDom::loadBounded(r.document, cleaned, orderReplyMaxChars);
  r.node = r.document.firstChild();
  if (!r.node.isNull()) r.flag = XmlDom::attributeValue(r.node, "flag");
  return r;
}
