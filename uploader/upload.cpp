#include "upload.h"

#include "Module1.h"
#include "Module2.h"
#include "Paths.h"
#include "PictureBox.h"
#include "Platform.h"
#include "SingleInstance.h"
#include "TitleDrag.h"
#include "Twips.h"
#include "Upit.h"
#include "VbMath.h"
#include "upHandover.h"

#include <QEvent>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QIcon>
#include <QPainter>
#include <QScreen>
#include <QScrollBar>

static void initArtwork() { Q_INIT_RESOURCE(upload); }

qint32 measureTaskbarHeight(int screenHeightPx, int workAreaBottomPx, double twipsPerPixelY) {
  return qint32(VbMath::roundEven((screenHeightPx - workAreaBottomPx) * twipsPerPixelY));
}

QPoint cornerTwips(int screenWidthPx, int screenHeightPx, qint32 taskbarHeight, double twipsPerPixelX,
                   double twipsPerPixelY, int windowWidth, int windowHeight) {
  const double screenWidth = screenWidthPx * twipsPerPixelX;
  const double screenHeight = screenHeightPx * twipsPerPixelY;
  return QPoint(int(VbMath::roundEven(screenWidth - windowWidth)),
                int(VbMath::roundEven(screenHeight - windowHeight - taskbarHeight)));
}

namespace {
const QString kListName = QStringLiteral("set.xml");
}

upload::upload(QWidget* parent) : Form(parent) {
  initArtwork();
  setWindowTitle(QStringLiteral("upload"));
  QIcon icon;
  icon.addFile(":/upload/icon16.png");
  icon.addFile(":/upload/icon32.png");
  setWindowIcon(icon);
  setClientSizeTwips(kWidth, kHeight);

  // Back to front: the panel slides under the title and bottom images, the two buttons lie on
  // the bottom image.
  f1 = new QWidget(this);
  f1->setAutoFillBackground(true);
  QPalette pal = f1->palette();
  pal.setColor(QPalette::Window, pal.color(QPalette::Base));
  f1->setPalette(pal);
  setPanel(kPanelTop, panelHeight_);
  Picture2 = new PictureBox(":/upload/bottom.png", this);
  Picture2->setGeometry(Twips::toPixels(0, 3910, 5550, 810));
  VScroll1 = new QScrollBar(Qt::Vertical, this);
  VScroll1->setGeometry(Twips::toPixels(5280, 480, 255, 3375));
  VScroll1->setRange(0, 0);
  VScroll1->setSingleStep(1);
  VScroll1->setPageStep(1);
  VScroll1->setFocusPolicy(Qt::StrongFocus);
  Picture1 = new PictureBox(":/upload/title.png", this);
  Picture1->setGeometry(Twips::toPixels(0, 0, 5550, 480));
  Picture3 = new PictureBox(":/upload/close.png", this);
  Picture3->setGeometry(Twips::toPixels(4200, 4090, 1230, 435));
  Picture4 = new PictureBox(":/upload/minimise.png", this);
  Picture4->setGeometry(Twips::toPixels(2880, 4090, 1230, 435));

  connect(VScroll1, &QScrollBar::valueChanged, this, &upload::VScroll1_Change);
  connect(Picture3, &PictureBox::Click, this, &upload::Picture3_Click);
  connect(Picture4, &PictureBox::Click, this, &upload::Picture4_Click);
  VScroll1->installEventFilter(this);
  new TitleDrag(Picture1);

  Timer1.setInterval(1000);
  connect(&Timer1, &QTimer::timeout, this, &upload::Timer1_Timer);
}

upload::~upload() = default;

Upit* upload::Upit1(int index) const { return rows_.value(index, nullptr); }

QString upload::listPath() const { return Paths::resolveCase(Paths::join(Paths::programFolder(), kListName)); }

void upload::setPanel(int top, int height) {
  panelTop_ = top;
  panelHeight_ = height;
  f1->setGeometry(Twips::toPixels(60, top, 5200, height));
}

