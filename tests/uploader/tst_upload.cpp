// The uploader's window: placement at the corner, start-up with the tray and the restored list,
// rows added and removed with their tops and the scroll range, the hand-over poll, the list kept
// in "set.xml" through every change and failure, hiding to the tray, dragging, the focus rule,
// the close question, and the single instance.
#include "Module1.h"
#include "Paths.h"
#include "PictureBox.h"
#include "RawServer.h"
#include "SingleInstance.h"
#include "Upit.h"
#include "UploadFixture.h"

#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QMouseEvent>
#include <QProcess>
#include <QPushButton>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

namespace {
void sendMouse(QWidget* w, QEvent::Type type, QPoint local, Qt::MouseButton button, Qt::MouseButtons buttons) {
  QMouseEvent e(type, QPointF(local), QPointF(w->mapToGlobal(local)), button, buttons, Qt::NoModifier);
  QCoreApplication::sendEvent(w, &e);
}
}  // namespace

class TestUpload : public QObject {
  Q_OBJECT
  std::unique_ptr<UploaderRun> run;
  FakePlatform* fake = nullptr;
  upload* w = nullptr;

  QString listFile() const { return run->listFile(); }
  upload& start(const QByteArray& listText = QByteArray()) {
    w = &run->start(listText);
    return *w;
  }
  QList<int> tops() const {
    QList<int> out;
    for (int i = 1; i <= w->rowsLoaded; ++i)
      if (Upit* r = w->Upit1(i)) out << r->topTwips();
    return out;
  }

private Q_SLOTS:
  void initTestCase() { run = std::make_unique<UploaderRun>(); }
  void init() { fake = &run->platform(); }
  void cleanup() { run->finish(); }

  void placement_data();
  void placement();
  void startsWithTrayAndEmptyList();
  void restoresThreeStatesWithoutWriting();
  void removalClosesTheGap();
  void scrollRangeFollowsThePresentRows();
  void handover_data();
  void handover();
  void sameHandoverTwice();
  void corruptListKeptAside();
  void defectiveElementsStayInTheList();
  void failedSaveIsMadeUpLater();
  void closeQuestion_data();
  void closeQuestion();
  void hidesToTrayAndComesBackToTheCorner();
  void minimisesWithoutTray();
  void dragsWithTheLeftButtonOnly();
  void scrollBarPassesTheFocusOn();
  void secondInstanceEndsUntouched();
};

void TestUpload::placement_data() {
  QTest::addColumn<int>("screenWidth");
  QTest::addColumn<int>("screenHeight");
  QTest::addColumn<int>("workAreaBottom");
  QTest::addColumn<double>("twipsPerPixel");
  QTest::addColumn<int>("taskbarHeight");
  QTest::addColumn<int>("left");
  QTest::addColumn<int>("top");
  QTest::newRow("taskbar at the bottom") << 1024 << 768 << 728 << 15.0 << 600 << 9810 << 6195;
  QTest::newRow("taskbar at the right") << 1024 << 768 << 768 << 15.0 << 0 << 9810 << 6795;
  QTest::newRow("120 DPI") << 1280 << 1024 << 994 << 12.0 << 360 << 9810 << 7203;
}

void TestUpload::placement() {
  QFETCH(int, screenWidth);
  QFETCH(int, screenHeight);
  QFETCH(int, workAreaBottom);
  QFETCH(double, twipsPerPixel);
  QFETCH(int, taskbarHeight);
  QFETCH(int, left);
  QFETCH(int, top);
  const qint32 measured = measureTaskbarHeight(screenHeight, workAreaBottom, twipsPerPixel);
  QCOMPARE(measured, taskbarHeight);
  QCOMPARE(cornerTwips(screenWidth, screenHeight, measured, twipsPerPixel, twipsPerPixel, upload::kWidth,
                       upload::kHeight),
           QPoint(left, top));
}

