#include "Form1.h"

#include "Artwork.h"
#include "Module1.h"
#include "Paths.h"
#include "Platform.h"
#include "ReplaceFile.h"
#include "SingleInstance.h"
#include "TitleDrag.h"
#include "Twips.h"
#include "VbMath.h"
#include "Winsock.h"
#include "releaseList.h"

#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QTimer>

#include <sys/stat.h>

#include <algorithm>
#include <limits>

namespace {

// The window's client area and its controls' places, in twips.
constexpr int kWidth = 6975;
constexpr int kHeight = 1830;
constexpr int kBarWidth = 6500;
const QColor kGreen(0, 192, 0);

// The staging folder beside the program's files. The updater's own executable is named
// "Novrel" in that same folder, so the folder cannot bear that name alone.
const QString kStagingFolder = QStringLiteral("Novrel.staging");

// Line feeds and blanks are part of these messages.
QString framed(const char* words) {
  return "\n\n" + QString(12, ' ') + QString::fromUtf8(words) + QString(11, ' ') + "\n\n";
}

QLabel* label(QWidget* parent, int left, int top, int width, int height, const QString& text = QString()) {
  auto* l = new QLabel(text, parent);
  l->setGeometry(Twips::toPixels(left, top, width, height));
  // Fixed: a new text then asks nothing of the window's layout.
  l->setFixedSize(l->size());
  l->setFont(Artwork::textFont());
  return l;
}

// The label is redrawn in the event loop's next pass, which follows the data event at once; the
// next request is on its way by then.
void setLabel(QLabel* l, const QString& text) {
  if (l->text() != text) l->setText(text);
}

// Puts a downloaded file in place of its destination by one rename, so that a kill at any
// moment leaves the old file or the new one. It takes the permission bits of the file it
// replaces; a new file gets rw-r--r--.
bool putInPlace(const QString& staged, const QString& destination) {
  mode_t mode = 0644;
  struct stat old {};
  if (::stat(QFile::encodeName(destination).constData(), &old) == 0) {
    if (!S_ISREG(old.st_mode)) return false;
    mode = old.st_mode & 0777;
  }
  // On disk before it replaces the old file; a sync the disk refuses still leaves the rename to
  // decide, so one file's error does not hold back the rest of the release.
  syncFile(staged);
  return ::chmod(QFile::encodeName(staged).constData(), mode) == 0 && replaceFile(staged, destination);
}

// Whoever may read a program may run it.
void makeExecutable(const QString& program) {
  const QByteArray path = QFile::encodeName(program);
  struct stat st {};
  if (::stat(path.constData(), &st) != 0 || !S_ISREG(st.st_mode)) return;
  const mode_t mode = st.st_mode & 0777;
  const mode_t run = ((mode & 0444) >> 2) | S_IXUSR;
  if ((mode | run) != mode) ::chmod(path.constData(), mode | run);
}

}  // namespace

// ---------------------------------------------------------------------------------------------

PictureBox::PictureBox(QWidget* parent, int left, int top, int width, int height, const QColor& back, bool framed)
    : QWidget(parent), left_(left), top_(top), height_(height), width_(width), back_(back), framed_(framed) {
  setTwipsWidth(width);
}

void PictureBox::setTwipsWidth(double width) {
  width_ = width;
  // An empty bar is one of width 0, which draws nothing.
  const QRect r = Twips::toPixels(left_, top_, 0, height_);
  setGeometry(r.x(), r.y(), Twips::toPixelsX(std::max(width, 0.0)), r.height());
}

void PictureBox::paintEvent(QPaintEvent*) {
  QPainter g(this);
  g.fillRect(rect(), back_);
  if (framed_) {
    g.setPen(palette().color(QPalette::Mid));
    g.drawRect(rect().adjusted(0, 0, -1, -1));
  }
}

// ---------------------------------------------------------------------------------------------

ImageBox::ImageBox(QWidget* parent, const QRect& geometry, Draw draw) : QWidget(parent), draw_(draw) {
  setGeometry(geometry);
}

const QPixmap& ImageBox::picture() {
  if (picture_.isNull() || picture_.deviceIndependentSize() != QSizeF(size())) picture_ = draw_(size());
  return picture_;
}

