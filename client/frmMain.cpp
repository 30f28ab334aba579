#include "frmMain.h"

#include "Cdir.h"
#include "DesignPackage.h"
#include "DoEvents.h"
#include "FlashBridge.h"
#include "FlashPlayer.h"
#include "Forms.h"
#include "MsgBox.h"
#include "OrderedWork.h"
#include "Paths.h"
#include "Platform.h"
#include "Twips.h"
#include "WelCome.h"
#include "mainModule.h"
#include "rightClick.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFrame>
#include <QRegularExpression>
#include <QTimer>

namespace {
// Sizes of the two small movie hosts, in twips.
constexpr int kWaitingWidth = 4200, kWaitingHeight = 2400;
constexpr int kProgressWidth = 6000, kProgressHeight = 2400;

QStringList readListFile(const QString& path) {
  QFile f(Paths::resolveCase(path));
  if (!f.open(QIODevice::ReadOnly)) return {};
  QStringList lines = QString::fromLocal8Bit(f.readAll()).split(QRegularExpression("\r\n|\r|\n"));
  if (!lines.isEmpty() && lines.last().isEmpty()) lines.removeLast();
  return lines;
}
}  // namespace

frmMain::frmMain() {
  setObjectName("frmMain");
  WorkArea = platform().newFlashPlayer(this);
  WorkArea->setObjectName("WorkArea");
  SetupMovieHost(WorkArea, false);
  connect(WorkArea, &FlashPlayer::flashCall, this, &frmMain::WorkArea_FlashCall);
  WorkArea->hide();

  Frame1 = new QFrame(this);
  Frame1->setObjectName("Frame1");
  Frame1->setFrameShape(QFrame::NoFrame);
  Frame1->setAutoFillBackground(true);

  waiting = platform().newFlashPlayer(this);
  waiting->setObjectName("waiting");
  SetupMovieHost(waiting, false);
  waiting->resize(Twips::toPixelsX(kWaitingWidth), Twips::toPixelsY(kWaitingHeight));

  progress = platform().newFlashPlayer(this);
  progress->setObjectName("progress");
  SetupMovieHost(progress, true);
  progress->resize(Twips::toPixelsX(kProgressWidth), Twips::toPixelsY(kProgressHeight));

  Timer1 = new QTimer(this);
  Timer1->setInterval(3000);
  connect(Timer1, &QTimer::timeout, this, &frmMain::Timer1_Timer);
  Timer2 = new QTimer(this);
  Timer2->setInterval(2000);
  connect(Timer2, &QTimer::timeout, this, &frmMain::Timer2_Timer);

  setClientSizeTwips(12075, 9135);
}

// The load, the opening of the design and the editor's requests let events run: the window may
// be closed in the middle of them, and each of them stops at the first yield that finds it so.

void frmMain::Form_Load() {
  Busy busy(*this);
  setWindowIcon(Forms::programIcon());
  setWindowTitle(g.appTitle + " V" + versionText());
  QWidget* found = rightClick::installFilter(2, this, nullptr);
  found = rightClick::installFilter(3, this, found);
  rightClick::installFilter(4, this, found);
  centreOnScreen();
  Frame1->raise();
  waiting->raise();
  waiting->setMovie(Paths::join(Paths::programFolder(), "waiting.ctr"));
  exitMode = "0";
  progress->hide();
  loadWorkArea();
  if (busy.unloaded()) return;
  g.designState = "saved";

  // The start data: two resources of ASCII text, each without its last two characters.
  g.mainArgs.clear();
  for (int id : {201, 202}) {
    QString piece = QString::fromLatin1(customResource(id));
    piece.chop(2);
    g.mainArgs += piece;
  }
  QString list = getTemplateList();
  EncodeFlashText(g.mainArgs);
  CallMovie(WorkArea, "loadMain", {g.mainArgs, list});
  g.mainArgs.clear();
  list.clear();

  DoEvents();
  DoEvents();
  if (busy.unloaded()) return;
  openTemplate();
}

void frmMain::loadWorkArea() {
  Busy busy(*this);
  g.movieTemp = Paths::join(Paths::programFolder(), "2wCEAAgGBgcGBQgHB.TMP");
  DoEvents();
  if (busy.unloaded()) return;
  SaveResToFile(101, g.movieTemp);
  // The player reads the file at once, so it can go right after.
  WorkArea->loadMovie(0, g.movieTemp);
  QFile::remove(g.movieTemp);
  WorkArea->show();
}

