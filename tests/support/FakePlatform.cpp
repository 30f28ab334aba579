#include "FakePlatform.h"

#include <QFile>
#include <QFileInfo>
#include <QPointer>

int FakeMessageBox::show(QWidget*, const QString& text, const QString& title, int style) {
  MessageRecord r{text, title, style};
  shown << r;
  if (onShow) onShow(r);
  return answers.isEmpty() ? fallback : answers.takeFirst();
}

QStringList FakeFileDialog::openFiles(QWidget*, const QString& title, const QString&, const QString& p,
                                      bool multiple) {
  titles << title;
  patterns << p;
  multipleAsked << multiple;
  if (whileOpen) whileOpen();
  return files;
}

qint64 FakeProcess::startDetached(const QString& program, const QStringList& args) {
  started << program;
  startedArgs << args;
  pids << (startForReal ? qtPlatform().process->startDetached(program, args) : nextPid);
  return pids.last();
}

bool FakeProcess::openUrl(const QString& url) {
  urls << url;
  return true;
}

void FakeProcess::exitProgram(int code) { exits << code; }

void FakeClipboard::clear() {
  content.clear();
  present = false;
  log << "clear";
}
bool FakeClipboard::hasText() { return present && !content.isEmpty(); }
QString FakeClipboard::text() { return present ? content : QString(); }
void FakeClipboard::setText(const QString& t) {
  content = t;
  present = true;
  log << "set:" + t;
}

void FakeTrayIcon::add(const QIcon&, std::function<void()> onLeftButtonUp) {
  shown = true;
  onUp_ = std::move(onLeftButtonUp);
  log << "add";
}
void FakeTrayIcon::setTip(const QString& t) {
  tip = t;
  log << "tip:" + t;
}
void FakeTrayIcon::remove() {
  shown = false;
  onUp_ = nullptr;
  log << "remove";
}
void FakeTrayIcon::leftButtonUp() {
  if (shown && onUp_) onUp_();
}

bool FakeFlashPlayer::setMovie(const QString& path) {
  movies << path;
  QFile f(path);
  movieBytes << (f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray());
  return QFileInfo::exists(path);
}

bool FakeFlashPlayer::callFunction(const QString& text) {
  calls << text;
  return !failCalls;
}

void FakeFlashPlayer::request(const QString& name, const QStringList& args) {
  Q_EMIT flashCall(requestText(name, args));
}

bool FakeWebBrowser::follow(const QString& url, bool mainFrame) {
  bool cancel = false;
  Q_EMIT BeforeNavigate2(url, mainFrame, &cancel);
  if (!cancel && mainFrame) location = url;
  return !cancel;
}

QString requestText(const QString& name, const QStringList& args) {
  auto esc = [](QString s) {
    return s.replace('&', "&amp;").replace('<', "&lt;").replace('>', "&gt;").replace('"', "&quot;");
  };
  QString t = "<invoke name=\"" + esc(name) + "\" returntype=\"xml\"><arguments>";
  for (const QString& a : args) t += "<string>" + esc(a) + "</string>";
  return t + "</arguments></invoke>";
}

FakePlatform::FakePlatform() {
  platform.msgBox = &msgBox;
  platform.fileDialog = &fileDialog;
  platform.process = &process;
  platform.clipboard = &clipboard;
  platform.tray = &tray;
  platform.newFlashPlayer = [this](QWidget* parent) -> FlashPlayer* {
    auto* p = new FakeFlashPlayer(parent);
    players << p;
    return p;
  };
  platform.newWebBrowser = [this](QWidget* parent) -> WebBrowser* {
    auto* b = new FakeWebBrowser(parent);
    browsers << b;
    return b;
  };
  setPlatform(&platform);
}

FakePlatform::~FakePlatform() { setPlatform(nullptr); }

FakeFlashPlayer* FakePlatform::player(const QString& objectName) const {
  for (const auto& p : players)
    if (p && p->objectName() == objectName) return p;
  return nullptr;
}