void ImageBox::paintEvent(QPaintEvent*) {
  QPainter g(this);
  g.drawPixmap(0, 0, picture());
}

// ---------------------------------------------------------------------------------------------

namespace Form1Display {

QString fileLine(const QString& name, int fileKB, int index, int count) {
  return name + "  " + QString::number(fileKB) + "KB..." + "   (" + QString::number(index) + "/" +
         QString::number(count) + ")";
}

std::optional<double> barWidth(qint64 part, qint64 whole, double fullWidth) {
  if (whole == 0) return std::nullopt;
  return VbMath::roundTo(double(part) / double(whole), 4) * fullWidth;
}

std::optional<int> downSpeed(qint64 recvLen, double seconds) {
  const double secs = VbMath::roundTo(seconds, 4);
  if (secs == 0) return std::nullopt;
  const double kb = VbMath::roundTo(double(recvLen) / 1024.0, 2);
  const double speed = VbMath::roundTo(kb / secs, 2);
  if (speed >= std::numeric_limits<int>::max()) return std::numeric_limits<int>::max();
  return int(VbMath::roundEven(speed));
}

int leftTime(int fileKB, qint64 recvLen, int downSpeed) {
  return int(VbMath::roundEven((double(fileKB) - double(recvLen) / 1024.0) / double(downSpeed)));
}

}  // namespace Form1Display

// ---------------------------------------------------------------------------------------------

Form1::Form1(QWidget* parent) : Form(parent) {
  setWindowFlags(Qt::Window | Qt::FramelessWindowHint);
  setClientSizeTwips(kWidth, kHeight);
  setFixedSize(size());

  // The pictures are drawn when the window is first painted.
  new ImageBox(this, rect(), &Artwork::background);
  Image2 = new ImageBox(this, Twips::toPixels(0, 0, kWidth, 480), &Artwork::titlePicture);
  new TitleDrag(Image2);
  Image1 = new ImageBox(this, Twips::toPixels(5550, 1250, 1230, 435), &Artwork::closePicture);
  Image1->setCursor(Qt::PointingHandCursor);
  Image1->installEventFilter(this);

  const QColor window = palette().color(QPalette::Base);
  Picture4 = new PictureBox(this, 240, 600, kBarWidth, 200, window, true);
  Picture2 = new PictureBox(this, 240, 600, kBarWidth, 200, kGreen, false);
  Picture1 = new PictureBox(this, 240, 840, kBarWidth, 200, window, true);
  Picture3 = new PictureBox(this, 240, 840, kBarWidth, 200, kGreen, false);

  L2 = label(this, 240, 1080, 3255, 255);
  Label7 = label(this, 240, 1440, 915, 195, QString::fromUtf8("下载速度："));
  labDownloadSpeed = label(this, 1200, 1455, 945, 195, QString::fromUtf8("0.00KB/秒"));
  L56 = label(this, 2520, 1440, 1575, 255);

  // However many data events arrive, the window is redrawn at most once a frame.
  frame_ = new QTimer(this);
  frame_->setSingleShot(true);
  frame_->setInterval(16);
  // At the end of the frame everything changed meanwhile is drawn at once, before the next data
  // event can hold the drawing again.
  connect(frame_, &QTimer::timeout, this, [this] {
    setUpdatesEnabled(true);
    repaint();
  });

  Winsck = new Winsock(this);
  connect(Winsck, &Winsock::DataArrival, this, &Form1::Winsck_DataArrival);
  connect(Winsck, &Winsock::StateChanged, this, &Form1::onSocketState);
}

Form1::~Form1() = default;

void Form1::Form_Load() {
  // One updater at a time: a second one ends before anything is shown or read.
  if (SingleInstance::previousInstance("Novrel")) {
    endUpdater();
    return;
  }
  Module1::initUpdater(*this);
  startUpdate();
  if (!ended_) centreOnScreen();
}

