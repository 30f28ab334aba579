#pragma once
// The shop's orders: a form-encoded POST to the server page, and the short XML answer whose first
// node carries `flag` ("ok" = accepted). The client and the uploader send every order this way.
#include <QDomDocument>
#include <QDomNode>
#include <QList>
#include <QObject>
#include <QString>
#include <utility>

using OrderFields = QList<std::pair<QString, QString>>;

// A text encoded as application/x-www-form-urlencoded (UTF-8): letters, digits and "*-._" stay,
// a blank becomes "+", every other byte "%XX".
QString formEncode(const QString& text);

// "Order=" and the order name, then "&", name, "=" and value for each field in the given order,
// each name and value form-encoded, so "&", "=", "+", "%" and non-ASCII text arrive as typed.
QString orderBody(const QString& order, const OrderFields& fields);

// How long an order waits for its answer before it counts as not accepted.
constexpr int orderTimeoutMs = 60000;

// Lets the one who started an order give up its wait (a window closed while it waits).
class OrderCancel : public QObject {
  Q_OBJECT
public:
  using QObject::QObject;
  void cancel() {
    cancelled_ = true;
    Q_EMIT cancelled();
  }
  bool isCancelled() const { return cancelled_; }
Q_SIGNALS:
  void cancelled();

private:
  bool cancelled_ = false;
};

// Posts body to address with "Content-Type: application/x-www-form-urlencoded" and the body's
// UTF-8 byte count as Content-Length, and waits for the complete answer in a nested event loop
// (timers, clicks and other windows go on meanwhile). Returns the answer's text whatever its HTTP
// status; empty when the transfer failed, timeoutMs passed, or cancel was triggered.
QString postOrder(const QString& address, const QString& body, int timeoutMs = orderTimeoutMs,
                  OrderCancel* cancel = nullptr);

// The longest answer that is read: the orders' answers are a few short fields, and a longer or
// deeper text is no answer of the server page.
constexpr qsizetype orderReplyMaxChars = 16 * 1024;

struct OrderReply {
  QDomDocument document;
  QDomNode node;  // the document's first child node; null when the text did not parse
  QString flag;   // its attribute `flag`, empty when missing
  bool accepted() const { return flag == QLatin1String("ok"); }
};

// Removes every CR LF pair, parses the rest and reads the first node's `flag`. An answer that is
// empty, not XML, or has anything ahead of its element (an XML declaration, a comment) is not
// accepted; neither is one longer than orderReplyMaxChars or nested deeper than XmlDom::kMaxDepth.
OrderReply readOrderReply(const QString& responseText);
