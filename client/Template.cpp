#include "Template.h"

#include "Cdir.h"
#include "DoEvents.h"
#include "FlashBridge.h"
#include "FlashPlayer.h"
#include "Forms.h"
#include "MsgBox.h"
#include "Paths.h"
#include "Platform.h"
#include "Twips.h"
#include "WebBrowser.h"
#include "WelCome.h"
#include "mainModule.h"
#include "rightClick.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QTimer>

namespace {
// Appends one line, ended by CR LF, in the locale's encoding; false when it cannot be written.
bool appendLine(const QString& path, const QString& line) {
  QFile f(path);
  if (!f.open(QIODevice::WriteOnly | QIODevice::Append)) return false;
  const QByteArray bytes = line.toLocal8Bit() + "\r\n";
  const bool ok = f.write(bytes) == bytes.size();
  f.close();
  return ok && f.error() == QFile::NoError;
}

// Line ends and other control characters go: each list entry is one line of its file, and a
// design name with one could not be opened again.
QString withoutControlCharacters(QString s) {
  s.removeIf(Paths::isControl);
  return s;
}

// A list file of the program folder, under whatever letter case it is stored.
QString listFile(const QString& name) { return Paths::resolveCase(Paths::join(Paths::programFolder(), name)); }
}  // namespace

Template::Template() {
  setObjectName("Template");
  setWindowTitle(QString::fromUtf8("选择模板"));
  setAutoFillBackground(true);
  QPalette pal = palette();
  pal.setColor(QPalette::Window, Qt::white);
  setPalette(pal);

  Picture1 = new QWidget(this);
  Picture1->setObjectName("Picture1");
  if (platform().newWebBrowser) Web = platform().newWebBrowser(Picture1);
  if (Web) {
    Web->setObjectName("Web");
    // Direct: the cancel flag must be set before the browser goes on.
    connect(Web, &WebBrowser::BeforeNavigate2, this,
            [this](const QString& url, bool, bool* cancel) { Web_BeforeNavigate2(url, cancel); },
            Qt::DirectConnection);
  }

  // Created in this order, so the new-design movie lies above the downloader.
  download = platform().newFlashPlayer(this);
  download->setObjectName("download");
  SetupMovieHost(download, true);
  placeDownload();
  connect(download, &FlashPlayer::flashCall, this, &Template::download_FlashCall);

  newDesign = platform().newFlashPlayer(this);
  newDesign->setObjectName("newDesign");
  SetupMovieHost(newDesign, true);
  newDesign->resize(Twips::toPixelsX(7455), Twips::toPixelsY(4935));
  connect(newDesign, &FlashPlayer::flashCall, this, &Template::newDesign_FlashCall);

  Timer1 = new QTimer(this);
  Timer1->setInterval(1500);
  connect(Timer1, &QTimer::timeout, this, &Template::Timer1_Timer);

  setClientSizeTwips(13575, 10890);
}

Template::~Template() = default;

void Template::Form_Load() {
  setWindowIcon(Forms::programIcon());
  setWindowTitle(g.appTitle);
  QWidget* first = rightClick::installFilter(5, this, nullptr);
  rightClick::installFilter(6, this, first);
  exitMode = "0";
  download->hide();
  newDesign->hide();
  Picture1->show();
  download->setMovie(Paths::join(Paths::programFolder(), "Downloader.ctr"));
  newDesign->setMovie(Paths::join(Paths::programFolder(), "NewDesign.ctr"));
  centreOnScreen();
  Form_Resize();
  openWeb();
}

void Template::Form_Resize() {
  const int w = scaleWidth(), h = scaleHeight();
  // A statement that would give a negative size (a very small window) is skipped.
  const int pw = w - 2 * 100, ph = h - 2 * 200;
  if (pw >= 0 && ph >= 0) {
    Picture1->setGeometry(Twips::toPixelsX(100), Twips::toPixelsY(200), Twips::toPixelsX(pw), Twips::toPixelsY(ph));
    if (Web)
      Web->setGeometry(-Twips::toPixelsX(25), -Twips::toPixelsY(25), Picture1->width() + Twips::toPixelsX(50),
                       Picture1->height() + Twips::toPixelsY(50));
  }
  newDesign->move(width() / 2 - newDesign->width() / 2, height() / 2 - newDesign->height() / 2);
  placeDownload();
}