void frmMain::openTemplate() {
  Busy busy(*this);
  DoEvents();
  DoEvents();
  if (busy.unloaded()) return;
  const QString mode =
      Paths::existsAnyCase(Paths::programFolder() + "/MyDesign/" + g.designName + "/Thumb") ? "edit" : "new";
  const QStringList openArgs{"Local", escapeForCall(g.siteURL), mode, escapeForCall(g.designName)};

  File1 = Paths::resolveCase(g.designPath + "/images");
  const QDir folder(File1);
  if (!QFileInfo(File1).isDir() || !isDesignFolder(g.designPath)) {
    // A design without pictures has no folder yet: the design still opens. Outside MyDesign no
    // thumbnails are made.
    CallMovie(WorkArea, "openTemplate", openArgs);
    Timer1->start();
    return;
  }
  const QString thumbs = Paths::resolveCase(File1 + "/Thumb");
  MakeDirs(thumbs);
  QString list;
  const QStringList files = folder.entryList(QDir::Files, QDir::Name | QDir::IgnoreCase);
  // The missing thumbnails are made side by side; the editor hears of the pictures once all are there.
  OrderedWork work;
  work.stopWhen([&busy] { return busy.unloaded(); });
  for (int i = 0; i < files.size(); ++i) {
    const QString& name = files[i];
    if (i > 0) list += ",";
    list += escapeForCall("MyDesign\\" + g.designName + "\\Images\\" + name);
    if (!Paths::existsAnyCase(thumbs + "/" + name)) ShowTNImg(work, File1 + "/" + name, 150, thumbs + "/" + name);
  }
  work.finish();
  if (busy.unloaded()) return;
  CallMovie(WorkArea, "loadImgs", {list});
  CallMovie(WorkArea, "openTemplate", openArgs);
  Timer1->start();
}

void frmMain::buildDfile() { DesignPackage::buildDfile(); }


void frmMain::Form_Resize() {
  const float w = float(scaleWidth()), h = float(scaleHeight());
  Frame1->setGeometry(0, Twips::toPixelsY(50), width(), height());
  const auto centre = [&](QWidget* c) {
    const float cw = float(Twips::fromPixelsX(c->width())), ch = float(Twips::fromPixelsY(c->height()));
    c->move(Twips::toPixelsX(w / 2 - cw / 2), Twips::toPixelsY(h / 2 - ch / 2));
  };
  centre(waiting);
  WorkArea->setGeometry(0, 0, width(), height());
  centre(progress);
}

void frmMain::Form_Unload(int& cancel) {
  if ((preparing_ ? stateBeforeUpload_ : g.designState) == "editing") {
    const int answer = MsgBox(QString::fromUtf8("当前设计还未保存,如果退出您所做的修改将会丢失,确认退出吗 ?"),
                              Msg::OKCancel, QString::fromUtf8("退出设计"), this);
    if (answer == Msg::Cancel) {
      cancel = 1;
      return;
    }
  }
  if (exitMode == "0") Forms::welcome().showForm();
}

void frmMain::Timer1_Timer() {
  Timer1->stop();
  Frame1->hide();
  waiting->stop();
  waiting->hide();
  Forms::unloadTemplateBrowser();
}

void frmMain::Timer2_Timer() {
  Timer2->stop();
  exitMode = "1";
  unload();
}

void frmMain::WorkArea_FlashCall(const QString& request) {
  Busy busy(*this);
  QString name, argument;
  if (ReadRequest(request, name, argument)) doFlashCall(name, argument);
}

// The resources live in the client's static library: make sure they are registered.
static void initResources() {
  static const bool done = [] {
    Q_INIT_RESOURCE(resources);
    return true;
  }();
  Q_UNUSED(done);
}

QByteArray customResource(int id) {
  initResources();
  QFile f(":/CUSTOM/" + QString::number(id));
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool SaveResToFile(int id, const QString& path) {
  if (QFileInfo::exists(path)) return true;  // an existing file is kept and is what gets loaded
  const QByteArray bytes = customResource(id);
  QFile f(path);
  return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

QString EncodeFlashText(QString& text) {
  static const std::pair<const char*, const char*> steps[] = {
      {" ", ""},   {"\r\n", ""}, {"MorvikDesignTool_V3", "RldT"}, {":", "AA"}, {":", "AA"}, {"&", "QQ"},
      {"@", "BB"}, {"#", "gg"},  {"-", "CC"},  {"~", "EE"}, {"_", "ww"},  {"+", ">"},
  };
  for (const auto& [find, by] : steps) text.replace(QLatin1String(find), QLatin1String(by), Qt::CaseSensitive);
  return text;
}

QString getTemplateList() {
  const QString folder = Paths::programFolder();
  if (!Paths::existsAnyCase(folder + "/DownList.Lst")) return QString();
  QString t;
  for (const QString& line : readListFile(folder + "/Design.Lst")) {
    const QStringList f = line.split('/');
    if (f.size() < 2) continue;  // not a design line
    if (f[0] == g.designName) {
      t = f[1];
      break;
    }
  }
  QString result = "<lst><template>" + t + "</template>";
  QString key;
  QStringList kept;
  for (const QString& line : readListFile(folder + "/DownList.Lst")) {
    const QStringList f = line.split('/');
    if (f.size() < 2) continue;
    if (f[0].toLower() == t.toLower()) key = f[1];
    else kept << line;
  }
  for (const QString& entry : kept.join(',').split(',')) {
    if (entry.trimmed().isEmpty()) continue;
    const QStringList f = entry.split('/');
    if (f.size() >= 2 && f[1] == key) result += "<template>" + f[0] + "</template>";
  }
  return result + "</lst>";
}
