#include "FakePlatform.h"
#include "Forms.h"
#include "FtpPeers.h"
#include "HttpRecorder.h"
#include "ICO.h"
#include "LogIN.h"
#include "Twips.h"
#include "mainModule.h"
#include "orderRequest.h"

#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

namespace {
const QString refusal = QString::fromUtf8("用户名或密码错误！请重新登录。");
const QString title = QString::fromUtf8("登录");
const QByteArray accepted = QString::fromUtf8("<reply flag=\"ok\"><ID>1001</ID><Name>演示用户</Name></reply>").toUtf8();
}  // namespace

class tst_LogIN : public QObject {
  Q_OBJECT
private Q_SLOTS:
  void initTestCase();
  void init();
  void cleanup();
  void layout_data();
  void layout();
  void windowAndPassword();
  void sentBody_data();
  void sentBody();
  void acceptedLogin_data();
  void acceptedLogin();
  void refusals_data();
  void refusals();
  void cancelAfterFailureLeavesLoggedOut();
  void enterInPasswordBoxLogsIn();
  void secondEnterWhileWaiting();
  void closeWhileWaiting();
  void registrationLink();
  void closedWithTheOtherWindows();
  void standInShop_data();
  void standInShop();

private:
  // Waits, with events running, until the dialog no longer waits for an answer.
  static bool settle(LogIN* d, int timeoutMs = 10000);
  FakePlatform* fake = nullptr;
  HttpRecorder* server = nullptr;
};

void tst_LogIN::initTestCase() { Form::setQuitWhenLastUnloaded(false); }

void tst_LogIN::init() {
  fake = new FakePlatform;
  server = new HttpRecorder;
  g = Globals();
  g.serverURL = server->url();
  g.registerURL = "http://shop.test/main/Register.aspx";
}

void tst_LogIN::cleanup() {
  Forms::logINSlot().unload();
  Forms::logINSlot().reset();
  Forms::icoSlot().unload();
  Forms::icoSlot().reset();
  delete server;
  delete fake;
}

bool tst_LogIN::settle(LogIN* d, int timeoutMs) {
  QPointer<LogIN> p(d);
  QElapsedTimer t;
  t.start();
  do QTest::qWait(20);
  while (p && p->isWaiting() && t.elapsed() < timeoutMs);
  QTest::qWait(20);
  return !p || !p->isWaiting();
}

void tst_LogIN::layout_data() {
  QTest::addColumn<QString>("name");
  QTest::addColumn<QString>("text");
  QTest::addColumn<QRect>("twips");
  QTest::newRow("Label1") << "Label1" << QString::fromUtf8("用户名：") << QRect(330, 450, 735, 255);
  QTest::newRow("Label2") << "Label2" << QString::fromUtf8("密  码：") << QRect(360, 990, 735, 255);
  QTest::newRow("Text1") << "Text1" << "" << QRect(1170, 390, 2085, 345);
  QTest::newRow("Text2") << "Text2" << "" << QRect(1170, 930, 2085, 345);
  QTest::newRow("Command1") << "Command1" << QString::fromUtf8("登录") << QRect(1170, 1440, 885, 435);
  QTest::newRow("Command2") << "Command2" << QString::fromUtf8("取消") << QRect(2370, 1440, 885, 435);
  QTest::newRow("Label3") << "Label3" << QString::fromUtf8("没有账号，点此注册") << QRect(1170, 2010, 2175, 255);
}

void tst_LogIN::layout() {
  QFETCH(QString, name);
  QFETCH(QString, text);
  QFETCH(QRect, twips);
  LogIN& d = Forms::logIN();
  auto* w = d.findChild<QWidget*>(name);
  QVERIFY(w);
  QString shown;
  if (auto* l = qobject_cast<QLabel*>(w)) shown = l->text();
  else if (auto* e = qobject_cast<QLineEdit*>(w)) shown = e->text();
  else if (auto* b = qobject_cast<QPushButton*>(w)) shown = b->text();
  QCOMPARE(shown, text);
  QCOMPARE(w->geometry(), Twips::toPixels(twips.x(), twips.y(), twips.width(), twips.height()));
  if (auto* b = qobject_cast<QPushButton*>(w)) QVERIFY(!b->autoDefault() && !b->isDefault());
}