void Template::placeDownload() {
  if (downloadDone_) {
    const QRect page = Picture1->geometry();
    const int top = page.bottom() + 1;
    download->setGeometry(page.x(), top, page.width(), std::max(0, height() - top));
    return;
  }
  download->resize(Twips::toPixelsX(8655), Twips::toPixelsY(5295));
  download->move(width() / 2 - download->width() / 2, height() / 2 - download->height() / 2);
}

void Template::Form_Unload(int& cancel) {
  Q_UNUSED(cancel);  // the window always closes
  Timer1->stop();
  // A file still being received is dropped, not stored half-written.
  downloadOut_.reset();
  downloadStream_.reset();
  if (exitMode == "0") Forms::welcome().showForm();
}

void Template::Timer1_Timer() {
  Timer1->stop();
  unload();
}

void Template::showAsNew() {
  Timer1->stop();
  exitMode = "0";
  downloadOut_.reset();
  downloadStream_.reset();
  g.downloadData.clear();
  download->hide();
  newDesign->hide();
  Picture1->show();
  downloadDone_ = false;
  placeDownload();
  openWeb();
}

void Template::openWeb() {
  if (Web) Web->Navigate(g.templateURL);
}

void Template::showDownload() {
  Picture1->hide();
  download->show();
}

void Template::showNewDesign() {
  Picture1->hide();
  newDesign->show();
}

void Template::startDownload() {
  downloadDone_ = false;
  placeDownload();
  CallMovie(download, "setvar", {g.templateNO, g.siteURL});
  showDownload();
}

void Template::Web_BeforeNavigate2(const QString& url, bool* cancel) {
  if (!isDesignLink(url)) return;
  *cancel = true;
  const QString number = templateNumberOf(url);
  if (number.isEmpty()) return;  // nothing to download; the page stays as it was
  g.templateNO = number;
  startDownload();
}

// A request may let events run (a hand-over, a message) while the window is unloaded by another
// (the workspace's start, the welcome window's close): the window stays until it has returned.
void Template::download_FlashCall(const QString& request) {
  Busy busy(*this);
  QString name, argument;
  if (ReadRequest(request, name, argument)) flashCmd(name, argument);
}

void Template::newDesign_FlashCall(const QString& request) {
  Busy busy(*this);
  QString name, argument;
  if (ReadRequest(request, name, argument)) flashCmd(name, argument);
}

void Template::flashCmd(const QString& name, const QString& argument) {
  if (name == "addToList") {
    appendLine(listFile("DownList.Lst"), downListLine(argument));
  } else if (name == "checkPage") {
    const QString target = downloadTarget(argument);
    bool present = false;
    if (!target.isEmpty()) {
      g.downloadFile = target;
      present = QFileInfo(Paths::resolveCase(target)).isFile();
    }
    CallMovie(download, "checkPage", {present ? "true" : "false"});
  } else if (name == "saveFile") {
    saveFile(argument);
  } else if (name == "sendData") {
    sendData(argument);
  } else if (name == "sendEnd") {
    sendEnd();
  } else if (name == "DownComplate") {
    CallMovie(download, "checkPage", {"wait"});
    downloadDone_ = true;
    placeDownload();
    showNewDesign();
  } else if (name == "close") {
    // nothing
  } else if (name == "cancelDown") {
    cancelDown();
  } else if (name == "showTemplate") {
    newDesign->hide();
    Picture1->show();
  } else if (name == "createNew") {
    createDesign(argument);
  }
}

