#include "HttpRecorder.h"
#include "XmlDom.h"
#include "orderRequest.h"

#include <QElapsedTimer>
#include <QTimer>
#include <QtTest>

class tst_orderRequest : public QObject {
  Q_OBJECT
private Q_SLOTS:
  void formEncoding_data();
  void formEncoding();
  void bodyKeepsFieldOrder();
  void postSendsExactRequest();
  void answerTextWhateverTheStatus();
  void failedTransfersGiveNoText_data();
  void failedTransfersGiveNoText();
  void cancelEndsTheWait();
  void eventsRunWhileWaiting();
  void readingTheReply_data();
  void readingTheReply();
};

void tst_orderRequest::formEncoding_data() {
  QTest::addColumn<QString>("value");
  QTest::addColumn<QString>("encoded");
  QTest::newRow("plain") << "demo123" << "demo123";
  QTest::newRow("unreserved") << "a-b_c.d*e" << "a-b_c.d*e";
  QTest::newRow("separators") << "a&b=c" << "a%26b%3Dc";
  QTest::newRow("plus and percent") << "1+1=2%" << "1%2B1%3D2%25";
  QTest::newRow("blanks") << " a b " << "+a+b+";
  QTest::newRow("chinese") << QString::fromUtf8("张三") << "%E5%BC%A0%E4%B8%89";
  QTest::newRow("full-width space and tab") << QString::fromUtf8("\u3000\t") << "%E3%80%80%09";
  QTest::newRow("empty") << "" << "";
}

void tst_orderRequest::formEncoding() {
  QFETCH(QString, value);
  QFETCH(QString, encoded);
  QCOMPARE(formEncode(value), encoded);
  // What a standard form decoder makes of it is the value as typed.
  QCOMPARE(QUrl::fromPercentEncoding(QString(encoded).replace('+', ' ').toLatin1()), value);
}

void tst_orderRequest::bodyKeepsFieldOrder() {
  QCOMPARE(orderBody("Login", {{"usr", ""}, {"pwd", ""}}), QString("Order=Login&usr=&pwd="));
  QCOMPARE(orderBody("SaveDesign", {{"TemplateNO", "0A1B"}, {"pCount", QString::number(12)}}),
           QString("Order=SaveDesign&TemplateNO=0A1B&pCount=12"));
  QCOMPARE(orderBody("Uploaded", {{"dNO", "D17&x=1"}}), QString("Order=Uploaded&dNO=D17%26x%3D1"));
}

void tst_orderRequest::postSendsExactRequest() {
  HttpRecorder server;
  server.replyBody = "<reply flag=\"ok\"/>";
  // Built by hand: a body with non-ASCII text, so characters and bytes differ.
  const QString body = QString::fromUtf8("Order=Login&usr=张三");
  const QString answer = postOrder(server.url(), body);
  QCOMPARE(answer, QString("<reply flag=\"ok\"/>"));
  QCOMPARE(server.requests.size(), 1);
  const RecordedRequest& r = server.requests.first();
  QCOMPARE(r.method, QByteArray("POST"));
  QCOMPARE(r.path, QByteArray("/Client/Server.aspx"));
  QCOMPARE(r.header("Content-Type"), QByteArray("application/x-www-form-urlencoded"));
  QCOMPARE(r.header("Content-Length"), QByteArray::number(body.toUtf8().size()));
  QCOMPARE(r.body, body.toUtf8());
  QVERIFY(!r.headerNames().contains("Content-Length "));
  QCOMPARE(r.headerNames().count("Content-Length"), 1);
  QCOMPARE(r.headerNames().count("Content-Type"), 1);
}

void tst_orderRequest::answerTextWhateverTheStatus() {
  HttpRecorder server;
  server.status = 500;
  server.replyBody = QString::fromUtf8("<r flag=\"ok\"><Name>演示</Name></r>").toUtf8();
  const OrderReply reply = readOrderReply(postOrder(server.url(), "Order=Uploaded&dNO=1"));
  QVERIFY(reply.accepted());
  QCOMPARE(XmlDom::text(XmlDom::selectSingleNode(reply.node, "Name")), QString::fromUtf8("演示"));
}

void tst_orderRequest::failedTransfersGiveNoText_data() {
  QTest::addColumn<int>("mode");
  QTest::newRow("no server listening") << -1;
  QTest::newRow("closed without answer") << int(HttpRecorder::Drop);
  QTest::newRow("never answers") << int(HttpRecorder::Hold);
}

void tst_orderRequest::failedTransfersGiveNoText() {
  QFETCH(int, mode);
  HttpRecorder server;
  server.replyBody = "<reply flag=\"ok\"/>";
  QString address = server.url();
  if (mode < 0) address = QString("http://127.0.0.1:%1/Client/Server.aspx").arg(unusedPort());
  else server.mode = HttpRecorder::Mode(mode);
  const QString answer = postOrder(address, "Order=Login&usr=&pwd=", 400);
  QVERIFY(answer.isEmpty());
  QVERIFY(!readOrderReply(answer).accepted());
  // Qt's HTTP layer sends once more when a fresh connection closes before any answer.
  if (mode >= 0) QVERIFY(server.requests.size() >= 1);
}