void tst_LogIN::windowAndPassword() {
  LogIN& d = Forms::logIN();
  d.showForm();
  QCOMPARE(d.windowTitle(), title);
  QCOMPARE(d.size(), QSize(Twips::toPixelsX(3810), Twips::toPixelsY(2325)));
  QCOMPARE(d.minimumSize(), d.maximumSize());
  QVERIFY(!(d.windowFlags() & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint)));
  QVERIFY(!d.windowIcon().isNull());
  // Tab order among the controls that take the focus.
  QList<QWidget*> order{d.Text1};
  for (QWidget* w = d.Text1->nextInFocusChain(); w != d.Text1 && order.size() < 10; w = w->nextInFocusChain())
    if (w->focusPolicy() & Qt::TabFocus) order << w;
  QCOMPARE(order, (QList<QWidget*>{d.Text1, d.Text2, d.Command1, d.Command2}));
  d.Text2->setText("abc12");
  QCOMPARE(d.Text2->displayText(), QString("*****"));
  QCOMPARE(d.Text2->text(), QString("abc12"));
}

void tst_LogIN::sentBody_data() {
  QTest::addColumn<QString>("user");
  QTest::addColumn<QString>("password");
  QTest::addColumn<QByteArray>("body");
  QTest::newRow("plain") << "demo" << "demo123" << QByteArray("Order=Login&usr=demo&pwd=demo123");
  QTest::newRow("blanks at the ends go, inside stay")
      << "  de mo  " << " pw " << QByteArray("Order=Login&usr=de+mo&pwd=pw");
  QTest::newRow("separators, plus, percent and chinese")
      << QString::fromUtf8(" 张三&x=1+2% ") << "a+b" << QByteArray("Order=Login&usr=%E5%BC%A0%E4%B8%89%26x%3D1%2B2%25&pwd=a%2Bb");
  QTest::newRow("tab and full-width space kept")
      << QString::fromUtf8("\tu\u3000") << "p" << QByteArray("Order=Login&usr=%09u%E3%80%80&pwd=p");
  QTest::newRow("both empty") << "" << "   " << QByteArray("Order=Login&usr=&pwd=");
}

void tst_LogIN::sentBody() {
  QFETCH(QString, user);
  QFETCH(QString, password);
  QFETCH(QByteArray, body);
  server->replyBody = "<reply flag=\"no\"/>";
  LogIN& d = Forms::logIN();
  d.showForm();
  d.Text1->setText(user);
  d.Text2->setText(password);
  d.Command1->click();
  QCOMPARE(server->requests.size(), 1);
  const RecordedRequest& r = server->requests.first();
  QCOMPARE(r.method, QByteArray("POST"));
  QCOMPARE(r.path, QByteArray("/Client/Server.aspx"));
  QCOMPARE(r.body, body);
  QCOMPARE(r.header("Content-Type"), QByteArray("application/x-www-form-urlencoded"));
  QCOMPARE(r.header("Content-Length"), QByteArray::number(body.size()));
  QVERIFY(!r.headerNames().contains("Content-Length "));
  // What a form decoder reads is what was typed, less the blanks at its ends.
  QUrlQuery q(QString::fromLatin1(QByteArray(r.body).replace('+', "%20")));
  QCOMPARE(q.queryItemValue("usr", QUrl::FullyDecoded), QString(user).remove(QRegularExpression("^ +| +$")));
  QCOMPARE(q.queryItems().size(), 3);
  QVERIFY(!g.isLogin);
}

void tst_LogIN::acceptedLogin_data() {
  QTest::addColumn<QByteArray>("reply");
  QTest::addColumn<QString>("id");
  QTest::addColumn<QString>("name");
  QTest::newRow("ID and Name") << accepted << "1001" << QString::fromUtf8("演示用户");
  QTest::newRow("lines ended by CR LF")
      << QByteArray("<reply flag=\"ok\">\r\n  <ID>10\r\n01</ID>\r\n  <Name>Ann</Name>\r\n</reply>\r\n") << "1001" << "Ann";
  QTest::newRow("no Name: the old one stays") << QByteArray("<reply flag=\"ok\"><ID>7</ID></reply>") << "7" << "old name";
  QTest::newRow("neither: the login still counts") << QByteArray("<reply flag=\"ok\"/>") << "old id" << "old name";
}

void tst_LogIN::acceptedLogin() {
  QFETCH(QByteArray, reply);
  QFETCH(QString, id);
  QFETCH(QString, name);
  g.userID = "old id";
  g.userName = "old name";
  server->replyBody = reply;
  LogIN& d = Forms::logIN();
  QPointer<LogIN> p(&d);
  QTimer::singleShot(0, &d, [&d] {
    d.Text1->setText("demo");
    d.Text2->setText("demo123");
    QTest::mouseClick(d.Command1, Qt::LeftButton);
  });
  d.showForm(true);  // returns once the dialog has closed
  QVERIFY(!p || !p->isLoaded());
  QVERIFY(g.isLogin);
  QCOMPARE(g.userID, id);
  QCOMPARE(g.userName, name);
  QVERIFY(fake->msgBox.shown.isEmpty());
  QTRY_VERIFY(!p);  // destroyed after closing, so the next showing starts empty
}