void upload::paintEvent(QPaintEvent*) {
  static const QPixmap background(":/upload/background.png");
  QPainter(this).drawPixmap(Twips::toPixels(0, 0, 5550, 4650), background);
}

void upload::placeAtCorner() {
  QScreen* s = QGuiApplication::primaryScreen();
  if (!s) return;
  const QRect screen = s->geometry();
  const QPoint at = cornerTwips(screen.width(), screen.height(), taskbarHeight, Twips::perPixelX(),
                                Twips::perPixelY(), kWidth, kHeight);
  move(screen.x() + Twips::toPixelsX(at.x()), screen.y() + Twips::toPixelsY(at.y()));
}

void upload::Form_Load() {
  // Always on top and placed by the program. The tray replaces the taskbar button; without a
  // tray the window keeps its button, so that a minimised window can be brought back.
  trayAvailable_ = platform().tray->isAvailable();
  setWindowFlags(Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint | (trayAvailable_ ? Qt::Tool : Qt::Window));
  if (QScreen* s = QGuiApplication::primaryScreen()) {
    const QRect work = s->availableGeometry();
    const QRect screen = s->geometry();
    taskbarHeight = measureTaskbarHeight(screen.height(), work.y() + work.height() - screen.y(), Twips::perPixelY());
  }
  placeAtCorner();

  if (SingleInstance::previousInstance(QStringLiteral("upload"))) {
    platform().process->exitProgram(0);
    return;
  }
  Module1::initConst();
  rowsLoaded = 0;
  rowsDeleted = 0;
  Module2::addTray(*this);
  Module2::setTrayTip(Module1::upTitle);
  restoreList();
  Timer1.start();
}

void upload::Form_Unload(int&) { Module2::delTray(); }

void upload::Form_Resize() {
  if (isMinimized() && trayAvailable_) hide();
}

void upload::changeEvent(QEvent* e) {
  Form::changeEvent(e);
  if (e->type() == QEvent::WindowStateChange && isLoaded()) Form_Resize();
}

// With a tray the window goes there at once: a minimise request that the window manager answers
// later would come back after the window has been shown again and hide it once more.
void upload::Picture4_Click() {
  if (trayAvailable_) hide();
  else showMinimized();
}

void upload::trayLeftButtonUp() {
  setWindowState(windowState() & ~Qt::WindowMinimized);
  show();
  placeAtCorner();
}

void upload::Picture3_Click() {
  int unfinished = 0;
  for (Upit* row : std::as_const(rows_))
    if (!row->upsta.contains(QStringLiteral("上传成功"))) ++unfinished;
  if (unfinished > 0 &&
      platform().msgBox->show(this, QStringLiteral("作品还没有上传完成，您确定要中止上传吗？"),
                              QStringLiteral("上传订单"), Msg::OKCancel) != Msg::OK)
    return;
  Module2::delTray();
  platform().process->exitProgram(0);
}

void upload::VScroll1_Change() { setPanel(kPanelTop - Upit::kHeight * VScroll1->value(), panelHeight_); }

bool upload::eventFilter(QObject* watched, QEvent* e) {
  if (watched == VScroll1 && e->type() == QEvent::FocusIn) Picture4->setFocus();
  return Form::eventFilter(watched, e);
}

// ---- the task list

void upload::restoreList() {
  listDoc.clear();
  const QString path = listPath();
  if (QFileInfo(path).isFile()) {
    TaskListRead read;
    QFile file(path);
    if (file.open(QIODevice::ReadOnly)) {
      const QByteArray bytes = file.read(kMaxTaskListChars + 1);
      if (bytes.size() <= kMaxTaskListChars) read = readTaskList(QString::fromUtf8(bytes));
    }
    file.close();
    if (read.parsed) {
      listDoc = read.items;
    } else {
      // Kept aside, never over an earlier one, so the next save does not destroy what it held.
      QString aside = path + ".bad";
      for (int n = 2; QFileInfo::exists(aside) && n < 10000; ++n) aside = path + ".bad." + QString::number(n);
      QFile::rename(path, aside);
    }
  }
  const QList<taskItem> items = listDoc;
  for (const taskItem& item : items) {
    const RestoredTask t = restoredTask(item);
    addTask(t.dNO, t.wDNO, true, t.uped, t.real);
  }
}