void Form1::startUpdate() {
  fileIndex = 0;
  const QString program = Paths::programFolder();
  QFile list(Paths::resolveCase(Paths::join(program, releaseList::localFile)));
  if (!list.open(QIODevice::ReadOnly)) {
    damagedList();
    return;
  }
  // The whole list is checked before anything is fetched or made.
  // One byte more than a list may have tells a longer one; no room is taken for more than is there.
  verDoc = VersionFile::read(list.read(std::min<qint64>(list.size(), releaseList::maxBytes) + 1));
  list.close();
  if (!verDoc.ok) {
    damagedList();
    return;
  }
  Picture3->setTwipsWidth(0);
  fileCount = int(verDoc.files.size());

  // One level at a time; a folder that is there already is used as it is.
  stageDir = program;
  for (const QString& level : {kStagingFolder, verDoc.version}) {
    const QString next = Paths::resolveCase(Paths::join(stageDir, level));
    if (!QFileInfo::exists(next)) QDir().mkdir(next);
    stageDir = next;
  }
  if (!QFileInfo(stageDir).isDir()) {
    serverMaintenance();
    return;
  }
  downFile(getListItem(0, "furl"), Paths::join(stageDir, getListItem(0, "fname")));
}

QString Form1::getListItem(int index, const QString& key) const {
  if (key == QLatin1String("run")) {
    if (index < 0 || index >= verDoc.runs.size()) return QStringLiteral("out");
    return Paths::join(Paths::programFolder(), VersionFile::nativeRelative(verDoc.runs[index]));
  }
  if (index < 0 || index >= verDoc.files.size()) return {};
  const VersionFile::FileEntry& f = verDoc.files[index];
  if (key == QLatin1String("fname")) return f.name;
  if (key == QLatin1String("furl")) return Module1::updateUrl + f.name;
  if (key == QLatin1String("size")) return f.size;
  if (key == QLatin1String("lurl")) return f.lurl;
  return {};
}

void Form1::downFile(const QString& address, const QString& localPath) {
  reply.localFile = localPath;
  // A reply longer than the listed size is refused before it is written.
  const qint64 listed = fileIndex < verDoc.files.size() ? verDoc.files[fileIndex].listedSize : 0;
  awaiting_ = false;
  const QPointer<Form1> self(this);
  const socketGet::Result sent = socketGet::request(*Winsck, address, reply, listed, Module1::connectLimit);
  if (!self || ended_) return;
  if (sent == socketGet::Result::Sent) {
    awaiting_ = true;
    return;
  }
  disconnected();
}

void Form1::Winsck_DataArrival(qint64 bytesTotal) {
  Q_UNUSED(bytesTotal);
  if (ended_) return;
  const QByteArray body = socketGet::readReply(*Winsck, reply);
  if (reply.status == socketGet::Status::Failed) {
    // No length, or one above the listed size: this file cannot come out right.
    serverMaintenance();
    return;
  }
  if (reply.status == socketGet::Status::AwaitingHead) return;
  holdDrawing();
  if (reply.isHead)
    setLabel(L2, Form1Display::fileLine(getListItem(fileIndex, "fname"), reply.fileKB, fileIndex, fileCount));

  if (const auto w = Form1Display::barWidth(reply.recvLen, reply.contentLen, Picture1->twipsWidth()))
    Picture2->setTwipsWidth(*w);
  if (const auto speed = Form1Display::downSpeed(reply.recvLen, socketGet::clockSeconds() - reply.startTime))
    downSpeed = *speed;
  if (downSpeed != 0) {
    leftTime = Form1Display::leftTime(reply.fileKB, reply.recvLen, downSpeed);
    setLabel(L56, QString::fromUtf8("剩余时间：") + QString::number(leftTime));
  }
  setLabel(labDownloadSpeed, QString::number(downSpeed) + " kb/s");

  socketGet::writeBody(reply, body);
  if (reply.status == socketGet::Status::Failed) {
    serverMaintenance();
    return;
  }
  if (reply.status != socketGet::Status::Complete) return;

  awaiting_ = false;
  ++fileIndex;
  reply.recvLen = 0;
  if (fileIndex < fileCount) {
    Picture2->setTwipsWidth(0);
    Picture3->setTwipsWidth(double(fileIndex) / double(fileCount) * Picture4->twipsWidth());
    downFile(getListItem(fileIndex, "furl"), Paths::join(stageDir, getListItem(fileIndex, "fname")));
    return;
  }
  const QPointer<Form1> self(this);
  Q_EMIT downloaded();
  if (self && !ended_) install();
}