void tst_LogIN::refusals_data() {
  QTest::addColumn<int>("mode");  // -1: nothing listens
  QTest::addColumn<int>("status");
  QTest::addColumn<QByteArray>("reply");
  QTest::newRow("refused") << int(HttpRecorder::Answer) << 200 << QByteArray("<reply flag=\"no\"/>");
  QTest::newRow("ok in capitals") << int(HttpRecorder::Answer) << 200 << QByteArray("<reply flag=\"OK\"><ID>1</ID></reply>");
  QTest::newRow("behind an xml declaration")
      << int(HttpRecorder::Answer) << 200 << QByteArray("<?xml version=\"1.0\"?><reply flag=\"ok\"><ID>1</ID></reply>");
  QTest::newRow("empty answer") << int(HttpRecorder::Answer) << 200 << QByteArray();
  QTest::newRow("error page") << int(HttpRecorder::Answer) << 404 << QByteArray("not found\n");
  QTest::newRow("closed without answer") << int(HttpRecorder::Drop) << 200 << QByteArray();
  QTest::newRow("no server listening") << -1 << 200 << QByteArray();
}

void tst_LogIN::refusals() {
  QFETCH(int, mode);
  QFETCH(int, status);
  QFETCH(QByteArray, reply);
  if (mode < 0) g.serverURL = QString("http://127.0.0.1:%1/Client/Server.aspx").arg(unusedPort());
  else server->mode = HttpRecorder::Mode(mode);
  server->status = status;
  server->replyBody = reply;
  g.userID = "before";
  LogIN& d = Forms::logIN();
  d.showForm();
  d.Text1->setText("demo");
  d.Text2->setText("wrong");
  bool disabledWhileShown = false;
  fake->msgBox.onShow = [&](const MessageRecord&) {
    disabledWhileShown = !d.Command1->isEnabled() && !d.Command2->isEnabled();
  };
  d.Command1_Click();
  QCOMPARE(fake->msgBox.shown.size(), 1);
  QCOMPARE(fake->msgBox.shown[0].text, refusal);
  QCOMPARE(fake->msgBox.shown[0].title, title);
  QCOMPARE(fake->msgBox.shown[0].style, int(Msg::OKOnly));
  QVERIFY(disabledWhileShown);
  QVERIFY(d.Command1->isEnabled());
  QVERIFY(d.Command2->isEnabled());
  QVERIFY(d.isLoaded());
  QCOMPARE(d.Text1->text(), QString("demo"));
  QCOMPARE(d.Text2->text(), QString("wrong"));
  QVERIFY(!g.isLogin);
  QCOMPARE(g.userID, QString("before"));
}

void tst_LogIN::cancelAfterFailureLeavesLoggedOut() {
  server->replyBody = "<reply flag=\"no\"/>";
  LogIN& d = Forms::logIN();
  QTimer::singleShot(0, &d, [&d] {
    d.Command1->click();  // refused: the message, then idle again
    QTest::mouseClick(d.Command2, Qt::LeftButton);
  });
  d.showForm(true);
  QCOMPARE(fake->msgBox.shown.size(), 1);
  QCOMPARE(server->requests.size(), 1);
  QVERIFY(!g.isLogin);
  QVERIFY(!Forms::logINSlot().isLoaded());
}

void tst_LogIN::enterInPasswordBoxLogsIn() {
  server->replyBody = accepted;
  LogIN& d = Forms::logIN();
  QPointer<LogIN> p(&d);
  d.showForm();
  d.Text1->setText("demo");
  QTest::keyClick(d.Text1, Qt::Key_Return);
  QTest::qWait(100);
  QCOMPARE(server->requests.size(), 0);  // Enter in the user name box does nothing
  QTest::keyClicks(d.Text2, "demo123");
  QTest::keyClick(d.Text2, Qt::Key_Enter);
  QVERIFY(server->waitForRequests(1));
  QVERIFY(settle(p));
  QCOMPARE(server->requests[0].body, QByteArray("Order=Login&usr=demo&pwd=demo123"));
  QVERIFY(g.isLogin);
  QVERIFY(!p || !p->isLoaded());
}

