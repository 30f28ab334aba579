#include "WelCome.h"

#include "Cdir.h"
#include "DoEvents.h"
#include "FlashBridge.h"
#include "FlashPlayer.h"
#include "Forms.h"
#include "Module1.h"
#include "Paths.h"
#include "Platform.h"
#include "Winsock.h"
#include "mainModule.h"
#include "rightClick.h"

#include <QDir>
#include <QFileInfo>
#include <QLocale>
#include <QRegularExpression>
#include <QShowEvent>
#include <QTimer>

WelCome::WelCome() {
  setObjectName("WelCome");
  ad01 = platform().newFlashPlayer(this);
  ad01->setObjectName("ad01");
  SetupMovieHost(ad01, true);
  connect(ad01, &FlashPlayer::flashCall, this, &WelCome::ad01_FlashCall);
  Timer1 = new QTimer(this);
  Timer1->setInterval(100);
  connect(Timer1, &QTimer::timeout, this, &WelCome::Timer1_Timer);
  Winsock1 = new Winsock(this);
  Winsock1->setObjectName("Winsock1");
  connect(Winsock1, &Winsock::DataArrival, this, &WelCome::Winsock1_DataArrival);
  setClientSizeTwips(11460, 7245);
}

void WelCome::Form_Load() {
  setWindowIcon(Forms::programIcon());
  InitGlobals();
  setWindowTitle(g.appTitle);
  rightClick::installFilter(1, this, nullptr);
  Dir1 = g.myDesignPath;
  Timer1->start();
  centreOnScreen();

  // From here on a failing step is skipped and the next one runs.
  ad01->setGeometry(0, 0, width(), height());
  ad01->setMovie(Paths::join(Paths::programFolder(), "WelCome.ctr"));
  sendDesignList();
  listFresh_ = true;
  followTemplateLink();
}

void WelCome::sendDesignList() {
  // The names are text inside the call's XML: a folder named with "&" or "<" must not hide the list.
  CallMovie(ad01, "dList", {escapeForCall(designList(Dir1))});
}

void WelCome::showEvent(QShowEvent* e) {
  Form::showEvent(e);
  if (e->spontaneous() || !isLoaded()) return;
  // Shown again after another window: designs may have been made or saved since the list was sent.
  if (!listFresh_) sendDesignList();
  listFresh_ = false;
}

void WelCome::followTemplateLink() {
  const QString number = templateFromLink(Command());
  if (number.isEmpty()) return;
  handedOver_ = true;
  listFresh_ = false;  // the list is sent again when the window is first shown, after the download
  hideForm();
  Forms::showTemplateBrowser();
  g.templateNO = number;
  Forms::startTemplateDownload();
}

void WelCome::Form_Resize() {
  if (ad01) ad01->resize(width(), height());
}

void WelCome::Form_Unload(int& cancel) {
  Q_UNUSED(cancel);
  Forms::unloadOthers();
}

void WelCome::ad01_FlashCall(const QString& request) {
  // The hand-over to another window lets events run, in which this one may be closed.
  Busy busy(*this);
  QString name, argument;
  if (ReadRequest(request, name, argument)) handleRequest(name, argument);
}

void WelCome::handleRequest(const QString& name, const QString& argument) {
  if (name == "open") {
    // Only a saved design: any other text would make the workspace's saves write elsewhere.
    const QString folder = g.myDesignPath + "/" + argument;
    if (!isDesignFolder(folder) || !QFileInfo(Paths::resolveCase(folder)).isDir()) return;
    hideForm();
    g.designName = argument;
    g.designPath = g.myDesignPath + "/" + argument;
    Forms::showWorkspace();
    DoEvents();
  } else if (name == "new") {
    hideForm();
    g.templateURL = argument;
    Forms::showTemplateBrowser();
    DoEvents();
  }
}

void WelCome::Timer1_Timer() {
  Timer1->stop();  // once per load of the window
  Module1::RequestVersion(*Winsock1);
}

void WelCome::Winsock1_DataArrival(qint64 bytesTotal) { Module1::OnVersionData(bytesTotal, *Winsock1); }

QString designList(const QString& folder) {
  if (folder.isEmpty()) return QString();
  const QFileInfoList dirs =
      QDir(Paths::resolveCase(folder)).entryInfoList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name | QDir::IgnoreCase);
  QString text;
  for (const QFileInfo& d : dirs) {
    if (d.fileName().isEmpty()) continue;
    if (!text.isEmpty()) text += ",";
    text += d.fileName() + "|" + generalDate(d.lastModified());
  }
  return text;
}

QString generalDate(const QDateTime& when) {
  const QLocale locale;
  const QString date = locale.toString(when.date(), QLocale::ShortFormat);
  const QTime t = when.time();
  if (t.hour() == 0 && t.minute() == 0 && t.second() == 0) return date;
  // The long time format without its time-zone name.
  QString format = locale.timeFormat(QLocale::LongFormat);
  format.replace(QRegularExpression("\\s*\\bt+\\b\\s*"), " ");
  return date + " " + locale.toString(t, format.trimmed());
}

QString templateFromLink(const QString& commandLine) {
  QString s = commandLine.toUpper();
  s.remove("ZELKA:");
  s.remove('/');
  return s.size() == 32 ? s : QString();
}
