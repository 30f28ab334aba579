#include "Upit.h"

#include "PictureBox.h"
#include "Platform.h"
#include "Twips.h"
#include "VbMath.h"
#include "orderRequest.h"
#include "upload.h"

#include <QLabel>
#include <QPainter>
#include <QPointer>
#include <QPushButton>
#include <algorithm>

namespace {
const QString kTitle = QStringLiteral("工程1");
constexpr int kBarWidth = 4200;  // the progress frame's width in twips

QString num(qint64 n) { return QString::number(n); }

QLabel* label(QWidget* parent, const QString& text, int left, int top, int width, int height) {
  auto* l = new QLabel(text, parent);
  l->setGeometry(Twips::toPixels(left, top, width, height));
  return l;
}

PictureBox* image(QWidget* parent, const QString& file, const QString& tip) {
  auto* p = new PictureBox(":/upload/" + file, parent);
  p->setToolTip(tip);
  return p;
}
}  // namespace

Upit::Upit(QWidget* parent) : QWidget(parent), orderCancel_(new OrderCancel(this)) {
  resize(Twips::toPixelsX(kWidth), Twips::toPixelsY(kHeight));
  QFont f = font();
  f.setPixelSize(12);
  setFont(f);

  Label13 = label(this, QString(), 120, 60, 3135, 255);
  Label12 = label(this, QStringLiteral("0分0秒"), 2520, 65, 2625, 195);
  Label12->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  Picture1 = new QWidget(this);
  Picture1->setGeometry(Twips::toPixels(120, 300, kBarWidth, 150));
  Picture1->setAttribute(Qt::WA_StyledBackground);
  Picture1->setStyleSheet("background: #e6ebf2; border: 1px solid #a9b8cc;");
  Picture2 = new QWidget(this);
  Picture2->setAttribute(Qt::WA_StyledBackground);
  Picture2->setStyleSheet("background: #3a78c9;");
  Label7 = label(this, QStringLiteral("速度:"), 120, 480, 555, 195);
  Label9 = label(this, QStringLiteral("0.00KB/秒"), 600, 480, 1065, 195);
  Label14 = label(this, QStringLiteral("(0/0)"), 1920, 480, 2415, 255);
  // Beyond the row's height: present, never seen.
  Label10 = label(this, QStringLiteral("0分0秒"), 120, 1200, 1065, 195);

  // One spot for three images; the later one lies above and takes the click.
  const QRect spot = Twips::toPixels(4400, 230, 315, 315);
  Image2 = image(this, "pause.png", QStringLiteral("暂停上传"));
  Image3 = image(this, "start.png", QStringLiteral("开始上传"));
  Image5 = image(this, "reupload.png", QStringLiteral("重新上传该任务"));
  for (PictureBox* p : {Image2, Image3, Image5}) p->setGeometry(spot);
  Image3->hide();
  Image4 = image(this, "remove.png", QStringLiteral("从任务列表中清除该任务"));
  Image4->setGeometry(Twips::toPixels(4800, 230, 315, 315));

  Command1 = new QPushButton(QStringLiteral("x"), this);
  Command1->setGeometry(Twips::toPixels(2880, 999, 200, 200));
  Command2 = new QPushButton(QStringLiteral("退出"), this);
  Command2->setGeometry(Twips::toPixels(3120, 2760, 1245, 525));
  setFillWidthTwips(kBarWidth);

  Timer1.setInterval(1000);
  Timer5.setInterval(4000);
  connect(&Timer1, &QTimer::timeout, this, &Upit::Timer1_Timer);
  connect(&Timer5, &QTimer::timeout, this, &Upit::Timer5_Timer);
  connect(Image2, &PictureBox::Click, this, &Upit::Image2_Click);
  connect(Image3, &PictureBox::Click, this, &Upit::Image3_Click);
  connect(Image4, &PictureBox::Click, this, &Upit::Image4_Click);
  connect(Image5, &PictureBox::Click, this, &Upit::Image5_Click);
  connect(Command1, &QPushButton::clicked, this, &Upit::Command1_Click);
  connect(Command2, &QPushButton::clicked, this, &Upit::Command2_Click);

  connect(&ftp, &FtpEngine::statusChanged, this, &Upit::setStatus);
  connect(&ftp, &FtpEngine::progressDisplay, this, [this](bool on) { on ? Timer1.start() : Timer1.stop(); });
  connect(&ftp, &FtpEngine::sendProgress, this, &Upit::wsData_SendProgress);
  connect(&ftp, &FtpEngine::allSent, this, &Upit::allSent);
  connect(&ftp, &FtpEngine::allSentWithdrawn, this, [this] {
    // No longer recorded as sent: a restart resumes the task instead of reporting it.
    Image5->hide();
    if (ff) ff->reup(selfid);
  });
  connect(&ftp, &FtpEngine::completionDue, this, [this] { Timer5.start(); });
  connect(&ftp, &FtpEngine::startImageShown, Image3, &QWidget::setVisible);
  connect(&ftp, &FtpEngine::attemptBegan, this, [this] {
    Label13->setText(dname);
    setFillWidthTwips(1);
    Image5->hide();
  });
}

Upit::~Upit() = default;