void TestUpload::startsWithTrayAndEmptyList() {
  upload& u = start();
  QCOMPARE(fake->tray.log, QStringList({"add", QString("tip:") + QStringLiteral("Quorvel设计上传程序")}));
  QVERIFY(u.Timer1.isActive());
  QCOMPARE(u.Timer1.interval(), 1000);
  QVERIFY(u.windowFlags() & Qt::FramelessWindowHint);
  QVERIFY(u.windowFlags() & Qt::WindowStaysOnTopHint);
  QCOMPARE(u.windowFlags() & Qt::WindowType_Mask, Qt::Tool);  // no taskbar button beside the tray
  QCOMPARE(u.presentRows(), 0);
  QCOMPARE(u.VScroll1->maximum(), 0);
  QVERIFY(!QFileInfo::exists(listFile()));  // nothing is written until a task arrives
  QVERIFY(fake->process.exits.isEmpty());
  QVERIFY(fake->clipboard.log.isEmpty());
}

void TestUpload::restoresThreeStatesWithoutWriting() {
  const QByteArray text = list({element("Summer", "A1", "False", "False"), element("旅行", "A2", "True", "False"),
                                element("Winter", "A3", "True", "True")});
  writeFile(listFile(), text);
  const QDateTime written = QFileInfo(listFile()).lastModified();
  upload& u = start();
  QCOMPARE(u.presentRows(), 3);
  QCOMPARE(tops(), QList<int>({0, 690, 1380}));
  const QStringList status = {QStringLiteral("未完成的上传任务"), QStringLiteral("文件解析失败!"), QStringLiteral("上传成功!")};
  const QStringList names = {"Summer", QStringLiteral("旅行"), "Winter"};
  for (int i = 1; i <= 3; ++i) {
    Upit* r = u.Upit1(i);
    QCOMPARE(r->upsta, status[i - 1]);
    QCOMPARE(r->Label12->text(), status[i - 1]);
    QCOMPARE(r->Label13->text(), names[i - 1]);
    QCOMPARE(r->ftp.wDNO, "A" + QString::number(i));
    QCOMPARE(r->selfid, i);
    QCOMPARE(r->ftp.lporta, 200 * i);
    QCOMPARE(r->ftp.lportb, 200 * i + 100);
    QCOMPARE(r->ftp.state(), FtpEngine::State::Idle);
  }
  // The unsent one waits for its start image; the sent ones show the re-upload image.
  QVERIFY(!u.Upit1(1)->Image3->isHidden());
  QVERIFY(u.Upit1(1)->Image5->isHidden());
  QVERIFY(!u.Upit1(2)->Image5->isHidden());
  QVERIFY(!u.Upit1(3)->Image5->isHidden());
  QCOMPARE(u.Upit1(1)->UpLoadSvr, QStringLiteral("http://" QUORVEL_SHOP_HOST "/Client/Server.aspx"));
  QCOMPARE(u.Upit1(1)->ftp.User, QStringLiteral(QUORVEL_FTP_USER));
  QCOMPARE(readAll(listFile()), text);
  QCOMPARE(QFileInfo(listFile()).lastModified(), written);
  QCOMPARE(u.panelHeightTwips(), 3400 + 3 * 690);
}

void TestUpload::removalClosesTheGap() {
  upload& u = start(unsentTasks(3));
  u.Upit1(2)->Command1_Click();
  QVERIFY(!u.Upit1(2));
  QCOMPARE(tops(), QList<int>({0, 690}));
  QCOMPARE(ids(listFile()), QStringList({"D1", "D3"}));
  fake->clipboard.setText("upload@@;Next;D4");
  u.Timer1_Timer();
  QCOMPARE(u.rowsLoaded, 4);
  QCOMPARE(u.Upit1(4)->topTwips(), 1380);
  QCOMPARE(ids(listFile()), QStringList({"D1", "D3", "D4"}));
}