void Form1::install() {
  // Every length first: a release that did not arrive whole installs nothing.
  for (const VersionFile::FileEntry& f : verDoc.files) {
    const QFileInfo staged(Paths::join(stageDir, f.name));
    if (!staged.isFile() || staged.size() != f.listedSize) {
      serverMaintenance();
      return;
    }
  }
  // A file whose destination folder is missing, or cannot be replaced, stays in the staging folder.
  const QString program = Paths::programFolder();
  for (const VersionFile::FileEntry& f : verDoc.files) {
    const QString folder = Paths::join(program, VersionFile::nativeRelative(f.lurl));
    putInPlace(Paths::join(stageDir, f.name), Paths::resolveCase(Paths::join(folder, f.name)));
  }
  runStartList();
}

void Form1::runStartList() {
  hideForm();
  int counter = 0;
  QString current = getListItem(counter, "run");
  while (current != QLatin1String("out")) {
    const QString program = Paths::resolveCase(current);
    makeExecutable(program);
    // The program itself, with no shell and no arguments.
    runPid = platform().process->startDetached(program, {});
    current = getListItem(++counter, "run");
    // One that could not be started is not waited for; the last one started is not either.
    if (runPid == 0 || current == QLatin1String("out")) continue;
    if (!waitForEnd(runPid)) return;
  }
  endUpdater();
}

// Looks every 100 ms until the process has gone; false when the program ends meanwhile.
bool Form1::waitForEnd(qint64 pid) {
  QPointer<Form1> self(this);
  QEventLoop loop;
  QTimer poll;
  bool gone = false;
  connect(&poll, &QTimer::timeout, &loop, [&] {
    if (!Module1::getProcessName(pid).isEmpty()) return;
    gone = true;
    loop.quit();
  });
  poll.start(100);
  loop.exec();
  return self && !ended_ && gone;
}

void Form1::onSocketState(int state) {
  // The server closed or lost the connection while a file was still owed: it will not come now.
  if (!awaiting_ || ended_) return;
  if (state != Winsock::sckClosing && state != Winsock::sckError) return;
  awaiting_ = false;
  // Not inside the socket's own signal.
  QTimer::singleShot(0, this, [this] {
    if (!ended_) disconnected();
  });
}

void Form1::holdDrawing() {
  if (frame_->isActive()) return;
  setUpdatesEnabled(false);
  frame_->start();
}

void Form1::showEvent(QShowEvent* e) {
  Form::showEvent(e);
  // The first drawing waits for the end of the frame like every later one, so the first reply
  // is not held up by it (nor by loading the fonts it needs).
  holdDrawing();
}

// The file of a reply that will not be completed is closed with what it holds.
void Form1::giveUpReply() {
  awaiting_ = false;
  Winsck->Close();
  socketGet::closeFile(reply);
}

void Form1::showMessage(const QString& text, const QString& title) {
  // The window as it stands is drawn, and the box too.
  frame_->stop();
  setUpdatesEnabled(true);
  platform().msgBox->show(isVisible() ? this : nullptr, text, title, Msg::OKOnly);
}

void Form1::damagedList() {
  showMessage(framed("更新列表已损坏!"), QString::fromUtf8("更新"));
  endUpdater();
}

void Form1::serverMaintenance() {
  giveUpReply();
  showMessage(framed("自动更新服务器维护中请稍后再试!"), QString::fromUtf8("更新"));
  endUpdater();
}

// The window stays open with its progress as it was; the user can only close it.
void Form1::disconnected() {
  giveUpReply();
  showMessage(QString::fromUtf8("已从互联网断开稍后再试！"), QString::fromUtf8("程序更新"));
}

void Form1::Image1_Click() { endUpdater(); }

void Form1::endUpdater() {
  if (ended_) return;
  ended_ = true;
  giveUpReply();
  platform().process->exitProgram(0);
}

bool Form1::eventFilter(QObject* watched, QEvent* event) {
  if (watched == Image1 && event->type() == QEvent::MouseButtonRelease) {
    auto* m = static_cast<QMouseEvent*>(event);
    if (m->button() == Qt::LeftButton && Image1->rect().contains(m->position().toPoint())) Image1_Click();
    return true;
  }
  return Form::eventFilter(watched, event);
}
