#include "LogIN.h"

#include "Forms.h"
#include "MsgBox.h"
#include "Platform.h"
#include "Twips.h"
#include "XmlDom.h"
#include "mainModule.h"
#include "orderRequest.h"

#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>

namespace {
QString trimBlanks(const QString& s) {
  qsizetype from = 0, to = s.size();
  while (from < to && s[from] == QLatin1Char(' ')) ++from;
  while (to > from && s[to - 1] == QLatin1Char(' ')) --to;
  return s.mid(from, to - from);
}
}  // namespace

QString loginBody(const QString& user, const QString& password) {
  return orderBody("Login", {{"usr", trimBlanks(user)}, {"pwd", trimBlanks(password)}});
}

LogIN::LogIN() {
  setObjectName("LogIN");
  // A fixed dialog: no resizing, no minimise or maximise button.
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                 Qt::MSWindowsFixedSizeDialogHint);
  setWindowTitle(QString::fromUtf8("登录"));
  setClientSizeTwips(3810, 2325);
  setFixedSize(size());

  auto label = [this](const char* name, const char* text, int l, int t, int w, int h) {
    auto* c = new QLabel(QString::fromUtf8(text), this);
    c->setObjectName(name);
    c->setGeometry(Twips::toPixels(l, t, w, h));
    return c;
  };
  auto textBox = [this](const char* name, int l, int t, int w, int h) {
    auto* c = new QLineEdit(this);
    c->setObjectName(name);
    c->setGeometry(Twips::toPixels(l, t, w, h));
    return c;
  };
  auto button = [this](const char* name, const char* text, int l, int t, int w, int h) {
    auto* c = new QPushButton(QString::fromUtf8(text), this);
    c->setObjectName(name);
    c->setGeometry(Twips::toPixels(l, t, w, h));
    // Neither button answers Enter of its own.
    c->setAutoDefault(false);
    c->setDefault(false);
    return c;
  };
  Label1 = label("Label1", "用户名：", 330, 450, 735, 255);
  Label2 = label("Label2", "密  码：", 360, 990, 735, 255);
  Text1 = textBox("Text1", 1170, 390, 2085, 345);
  Text2 = textBox("Text2", 1170, 930, 2085, 345);
  Text2->setEchoMode(QLineEdit::Password);
  Text2->setStyleSheet("QLineEdit { lineedit-password-character: 42; }");
  Command1 = button("Command1", "登录", 1170, 1440, 885, 435);
  Command2 = button("Command2", "取消", 2370, 1440, 885, 435);
  Label3 = label("Label3", "没有账号，点此注册", 1170, 2010, 2175, 255);

  // Labels take no focus; the focus goes round the boxes and buttons in tab order.
  setTabOrder(Text1, Text2);
  setTabOrder(Text2, Command1);
  setTabOrder(Command1, Command2);

  connect(Command1, &QPushButton::clicked, this, &LogIN::Command1_Click);
  connect(Command2, &QPushButton::clicked, this, &LogIN::Command2_Click);
  Label3->installEventFilter(this);
  Text2->installEventFilter(this);
}

void LogIN::Form_Load() {
  setWindowIcon(Forms::programIcon());
  centreOnScreen();
}

void LogIN::Form_Unload(int& cancel) {
  Q_UNUSED(cancel);
  // Closed while a login waits: that login gives up and its answer is never read.
  if (pending_) pending_->cancel();
}

bool LogIN::eventFilter(QObject* watched, QEvent* event) {
  if (watched == Label3 && event->type() == QEvent::MouseButtonRelease &&
      static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton && Label3->rect().contains(static_cast<QMouseEvent*>(event)->position().toPoint())) {
    Label3_Click();
    return false;
  }
  if (watched == Text2 && event->type() == QEvent::KeyPress) {
    auto* key = static_cast<QKeyEvent*>(event);
    int code = key->text().isEmpty() ? 0 : key->text().at(0).unicode();
    if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) code = 13;
    if (code) Text2_KeyPress(code);
    return false;  // the key still reaches the box
  }
  return Form::eventFilter(watched, event);
}

void LogIN::Text2_KeyPress(int keyAscii) {
  // The login runs after the key has reached the box, so a dialog closed during the wait is never
  // touched by the rest of the key's delivery.
  if (keyAscii == 13) QMetaObject::invokeMethod(this, &LogIN::Command1_Click, Qt::QueuedConnection);
}

void LogIN::Command1_Click() {
  if (pending_ || !isLoaded()) return;  // one login at a time
  Command1->setEnabled(false);
  Command2->setEnabled(false);
  const QString body = loginBody(Text1->text(), Text2->text());

  // The dialog stays while this waits, even when it is closed meanwhile.
  Busy busy(*this);
  OrderCancel cancel;
  pending_ = &cancel;
  const QString answer = postOrder(g.serverURL, body, orderTimeoutMs, &cancel);
  pending_ = nullptr;
  if (busy.unloaded() || cancel.isCancelled()) return;

  // From here on a value that cannot be read stays as it was.
  const OrderReply reply = readOrderReply(answer);
  if (!reply.accepted()) {
    MsgBox(QString::fromUtf8("用户名或密码错误！请重新登录。"), Msg::OKOnly, QString::fromUtf8("登录"), this);
    if (busy.unloaded()) return;
    Command1->setEnabled(true);
    Command2->setEnabled(true);
    return;
  }
  const QDomNode id = XmlDom::selectSingleNode(reply.node, "ID");
  if (!id.isNull()) g.userID = XmlDom::text(id);
  const QDomNode name = XmlDom::selectSingleNode(reply.node, "Name");
  if (!name.isNull()) g.userName = XmlDom::text(name);
  g.isLogin = true;
  unload();
}

void LogIN::Command2_Click() { unload(); }

void LogIN::Label3_Click() { platform().process->openUrl(g.registerURL); }