void TestUpload::scrollRangeFollowsThePresentRows() {
  upload& u = start(unsentTasks(7));
  QCOMPARE(u.VScroll1->maximum(), 2);
  u.VScroll1->setValue(2);
  QCOMPARE(u.panelTopTwips(), 480 - 1380);
  u.Upit1(1)->Command1_Click();
  QCOMPARE(u.VScroll1->maximum(), 1);
  // The value follows the range down and the panel with it.
  QCOMPARE(u.VScroll1->value(), 1);
  QCOMPARE(u.panelTopTwips(), 480 - 690);
  u.Upit1(2)->Command1_Click();
  QCOMPARE(u.VScroll1->maximum(), 0);
  QCOMPARE(u.panelTopTwips(), 480);
  u.Upit1(3)->Command1_Click();  // five present before: the range stays at 0
  QCOMPARE(u.VScroll1->maximum(), 0);
  QCOMPARE(u.presentRows(), 4);
  QCOMPARE(u.panelHeightTwips(), 3400 + 7 * 690);  // the panel never shrinks
  // Scrolling by whole rows.
  for (int i = 0; i < 4; ++i) {
    fake->clipboard.setText("upload@@;More;M" + QString::number(i));
    u.Timer1_Timer();
  }
  QCOMPARE(u.VScroll1->maximum(), 3);
  u.VScroll1->setValue(3);
  QCOMPARE(u.panelTopTwips(), -1590);
}

void TestUpload::handover_data() {
  QTest::addColumn<QString>("text");
  QTest::addColumn<bool>("taken");
  QTest::newRow("a task") << "upload@@;Summer;A123" << true;
  QTest::newRow("fourth field") << "upload@@;Summer;A123;x" << true;
  QTest::newRow("two fields") << "upload@@;Summer" << false;
  QTest::newRow("marker alone") << "upload@@" << false;
  QTest::newRow("marker letter case") << "Upload@@;Summer;A123" << false;
  QTest::newRow("name leaving MyDesign") << "upload@@;..;A123" << false;
  QTest::newRow("id carrying a command") << "upload@@;Summer;A1\r\nDELE B" << false;
  QTest::newRow("empty") << "" << false;
}

void TestUpload::handover() {
  QFETCH(QString, text);
  QFETCH(bool, taken);
  upload& u = start();
  fake->clipboard.setText(text);
  fake->clipboard.log.clear();
  for (int tick = 0; tick < 3; ++tick) u.Timer1_Timer();
  QCOMPARE(u.presentRows(), taken ? 1 : 0);
  QCOMPARE(fake->clipboard.log, taken ? QStringList{"clear"} : QStringList());
  QCOMPARE(fake->clipboard.content, taken ? QString() : text);
  if (!taken) {
    QVERIFY(!QFileInfo::exists(listFile()));
    return;
  }
  QCOMPARE(readAll(listFile()), list({element("Summer", "A123", "False", "False")}));
  Upit* r = u.Upit1(1);
  QCOMPARE(r->ftp.dNO, QString("Summer"));
  QCOMPARE(r->dname, QString("Summer"));
  QCOMPARE(r->ftp.FtpPort, Module1::ftpPortNo);
  QVERIFY(r->ftp.state() != FtpEngine::State::Idle);  // it starts uploading at once
}

void TestUpload::sameHandoverTwice() {
  upload& u = start();
  for (int i = 0; i < 2; ++i) {
    fake->clipboard.setText("upload@@;Summer;A123");
    u.Timer1_Timer();
  }
  QCOMPARE(u.presentRows(), 2);
  QCOMPARE(ids(listFile()), QStringList({"A123", "A123"}));
  // Either row's change acts on the first element.
  u.uped(2);
  QCOMPARE(readAll(listFile()),
           list({element("Summer", "A123", "True", "False"), element("Summer", "A123", "False", "False")}));
}

void TestUpload::corruptListKeptAside() {
  writeFile(run->file("set.xml.bad"), "earlier");
  writeFile(listFile(), "<list><l dno=\"A\" wdno=");
  upload& u = start();
  QCOMPARE(u.presentRows(), 0);
  QVERIFY(!QFileInfo::exists(listFile()));
  QCOMPARE(readAll(run->file("set.xml.bad")), QByteArray("earlier"));
  QCOMPARE(readAll(run->file("set.xml.bad.2")), QByteArray("<list><l dno=\"A\" wdno="));
  fake->clipboard.setText("upload@@;New;N1");
  u.Timer1_Timer();
  QCOMPARE(readAll(listFile()), list({element("New", "N1", "False", "False")}));
}