void Upit::setTopTwips(int top) {
  top_ = top;
  move(Twips::toPixelsX(left_), Twips::toPixelsY(top_));
}

void Upit::setLeftTwips(int left) {
  left_ = left;
  move(Twips::toPixelsX(left_), Twips::toPixelsY(top_));
}

void Upit::setFillWidthTwips(int width) {
  fillWidth_ = width;
  Picture2->setGeometry(Twips::toPixels(120, 300, std::max(width, 0), 165));
}

void Upit::paintEvent(QPaintEvent*) {
  static const QPixmap background(":/upload/row.png");
  QPainter(this).drawPixmap(rect(), background);
}

void Upit::setStatus(const QString& text) {
  Label12->setText(text);
  upsta = text;
}

void Upit::up() { ftp.up(); }

void Upit::noup() {
  Image3->show();
  setFillWidthTwips(1);
  Image5->hide();
  Label13->setText(dname);
  setStatus(QStringLiteral("未完成的上传任务"));
}

void Upit::uped(bool real) {
  setStatus(real ? QStringLiteral("上传成功!") : QStringLiteral("文件解析失败!"));
  Label13->setText(dname);
}

void Upit::wsData_SendProgress(qint64, qint64 bytesRemaining) {
  remainingKB = qint32(VbMath::intDiv(bytesRemaining, 1024));
  // Before the first bytes leave, the rest of a package whose length is a multiple of 1 KB is
  // one KB more than the whole counted as total: never show less than nothing sent.
  ftp.sentKB = std::max<qint64>(0, ftp.totalKB - remainingKB);
  Label14->setText("(" + num(ftp.sentKB) + "KB/" + num(ftp.totalKB) + "KB)");
  Label14->repaint();
  long long percent;
  if (ftp.totalKB > 0)
    percent = VbMath::roundEven(VbMath::intDiv(ftp.sentKB * 1000, ftp.totalKB) / 10.0);
  else  // a package of 1 KB or less: empty until it is all sent, then full
    percent = bytesRemaining == 0 ? 100 : 0;
  setFillWidthTwips(int(kBarWidth * percent / 100));
}

void Upit::Timer1_Timer() {
  ++elapsedSecs;
  const long long speed = VbMath::intDiv(ftp.sentKB - ftp.remoteSize, elapsedSecs);
  // While an attempt is still logging on, sentKB and remoteSize are not yet figures of the
  // transfer and give a negative speed: show no speed and no remaining time then.
  speedKB = qint32(std::max<long long>(speed, 0));
  Label9->setText(num(speedKB) + QStringLiteral("KB/秒"));
  const int m = elapsedSecs / 60;
  Label10->setText(num(m) + QStringLiteral("分") + num(elapsedSecs - 60 * m) + QStringLiteral("秒"));
  const long long r = speed < 0 ? 0 : VbMath::roundEven(double(remainingKB) / (speedKB + 1));
  setStatus(num(r / 60) + QStringLiteral("分") + num(r % 60) + QStringLiteral("秒"));
}

void Upit::allSent() {
  Image2->hide();
  Image3->hide();
  if (ff) ff->uped(selfid);
  Image5->show();
  elapsedSecs = 0;
}

void Upit::Timer5_Timer() {
  Timer5.stop();
  QPointer<Upit> self(this);
  const QString reply =
      postOrder(UpLoadSvr, orderBody("Uploaded", {{"dNO", ftp.wDNO}}), orderTimeoutMs, orderCancel_);
  if (!self) return;  // removed while the order was under way
  if (readOrderReply(reply).accepted()) {
    setStatus(QStringLiteral("上传成功!"));
    if (ff) ff->real(selfid);
  }
}

void Upit::pauseOrResume() {
  if (ftp.dataConnected()) {
    ftp.pause();
  } else if (ftp.bothClosed()) {
    Timer1.start();
    Image3->hide();
    ftp.cancelRetry();
    setStatus(QStringLiteral("链接服务器..."));
    up();
  }
}

void Upit::Image2_Click() { pauseOrResume(); }
void Upit::Image3_Click() { pauseOrResume(); }

void Upit::Image4_Click() {
  if (!upsta.contains(QStringLiteral("上传成功")) &&
      platform().msgBox->show(window(), QStringLiteral("该作品还没有上传成功，您确定要删除该作品吗？"), kTitle,
                              Msg::OKCancel) == Msg::Cancel)
    return;
  Command1->setEnabled(false);
  if (ff) ff->deluc(selfid);
}

void Upit::Image5_Click() {
  if (Label12->text() == QStringLiteral("文件解析失败!")) {
    setStatus(QStringLiteral("即将完成,请稍候..."));
    Timer5.start();
    return;
  }
  if (ff) ff->reup(selfid);
  setStatus(QStringLiteral("链接服务器..."));
  up();
}

void Upit::Command1_Click() {
  Command1->setEnabled(false);
  if (ff) ff->deluc(selfid);
}

void Upit::Command2_Click() {
  if (platform().msgBox->show(window(), QStringLiteral("作品还没有上传完成，您确定要中止上传吗？"),
                              QStringLiteral("上传订单"), Msg::OKCancel) == Msg::Cancel)
    return;
  ftp.closeAll();
  Timer1.stop();
  platform().process->exitProgram(0);
}