void tst_orderRequest::cancelEndsTheWait() {
  HttpRecorder server;
  server.mode = HttpRecorder::Hold;
  OrderCancel cancel;
  connect(&server, &HttpRecorder::requestReceived, &cancel, &OrderCancel::cancel, Qt::QueuedConnection);
  // Without the cancel this would wait the full minute.
  QElapsedTimer t;
  t.start();
  const QString answer = postOrder(server.url(), "Order=Login&usr=a&pwd=b", orderTimeoutMs, &cancel);
  QVERIFY(answer.isEmpty());
  QCOMPARE(server.requests.size(), 1);
  QVERIFY(t.elapsed() < orderTimeoutMs);

  // An order whose cancel was already given is not sent at all.
  QVERIFY(postOrder(server.url(), "Order=Login", orderTimeoutMs, &cancel).isEmpty());
  QCOMPARE(server.requests.size(), 1);
}

void tst_orderRequest::eventsRunWhileWaiting() {
  HttpRecorder slow, quick;
  slow.delayMs = 600;
  slow.replyBody = "<a flag=\"ok\"/>";
  quick.replyBody = "<b flag=\"ok\"/>";
  int ticks = 0;
  QTimer timer;
  timer.setInterval(20);
  connect(&timer, &QTimer::timeout, [&] { ++ticks; });
  timer.start();

  // A second order started while the first waits finishes its own wait first.
  QStringList finished;
  connect(&slow, &HttpRecorder::requestReceived, this, [&] {
    finished << readOrderReply(postOrder(quick.url(), "Order=Uploaded&dNO=2")).node.nodeName();
  }, Qt::QueuedConnection);
  finished << readOrderReply(postOrder(slow.url(), "Order=Uploaded&dNO=1")).node.nodeName();
  QCOMPARE(finished, QStringList({"b", "a"}));
  QVERIFY2(ticks >= 3, qPrintable(QString("the window's timer fired %1 times").arg(ticks)));
}

void tst_orderRequest::readingTheReply_data() {
  QTest::addColumn<QString>("text");
  QTest::addColumn<bool>("accepted");
  QTest::addColumn<QString>("flag");
  QTest::addColumn<QString>("id");  // text of the first node's child ID
  QTest::newRow("accepted") << "<reply flag=\"ok\"><ID>7</ID></reply>" << true << "ok" << "7";
  QTest::newRow("name of the node not used") << "<x flag='ok'/>" << true << "ok" << "";
  QTest::newRow("capitals") << "<reply flag=\"OK\"><ID>7</ID></reply>" << false << "OK" << "7";
  QTest::newRow("refused") << "<reply flag=\"no\"/>" << false << "no" << "";
  QTest::newRow("xml declaration ahead")
      << "<?xml version=\"1.0\" encoding=\"utf-8\"?><reply flag=\"ok\"/>" << false << "" << "";
  QTest::newRow("comment ahead") << "<!-- x --><reply flag=\"ok\"/>" << false << "" << "";
  QTest::newRow("lines ended by CR LF") << "<reply\r\n flag=\"ok\">\r\n<ID>7</ID>\r\n</reply>\r\n" << true << "ok"
                                        << "7";
  QTest::newRow("CR LF inside values") << "<reply flag=\"o\r\nk\"><ID>1\r\n2</ID></reply>" << true << "ok" << "12";
  QTest::newRow("lone LF stays") << "<reply flag=\"ok\"><ID>1\n2</ID></reply>" << true << "ok" << "1\n2";
  QTest::newRow("lone CR stays in a value") << "<reply flag=\"o\rk\"/>" << false << "o k" << "";
  QTest::newRow("empty") << "" << false << "" << "";
  QTest::newRow("not xml") << "not found\n" << false << "" << "";
  QTest::newRow("not well-formed") << "<reply flag=\"ok\">" << false << "" << "";
  QTest::newRow("no flag") << "<reply><ID>7</ID></reply>" << false << "" << "7";
  QTest::newRow("flag on a child only") << "<reply><a flag=\"ok\"/></reply>" << false << "" << "";
  const auto nested = [](int n) { return QString("<a>").repeated(n) + QString("</a>").repeated(n); };
  QTest::newRow("nested 64 deep") << "<reply flag=\"ok\"><ID>7</ID>" + nested(63) + "</reply>" << true << "ok" << "7";
  QTest::newRow("nested 65 deep") << "<reply flag=\"ok\"><ID>7</ID>" + nested(64) + "</reply>" << false << "" << "";
  const QString answer = "<reply flag=\"ok\"><ID>7</ID></reply>";
  QTest::newRow("longest answer") << answer + QString(orderReplyMaxChars - answer.size(), ' ') << true << "ok" << "7";
  QTest::newRow("answer too long") << answer + QString(orderReplyMaxChars - answer.size() + 1, ' ') << false << ""
                                   << "";
}

void tst_orderRequest::readingTheReply() {
  QFETCH(QString, text);
  QFETCH(bool, accepted);
  QFETCH(QString, flag);
  QFETCH(QString, id);
  const OrderReply r = readOrderReply(text);
  QCOMPARE(r.accepted(), accepted);
  QCOMPARE(r.flag, flag);
  QCOMPARE(XmlDom::text(XmlDom::selectSingleNode(r.node, "ID")), id);
}

QTEST_MAIN(tst_orderRequest)
#include "tst_orderRequest.moc"