void TestUpload::defectiveElementsStayInTheList() {
  const QByteArray text = list({"<l dno=\"Half\"/>", element("Odd", "O1", "maybe", "False"),
                                element("Good", "G1", "True", "True")});
  upload& u = start(text);
  QCOMPARE(u.presentRows(), 3);
  QCOMPARE(u.Upit1(1)->Label13->text(), QString("Half"));
  QCOMPARE(u.Upit1(1)->upsta, QStringLiteral("未完成的上传任务"));
  QCOMPARE(u.Upit1(2)->upsta, QStringLiteral("未完成的上传任务"));
  QCOMPARE(u.Upit1(3)->upsta, QStringLiteral("上传成功!"));
  u.Upit1(3)->Image4_Click();  // confirmed: removed without a question
  QVERIFY(fake->msgBox.shown.isEmpty());
  QCOMPARE(readAll(listFile()), list({"<l dno=\"Half\"/>", element("Odd", "O1", "maybe", "False")}));
  // A change of the element completes its attributes.
  u.uped(1);
  QCOMPARE(readAll(listFile()), list({"<l dno=\"Half\" uped=\"True\"/>", element("Odd", "O1", "maybe", "False")}));
}

void TestUpload::failedSaveIsMadeUpLater() {
  // A folder where the list should be: every save fails.
  QVERIFY(QDir().mkdir(listFile()));
  upload& u = start();
  fake->clipboard.setText("upload@@;Summer;A123");
  u.Timer1_Timer();
  QCOMPARE(u.presentRows(), 1);
  QVERIFY(fake->process.exits.isEmpty());
  QVERIFY(QFileInfo(listFile()).isDir());
  QVERIFY(QDir(listFile()).removeRecursively());
  u.uped(1);
  QCOMPARE(readAll(listFile()), list({element("Summer", "A123", "True", "False")}));
}

void TestUpload::closeQuestion_data() {
  QTest::addColumn<QStringList>("statuses");  // of the present rows; "-" marks a row removed first
  QTest::addColumn<int>("answer");
  QTest::addColumn<bool>("asked");
  QTest::addColumn<bool>("ends");
  const QString done = QStringLiteral("上传成功!");
  QTest::newRow("no rows") << QStringList() << int(Msg::OK) << false << true;
  QTest::newRow("all confirmed") << QStringList{done, done} << int(Msg::OK) << false << true;
  QTest::newRow("one paused, OK") << QStringList{done, QStringLiteral("已暂停")} << int(Msg::OK) << true << true;
  QTest::newRow("one paused, Cancel") << QStringList{QStringLiteral("已暂停"), done} << int(Msg::Cancel) << true
                                      << false;
  QTest::newRow("sent, not confirmed") << QStringList{QStringLiteral("文件解析失败!")} << int(Msg::Cancel) << true
                                       << false;
  QTest::newRow("unfinished one removed") << QStringList{"-", done} << int(Msg::Cancel) << false << true;
}

void TestUpload::closeQuestion() {
  QFETCH(QStringList, statuses);
  QFETCH(int, answer);
  QFETCH(bool, asked);
  QFETCH(bool, ends);
  upload& u = start(unsentTasks(int(statuses.size())));
  for (int i = 0; i < statuses.size(); ++i) {
    if (statuses[i] == "-") u.Upit1(i + 1)->Command1_Click();
    else u.Upit1(i + 1)->setStatus(statuses[i]);
  }
  fake->msgBox.answers = {answer};
  u.Picture3_Click();
  QCOMPARE(fake->msgBox.shown.size(), asked ? 1 : 0);
  if (asked) {
    QCOMPARE(fake->msgBox.shown[0].text, QStringLiteral("作品还没有上传完成，您确定要中止上传吗？"));
    QCOMPARE(fake->msgBox.shown[0].title, QStringLiteral("上传订单"));
    QCOMPARE(fake->msgBox.shown[0].style, int(Msg::OKCancel));
  }
  QCOMPARE(fake->process.exits, ends ? QList<int>{0} : QList<int>());
  QCOMPARE(fake->tray.shown, !ends);
}