void tst_LogIN::secondEnterWhileWaiting() {
  server->delayMs = 400;
  server->replyBody = "<reply flag=\"no\"/>";
  LogIN& d = Forms::logIN();
  QPointer<LogIN> p(&d);
  d.showForm();
  d.Text2->setText("x");
  bool waiting = false, disabled = false;
  // Runs inside the login's wait, once the shop has the request.
  connect(server, &HttpRecorder::requestReceived, &d, [&] {
    waiting = d.isWaiting();
    disabled = !d.Command1->isEnabled() && !d.Command2->isEnabled();
    QTest::keyClick(d.Text2, Qt::Key_Return);
    QTest::mouseClick(d.Command1, Qt::LeftButton);
  }, Qt::QueuedConnection);
  QTest::keyClick(d.Text2, Qt::Key_Return);
  QVERIFY(server->waitForRequests(1));
  QVERIFY(settle(p));
  QTest::qWait(200);
  QVERIFY(waiting);
  QVERIFY(disabled);
  QCOMPARE(server->requests.size(), 1);
  QCOMPARE(fake->msgBox.shown.size(), 1);
  QVERIFY(d.Command1->isEnabled());
}

void tst_LogIN::closeWhileWaiting() {
  server->mode = HttpRecorder::Hold;  // the answer never comes
  LogIN& d = Forms::logIN();
  QPointer<LogIN> p(&d);
  connect(server, &HttpRecorder::requestReceived, &d, [&d] { d.close(); }, Qt::QueuedConnection);
  QTimer::singleShot(0, &d, [&d] {
    d.Text1->setText("demo");
    QTest::mouseClick(d.Command1, Qt::LeftButton);
  });
  QElapsedTimer t;
  t.start();
  d.showForm(true);
  // The modal showing ends with the close, not after the order's full wait.
  QVERIFY(t.elapsed() < orderTimeoutMs);
  QCOMPARE(server->requests.size(), 1);
  QVERIFY(!p || !p->isLoaded());
  QVERIFY(fake->msgBox.shown.isEmpty());
  QVERIFY(!g.isLogin);
  QTRY_VERIFY(!p);

  // A dialog closed while an accepted answer is on its way: the answer is dropped.
  server->mode = HttpRecorder::Answer;
  server->delayMs = 300;
  server->replyBody = accepted;
  LogIN& e = Forms::logIN();
  QPointer<LogIN> q(&e);
  e.showForm();
  connect(server, &HttpRecorder::requestReceived, &e, [&e] { e.close(); }, Qt::QueuedConnection);
  QTest::keyClick(e.Text2, Qt::Key_Return);
  QVERIFY(server->waitForRequests(2));
  QTest::qWait(600);
  QVERIFY(!q || !q->isLoaded());
  QVERIFY(!g.isLogin);
  QVERIFY(g.userID.isEmpty());
  QVERIFY(fake->msgBox.shown.isEmpty());
}

void tst_LogIN::registrationLink() {
  LogIN& d = Forms::logIN();
  d.showForm();
  QTest::mouseClick(d.Label3, Qt::LeftButton);
  QCOMPARE(fake->process.urls, QStringList{g.registerURL});
  QVERIFY(d.isLoaded());
  QVERIFY(server->requests.isEmpty());
}

void tst_LogIN::closedWithTheOtherWindows() {
  Forms::logIN().showForm();
  Forms::unloadOthers();
  QVERIFY(!Forms::logINSlot().isLoaded());
  QVERIFY(!g.isLogin);
}

void tst_LogIN::standInShop_data() {
  QTest::addColumn<QString>("password");
  QTest::addColumn<bool>("loggedIn");
  QTest::newRow("demo account") << "demo123" << true;
  QTest::newRow("wrong password") << "demo12" << false;
}

void tst_LogIN::standInShop() {
  QFETCH(QString, password);
  QFETCH(bool, loggedIn);
  const QString script = QUORVEL_SOURCE_DIR "/tools/shop/shop.py";
  if (!QFile::exists(script)) QSKIP("the stand-in shop is not in this tree");
  QTemporaryDir data;
  const StandInShop shop(data.path());
  QVERIFY2(shop.ready(), qPrintable(shop.error()));
  g.serverURL = QString("http://127.0.0.1:%1/Client/Server.aspx").arg(shop.httpPort());

  LogIN& d = Forms::logIN();
  d.showForm();
  d.Text1->setText(" demo ");
  d.Text2->setText(password);
  d.Command1_Click();
  QCOMPARE(g.isLogin, loggedIn);
  QCOMPARE(fake->msgBox.shown.size(), loggedIn ? 0 : 1);
  if (loggedIn) {
    QCOMPARE(g.userID, QString("1001"));
    QCOMPARE(g.userName, QString::fromUtf8("演示用户"));
  }
}

QTEST_MAIN(tst_LogIN)
#include "tst_LogIN.moc"