void Template::saveFile(const QString& name) {
  // A file still open is closed with what it has received.
  if (downloadOut_) sendEnd();
  downloadStream_.reset();
  g.downloadData.clear();
  const QString target = downloadTarget(name);
  if (target.isEmpty()) return;  // not a bare file name: nothing is written
  g.downloadFile = target;
  const QString stored = Paths::resolveCase(target);
  if (QFileInfo(stored).isFile()) QFile::remove(stored);
  auto out = std::make_unique<QSaveFile>(target);
  if (out->open(QIODevice::WriteOnly)) downloadOut_ = std::move(out);
}

void Template::sendData(const QString& piece) {
  // Decoded as it arrives; without an open file the text is dropped.
  const QByteArray bytes = downloadStream_.feed(piece);
  if (downloadOut_ && !bytes.isEmpty()) downloadOut_->write(bytes);
}

void Template::sendEnd() {
  const QByteArray bytes = downloadStream_.finish();
  if (downloadOut_) {
    if (!bytes.isEmpty()) downloadOut_->write(bytes);
    // A text that is not Base64 stores nothing, so the file is fetched again next time.
    if (downloadStream_.failed()) downloadOut_->cancelWriting();
    downloadOut_->commit();
    downloadOut_.reset();
  }
  downloadStream_.reset();
  g.downloadData.clear();
}

void Template::cancelDown() {
  Busy busy(*this);
  CallMovie(download, "checkPage", {"wait"});
  download->hide();
  Picture1->show();
  exitMode = "1";
  hideForm();
  DoEvents();
  // Unloaded meanwhile by another window, which has decided where the user goes.
  if (busy.unloaded()) return;
  Forms::welcome().showForm();
  Timer1->start();
}

void Template::createDesign(const QString& name) {
  const QString title = QString::fromUtf8("请输入一个名称");
  const QString clean = cleanDesignName(name);
  if (clean.isEmpty()) {
    MsgBox(QString::fromUtf8("新设计的名称不能为空!"), Msg::OKOnly, title, this);
    return;
  }
  g.designName = clean;
  g.designPath = g.myDesignPath + "/" + clean;
  if (Paths::existsAnyCase(g.designPath)) {
    MsgBox(QString::fromUtf8("对不起！已存在名为[") + clean + QString::fromUtf8("]的设计，请重新命名您的新设计."),
           Msg::OKOnly, title, this);
    return;
  }
  // From here the first failing step ends the creation without a message.
  MakeDirs(g.designPath);
  if (!QFileInfo(g.designPath).isDir()) return;
  const QString package = Paths::resolveCase(Paths::join(g.templatePath, g.templateNO + ".DPT"));
  if (!QFileInfo(package).isFile()) return;
  if (!QFile::copy(package, Paths::join(g.designPath, g.designName + ".DPT"))) return;
  if (!appendLine(listFile("Design.Lst"), g.designName + "/" + g.templateNO)) return;
  exitMode = "1";
  hideForm();
  Forms::showWorkspace();
  DoEvents();
}

bool isDesignLink(const QString& url) { return url.contains("Design", Qt::CaseSensitive); }

QString templateNumberOf(const QString& url) {
  const QString segment = url.mid(url.lastIndexOf('/') + 1);
  const QStringList parts = segment.split('.');
  return parts.size() < 2 ? QString() : parts[1];
}

QString downloadTarget(const QString& name) {
  if (!Paths::isBareName(name)) return QString();
  const QStringList parts = name.toLower().split('.');
  const bool package = parts.size() < 2 || parts[1] == "dpt";
  return Paths::join(package ? g.templatePath : g.pagesPath, name);
}

QString cleanDesignName(const QString& name) {
  static const QString removed = QStringLiteral(",';/\\+=][()!@#$%^&*|?<>~`");
  QString s = withoutControlCharacters(name);
  for (const QChar c : removed) s.remove(c);
  qsizetype a = 0, b = s.size();
  while (a < b && s[a] == ' ') ++a;
  while (b > a && s[b - 1] == ' ') --b;
  return s.mid(a, b - a);
}

QString downListLine(const QString& entry) { return withoutControlCharacters(entry).toLower().remove(".dpt"); }