void TestUpload::hidesToTrayAndComesBackToTheCorner() {
  upload& u = start();
  u.showForm();
  const QPoint corner = u.pos();
  u.move(corner - QPoint(200, 150));
  u.Picture4_Click();
  QVERIFY(u.isHidden());
  QVERIFY(fake->tray.shown);
  fake->tray.leftButtonUp();
  QVERIFY(u.isVisible());
  QVERIFY(!u.isMinimized());
  QCOMPARE(u.pos(), corner);
  // Shown and dragged away: a click on the icon puts it back too.
  u.move(corner - QPoint(50, 50));
  fake->tray.leftButtonUp();
  QCOMPARE(u.pos(), corner);
  // Minimised by other means, it goes to the tray too.
  u.setWindowState(Qt::WindowMinimized);
  QVERIFY(u.isHidden());
  fake->tray.leftButtonUp();
  QVERIFY(u.isVisible());
  QVERIFY(!u.isMinimized());
  u.unload();
  QCOMPARE(fake->tray.log.last(), QString("remove"));
}

void TestUpload::minimisesWithoutTray() {
  fake->tray.available = false;
  upload& u = start();
  u.showForm();
  QCOMPARE(u.windowFlags() & Qt::WindowType_Mask, Qt::Window);  // a taskbar button to come back by
  u.Picture4_Click();
  QVERIFY(u.isMinimized());
  QVERIFY(!u.isHidden());
}

void TestUpload::dragsWithTheLeftButtonOnly() {
  upload& u = start();
  u.showForm();
  const QPoint at = u.pos();
  const QPoint grab(100, 10);
  sendMouse(u.Picture1, QEvent::MouseButtonPress, grab, Qt::RightButton, Qt::RightButton);
  sendMouse(u.Picture1, QEvent::MouseMove, grab + QPoint(-40, -30), Qt::NoButton, Qt::RightButton);
  sendMouse(u.Picture1, QEvent::MouseButtonRelease, grab, Qt::RightButton, Qt::NoButton);
  QCOMPARE(u.pos(), at);
  sendMouse(u.Picture1, QEvent::MouseButtonPress, grab, Qt::LeftButton, Qt::LeftButton);
  sendMouse(u.Picture1, QEvent::MouseMove, grab + QPoint(-40, -30), Qt::NoButton, Qt::LeftButton);
  QCOMPARE(u.pos(), at + QPoint(-40, -30));
  sendMouse(u.Picture1, QEvent::MouseButtonRelease, grab, Qt::LeftButton, Qt::NoButton);
}

void TestUpload::scrollBarPassesTheFocusOn() {
  upload& u = start(unsentTasks(7));
  u.showForm();
  QVERIFY(QTest::qWaitForWindowActive(&u));
  QTest::mouseClick(u.VScroll1, Qt::LeftButton, {}, QPoint(u.VScroll1->width() / 2, u.VScroll1->height() - 3));
  QCOMPARE(u.VScroll1->value(), 1);
  QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(u.Picture4));
}

void TestUpload::secondInstanceEndsUntouched() {
  const QString program = QUORVEL_PROGRAM_DIR "/upload";
  if (!QFileInfo::exists(program)) QSKIP("the upload program is not built");
  // A program folder of its own, away from this process's lock.
  QTemporaryDir folder;
  const auto path = [&](const QString& name) { return folder.filePath(name); };
  const QString copy = path("upload");
  QVERIFY(QFile::copy(program, copy));
  const QByteArray text = unsentTasks(2);
  writeFile(path("set.xml"), text);

  // The first instance holds the program folder's lock while it runs.
  QProcess first;
  first.start(copy, {});
  QVERIFY(first.waitForStarted());
  QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(path(".upload.lock")), 20000);
  QVERIFY(first.state() == QProcess::Running);
  QProcess second;
  second.start(copy, {});
  QVERIFY(second.waitForFinished(20000));
  QCOMPARE(second.exitStatus(), QProcess::NormalExit);
  QCOMPARE(second.exitCode(), 0);
  QVERIFY(first.state() == QProcess::Running);
  QCOMPARE(readAll(path("set.xml")), text);
  first.kill();
  first.waitForFinished(5000);
}

QTEST_MAIN(TestUpload)
#include "tst_upload.moc"