// A failed save changes nothing and the uploader goes on; the next save writes the whole list.
bool upload::saveList() { return saveTaskList(listPath(), listDoc); }

int upload::findItem(int id) const {
  const Upit* row = Upit1(id);
  if (!row) return -1;
  for (int i = 0; i < listDoc.size(); ++i)
    if (listDoc[i].value("wdno") == row->ftp.wDNO) return i;
  return -1;
}

void upload::addTask(const QString& dNO, const QString& wDNO, bool fromList, bool uped, bool real) {
  if (!fromList) {
    listDoc.append(newTaskItem(dNO, wDNO));
    saveList();
  }
  ++rowsLoaded;
  auto* row = new Upit(f1);
  row->hide();
  row->setTopTwips(Upit::kHeight * (presentRows() - 1));
  row->show();
  row->setLeftTwips(1);

  row->ftp.dNO = dNO;
  row->ftp.wDNO = wDNO;
  row->UpLoadSvr = Module1::upServerURL;
  row->ftp.FtpServer = Module1::ftpHostName;
  row->ftp.FtpPort = Module1::ftpPortNo;
  row->ftp.User = Module1::ftpUserName;
  row->ftp.Pwd = Module1::ftpPassword;
  row->ftp.rec = 0;
  row->ftp.lporta = rowsLoaded * 200;
  row->ftp.lportb = rowsLoaded * 200 + 100;
  row->selfid = rowsLoaded;
  row->dname = row->ftp.dNO;
  row->ff = this;
  rows_.insert(rowsLoaded, row);

  if (presentRows() > kVisibleRows) VScroll1->setMaximum(VScroll1->maximum() + 1);
  setPanel(panelTop_, panelHeight_ + Upit::kHeight);

  if (uped) row->uped(real);
  else if (fromList) row->noup();
  else row->up();
}

void upload::uped(int id) {
  const int i = findItem(id);
  if (i < 0) return;
  listDoc[i].set("uped", "True");
  saveList();
}

void upload::real(int id) {
  const int i = findItem(id);
  if (i < 0) return;
  listDoc[i].set("real", "True");
  saveList();
}

void upload::reup(int id) {
  const int i = findItem(id);
  if (i < 0) return;
  listDoc[i].set("uped", "False");
  listDoc[i].set("real", "False");
  saveList();
}

void upload::deluc(int id) {
  Upit* row = Upit1(id);
  if (!row) return;
  const int i = findItem(id);
  if (i >= 0) {
    listDoc.removeAt(i);
    saveList();
  }
  rows_.remove(id);
  row->hide();
  row->Timer1.stop();
  row->Timer5.stop();
  row->ftp.closeAll();
  row->deleteLater();
  ++rowsDeleted;
  if (presentRows() >= kVisibleRows) VScroll1->setMaximum(VScroll1->maximum() - 1);
  for (auto it = rows_.upperBound(id); it != rows_.end(); ++it)
    it.value()->setTopTwips(it.value()->topTwips() - Upit::kHeight);
}

// ---- the hand-over

void upload::Timer1_Timer() {
  ClipboardPort* clipboard = platform().clipboard;
  if (!clipboard->hasText()) return;
  const QString text = clipboard->text();
  const std::optional<upHandover> task = parseHandover(text);
  if (!task) return;
  // Adding a task runs no event loop: no other tick comes before the clipboard is emptied.
  addTask(task->dNO, task->wDNO, false, false, false);
  clipboard->clear();
}
