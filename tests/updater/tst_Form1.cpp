#include "FakePlatform.h"
#include "FileFixture.h"
#include "Form1.h"
#include "FtpPeers.h"
#include "Module1.h"
#include "Paths.h"
#include "ProcessList.h"
#include "RawServer.h"
#include "ReleaseListXml.h"
#include "SilentListener.h"
#include "SingleInstance.h"

#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <sys/stat.h>

namespace {

QString framed(const char* words) {
  return "\n\n" + QString(12, ' ') + QString::fromUtf8(words) + QString(11, ' ') + "\n\n";
}
const QString kDamaged = framed("更新列表已损坏!");
const QString kMaintenance = framed("自动更新服务器维护中请稍后再试!");
const QString kDisconnected = QString::fromUtf8("已从互联网断开稍后再试！");

// Every file under root but the lock that keeps the updater single.
QStringList filesBesideTheLock(const QString& root) {
  QStringList files = filesUnder(root);
  files.removeIf([](const QString& f) { return f.endsWith(".Novrel.lock"); });
  return files;
}

int modeOf(const QString& path) {
  struct stat st {};
  return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? int(st.st_mode & 0777) : -1;
}

// One file of a release: its name, destination folder, bytes, and the size the list gives
// (its real length unless said otherwise).
struct Entry {
  QByteArray name;
  QByteArray lurl;
  QByteArray bytes;
  qint64 listed = -1;
};

QByteArray verXml(const QByteArray& version, const QList<Entry>& files, const QByteArrayList& runs) {
  QList<ListedFile> listed;
  for (const Entry& e : files) listed << ListedFile{e.name, e.lurl, e.listed < 0 ? e.bytes.size() : e.listed};
  return releaseListXml(version, listed, runs);
}

// Puts the release files and their list into the stand-in shop's data folder, where it serves them.
void publish(const QString& shopData, const QList<Entry>& files, const QByteArray& list) {
  for (const Entry& e : files) writeFile(shopData + "/novrel/" + QString::fromUtf8(e.name), e.bytes);
  writeFile(shopData + "/novrel/ver.xml", list);
}

}  // namespace

class tst_Form1 : public QObject {
  Q_OBJECT
private Q_SLOTS:
  void init();
  void cleanup();
  void display_data();
  void display();
  void threeFileRelease();
  void wrongSizeInstallsNothing_data();
  void wrongSizeInstallsNothing();
  void damagedListDoesNothing_data();
  void damagedListDoesNothing();
  void progressOverOneConnection();
  void connectionTrouble_data();
  void connectionTrouble();
  void closePictureEndsAtOnce();
  void drawnWithinAFrame();
  void startList_data();
  void startList();
  void secondInstanceEndsAtOnce();

private:
  // Loads the window as the program's start does and shows it unless it has ended.
  void start(Form1& form);
  // Publishes a release on the shop and leaves its list in the program folder, as the client does.
  void offer(const StandInShop& shop, const QList<Entry>& files, const QByteArray& list);
  QString program() const { return root_ + "/program"; }
  QString shopData() const { return root_ + "/shop"; }
  // Every test's folders stay until the end: the lock of the updater loaded last is given up
  // only when the next one loads, and its folder should still be there then.
  QTemporaryDir base_;
  int tests_ = 0;
  QString root_;
  FakePlatform* fake_ = nullptr;
};

void tst_Form1::init() {
  root_ = base_.path() + "/" + QString::number(++tests_);
  QVERIFY(QDir().mkpath(program()));
  // As in a real program folder, the updater's own executable lies beside the staging folder.
  writeFile(program() + "/Novrel", "");
  Paths::setProgramFolder(program());
  fake_ = new FakePlatform;
  Form::setQuitWhenLastUnloaded(false);
  Module1::connectLimit = 5;
}

void tst_Form1::cleanup() { delete fake_; }

void tst_Form1::start(Form1& form) {
  form.load();
  if (!form.ended()) form.showForm();
}

void tst_Form1::offer(const StandInShop& shop, const QList<Entry>& files, const QByteArray& list) {
  QVERIFY2(shop.ready(), qPrintable(shop.error()));
  publish(shopData(), files, list);
  Module1::shopHost = QString("127.0.0.1:%1").arg(shop.httpPort());
  writeFile(program() + "/ver.tmp", list);
}

void tst_Form1::display_data() {
  QTest::addColumn<QString>("what");
  QTest::addColumn<QString>("expected");

  // The second of five files, 2,048,000 bytes long: its KB come from the reply's header.
  socketGet::Reply r;
  r.maxLen = 2048000;
  socketGet::takeBody(r, "HTTP/1.1 200 OK\r\nContent-Length: 2048000\r\n\r\n");
  QTest::newRow("line of the second of five") << Form1Display::fileLine("Quorvel", r.fileKB, 1, 5)
                                             << "Quorvel  2000KB...   (1/5)";
  QTest::newRow("line of the first of three") << Form1Display::fileLine("a.bin", 0, 0, 3) << "a.bin  0KB...   (0/3)";

  auto bar = [](qint64 part, qint64 whole) {
    const auto w = Form1Display::barWidth(part, whole, 6500);
    return w ? QString::number(*w) : QString("unchanged");
  };
  QTest::newRow("a quarter of the bar") << bar(1, 4) << "1625";
  QTest::newRow("a third, to four decimals") << bar(1, 3) << "2166.45";
  QTest::newRow("empty file leaves the bar") << bar(0, 0) << "unchanged";

  auto speed = [](qint64 recv, double secs) {
    const auto s = Form1Display::downSpeed(recv, secs);
    return s ? QString::number(*s) : QString("unchanged");
  };
  QTest::newRow("100 KB in a second") << speed(102400, 1.0) << "100";
  QTest::newRow("1.5 KB/s goes to 2") << speed(1536, 1.0) << "2";
  QTest::newRow("2.5 KB/s goes to 2") << speed(2560, 1.0) << "2";
  QTest::newRow("a speed that rounds to 0") << speed(400, 1.0) << "0";
  QTest::newRow("no time yet") << speed(5000, 0.00004) << "unchanged";

  QTest::newRow("time left") << QString::number(Form1Display::leftTime(2000, 1024000, 100)) << "10";
  QTest::newRow("time left, half to even below") << QString::number(Form1Display::leftTime(5, 0, 2)) << "2";
  QTest::newRow("time left, half to even above") << QString::number(Form1Display::leftTime(7, 0, 2)) << "4";
}

void tst_Form1::display() {
  QFETCH(QString, what);
  QFETCH(QString, expected);
  QCOMPARE(what, expected);
}

// Three files, one replacing a file in a sub-folder, one new beside the client, and the program
// of the start list: each is installed byte for byte with its mode, and the program started.
void tst_Form1::threeFileRelease() {
  const QList<Entry> files{{"app", "", randomBytes(300 * 1024, 1)},
                           {"logo.png", "res\\img", randomBytes(5000, 2)},
                           {"readme.txt", "", "new readme\n"}};
  const QByteArray list = verXml("3.5.16", files, {"app"});
  StandInShop shop(shopData());
  offer(shop, files, list);
  if (QTest::currentTestFailed()) return;
  writeFile(program() + "/res/img/logo.png", "old logo");
  QVERIFY(QFile::setPermissions(program() + "/res/img/logo.png", QFile::ReadOwner | QFile::WriteOwner));

  Form1 form;
  start(form);
  QTRY_VERIFY_WITH_TIMEOUT(form.ended(), 20000);
  QCOMPARE(fake_->msgBox.shown.size(), 0);
  QCOMPARE(readAll(program() + "/app"), files[0].bytes);
  QCOMPARE(readAll(program() + "/res/img/logo.png"), files[1].bytes);
  QCOMPARE(readAll(program() + "/readme.txt"), files[2].bytes);
  QCOMPARE(modeOf(program() + "/app"), 0755);            // new, and made executable to be started
  QCOMPARE(modeOf(program() + "/res/img/logo.png"), 0600);  // as the file it replaced
  QCOMPARE(modeOf(program() + "/readme.txt"), 0644);     // new
  QCOMPARE(fake_->process.started, QStringList{program() + "/app"});
  QCOMPARE(fake_->process.startedArgs, QList<QStringList>{QStringList()});
  QCOMPARE(fake_->process.exits, QList<int>{0});
  // The staging folder stays, emptied; the list stays as the client left it.
  QVERIFY(QFileInfo(program() + "/Novrel.staging/3.5.16").isDir());
  QCOMPARE(filesUnder(program() + "/Novrel.staging"), QStringList());
  QCOMPARE(readAll(program() + "/ver.tmp"), list);
  QCOMPARE(form.windowTitle(), QString::fromUtf8("Quorvel在线更新......"));
  QCOMPARE(form.L2->text(), QString("readme.txt  0KB...   (2/3)"));
  QVERIFY(form.labDownloadSpeed->text().endsWith(" kb/s"));
  QVERIFY(!form.isVisible());
  QCOMPARE(openFilesUnder(program() + "/Novrel.staging"), QStringList());
}

// A third file whose length is not the listed one: nothing is moved, whether it came shorter
// than listed or announced itself longer.
void tst_Form1::wrongSizeInstallsNothing_data() {
  QTest::addColumn<qint64>("listedDelta");
  QTest::addColumn<bool>("thirdStaged");
  QTest::newRow("shorter than listed") << qint64(1) << true;
  QTest::newRow("longer than listed") << qint64(-1) << false;
}

void tst_Form1::wrongSizeInstallsNothing() {
  QFETCH(qint64, listedDelta);
  QFETCH(bool, thirdStaged);
  QList<Entry> files{{"app", "", randomBytes(70000, 3)}, {"one.dat", "", "first"}, {"two.dat", "", "second one"}};
  files[2].listed = files[2].bytes.size() + listedDelta;
  const QByteArray list = verXml("3.5.16", files, {"app"});
  StandInShop shop(shopData());
  offer(shop, files, list);
  if (QTest::currentTestFailed()) return;
  writeFile(program() + "/app", "old app");
  writeFile(program() + "/one.dat", "old one");
  const QStringList before = filesBesideTheLock(program());

  Form1 form;
  start(form);
  QTRY_VERIFY_WITH_TIMEOUT(form.ended(), 20000);
  QCOMPARE(fake_->msgBox.shown.size(), 1);
  QCOMPARE(fake_->msgBox.shown[0].text, kMaintenance);
  QCOMPARE(fake_->msgBox.shown[0].title, QString::fromUtf8("更新"));
  QCOMPARE(fake_->process.exits, QList<int>{0});
  QVERIFY(fake_->process.started.isEmpty());
  QCOMPARE(readAll(program() + "/app"), QByteArray("old app"));
  QCOMPARE(readAll(program() + "/one.dat"), QByteArray("old one"));
  QStringList now = filesBesideTheLock(program());
  now.removeIf([](const QString& f) { return f.startsWith("Novrel.staging/"); });
  QCOMPARE(now, before);
  QStringList staged{"app", "one.dat"};
  if (thirdStaged) staged << "two.dat";
  QCOMPARE(filesUnder(program() + "/Novrel.staging/3.5.16"), staged);
  QCOMPARE(openFilesUnder(program() + "/Novrel.staging"), QStringList());
}

void tst_Form1::damagedListDoesNothing_data() {
  QTest::addColumn<bool>("present");
  QTest::addColumn<QByteArray>("list");
  const Entry a{"a.bin", "", "x"};
  QTest::newRow("no list") << false << QByteArray();
  QTest::newRow("not a list") << true << QByteArray("<html>Not Found</html>");
  QTest::newRow("no file listed") << true << verXml("3.5.16", {}, {});
  QTest::newRow("name ../x") << true << verXml("3.5.16", {{"../x", "", "x"}}, {});
  QTest::newRow("name /etc/x") << true << verXml("3.5.16", {{"/etc/x", "", "x"}}, {});
  QTest::newRow("Lurl above the program folder") << true << verXml("3.5.16", {{"a.bin", "..\\..", "x"}}, {});
  QTest::newRow("Lurl absolute") << true << verXml("3.5.16", {{"a.bin", "/tmp", "x"}}, {});
  QTest::newRow("runItem outside") << true << verXml("3.5.16", {a}, {"../../bin/sh"});
  QTest::newRow("version climbing out") << true << verXml("../../x", {a}, {});
}

// Nothing is fetched, and nothing is written anywhere, the staging folder included.
void tst_Form1::damagedListDoesNothing() {
  QFETCH(bool, present);
  QFETCH(QByteArray, list);
  RawServer server;
  server.replies = {httpReply("x")};
  Module1::shopHost = server.hostPort();
  if (present) writeFile(program() + "/ver.tmp", list);
  const QStringList before = filesBesideTheLock(root_);

  Form1 form;
  start(form);
  QVERIFY(form.ended());
  QCOMPARE(fake_->msgBox.shown.size(), 1);
  QCOMPARE(fake_->msgBox.shown[0].text, kDamaged);
  QCOMPARE(fake_->msgBox.shown[0].title, QString::fromUtf8("更新"));
  QCOMPARE(fake_->process.exits, QList<int>{0});
  QTest::qWait(50);
  QCOMPARE(server.connectionCount(), 0);
  QCOMPARE(filesBesideTheLock(root_), before);
  QCOMPARE(QDir(program()).entryList(QDir::Dirs | QDir::NoDotAndDotDot), QStringList());
  QVERIFY(!form.isVisible());
}

// Four files in turn on the one kept-alive connection, and the bars after the first.
void tst_Form1::progressOverOneConnection() {
  const QList<Entry> files{{"a", "", "aaaa"}, {"b", "", "bb"}, {"c", "", "c"}, {"d", "", "dddd"}};
  RawServer server;
  Module1::shopHost = server.hostPort();
  writeFile(program() + "/ver.tmp", verXml("2.0.1", files, {}));
  Form1 form;
  start(form);
  QVERIFY(!form.ended());
  QCOMPARE(form.Picture3->twipsWidth(), 0.0);
  QVERIFY(server.waitForRequests(1));
  QVERIFY(server.received().startsWith("GET /novrel/a HTTP/1.1\r\n"));
  server.send(httpReply("aaaa"));
  QVERIFY(server.waitForRequests(2));
  QVERIFY(server.received().contains("GET /novrel/b HTTP/1.1\r\n"));
  QCOMPARE(form.Picture3->twipsWidth(), 1625.0);  // a quarter of the frame
  QCOMPARE(form.Picture2->twipsWidth(), 0.0);
  QCOMPARE(form.L2->text(), QString("a  0KB...   (0/4)"));
  QCOMPARE(readAll(program() + "/Novrel.staging/2.0.1/a"), QByteArray("aaaa"));
  // The next reply arrives in pieces: the current bar follows it.
  const QByteArray reply = httpReply("bb");
  server.send(reply.chopped(1));
  QTRY_COMPARE(form.Picture2->twipsWidth(), 3250.0);
  server.send(reply.right(1));
  QVERIFY(server.waitForRequests(3));
  server.send(httpReply("c"));
  QVERIFY(server.waitForRequests(4));
  server.send(httpReply("dddd"));
  QTRY_VERIFY(form.ended());
  QCOMPARE(server.connectionCount(), 1);
  QCOMPARE(fake_->msgBox.shown.size(), 0);
  QCOMPARE(readAll(program() + "/d"), QByteArray("dddd"));
  QVERIFY(fake_->process.started.isEmpty());  // an empty start list
}

void tst_Form1::connectionTrouble_data() {
  QTest::addColumn<QString>("how");
  QTest::newRow("connect never answered") << "silent";
  QTest::newRow("connect refused") << "refused";
  QTest::newRow("closed before the file is complete") << "closed";
}

// The message of a lost connection; the window stays with its progress, and nothing is installed.
void tst_Form1::connectionTrouble() {
  QFETCH(QString, how);
  SilentListener silent;
  RawServer server;
  Module1::connectLimit = 1;
  Module1::shopHost = how == "silent"    ? QString("127.0.0.1:%1").arg(silent.port)
                      : how == "refused" ? QString("127.0.0.1:%1").arg(RawServer::unusedPort())
                                         : server.hostPort();
  writeFile(program() + "/ver.tmp", verXml("2.0.1", {{"a", "", "aaaa"}}, {"a"}));
  Form1 form;
  start(form);
  if (how == "closed") {
    QVERIFY(server.waitForRequests(1));
    server.send(httpReply("aaaa").chopped(2));
    QTRY_COMPARE(form.Picture2->twipsWidth(), 3250.0);
    server.closeConnection();
  }
  QTRY_COMPARE(fake_->msgBox.shown.size(), 1);
  QCOMPARE(fake_->msgBox.shown[0].text, kDisconnected);
  QCOMPARE(fake_->msgBox.shown[0].title, QString::fromUtf8("程序更新"));
  QTest::qWait(50);
  QVERIFY(!form.ended());
  QVERIFY(form.isVisible());
  QVERIFY(fake_->process.exits.isEmpty());
  QVERIFY(!QFile::exists(program() + "/a"));
  // What came stays staged, and nothing is left open.
  if (how == "closed") QCOMPARE(readAll(program() + "/Novrel.staging/2.0.1/a"), QByteArray("aa"));
  QCOMPARE(openFilesUnder(program() + "/Novrel.staging"), QStringList());
}

void tst_Form1::closePictureEndsAtOnce() {
  RawServer server;
  Module1::shopHost = server.hostPort();
  writeFile(program() + "/ver.tmp", verXml("2.0.1", {{"a", "", "aaaa"}}, {"a"}));
  Form1 form;
  start(form);
  QVERIFY(server.waitForRequests(1));
  server.send(httpReply("aaaa").chopped(2));
  QTRY_VERIFY(QFileInfo(program() + "/Novrel.staging/2.0.1/a").size() == 2);
  QTest::mouseClick(form.Image1, Qt::LeftButton);
  QVERIFY(form.ended());
  QCOMPARE(fake_->process.exits, QList<int>{0});
  QCOMPARE(fake_->msgBox.shown.size(), 0);
  // The file half fetched stays in the staging folder, closed.
  QCOMPARE(readAll(program() + "/Novrel.staging/2.0.1/a"), QByteArray("aa"));
  QCOMPARE(openFilesUnder(program() + "/Novrel.staging"), QStringList());
}

// The window is drawn within a frame of being shown, while its first reply has not come, and
// again while data arrives: holding the drawing for a frame never leaves it undrawn.
void tst_Form1::drawnWithinAFrame() {
  RawServer server;
  Module1::shopHost = server.hostPort();
  writeFile(program() + "/ver.tmp", verXml("2.0.1", {{"a", "", "aaaa"}}, {}));
  Form1 form;
  int titlePaints = 0;
  int linePaints = 0;
  struct Counter : QObject {
    QObject* watched;
    int* count;
    Counter(QObject* w, int* c) : watched(w), count(c) {}
    bool eventFilter(QObject* o, QEvent* e) override {
      if (o == watched && e->type() == QEvent::Paint) ++*count;
      return false;
    }
  } title(form.Image2, &titlePaints), line(form.L2, &linePaints);
  form.Image2->installEventFilter(&title);
  form.L2->installEventFilter(&line);
  start(form);
  QVERIFY(server.waitForRequests(1));
  QTRY_VERIFY_WITH_TIMEOUT(titlePaints > 0, 2000);
  QVERIFY(form.updatesEnabled());
  QVERIFY(!form.Image2->picture().isNull());

  const int before = linePaints;
  server.send(httpReply("aaaa").chopped(2));
  QTRY_COMPARE(form.L2->text(), QString("a  0KB...   (0/1)"));
  QTRY_VERIFY_WITH_TIMEOUT(linePaints > before, 2000);
  QVERIFY(form.updatesEnabled());
}

// Programs of the start list are started one after another: each but the last is waited for
// until it has ended; the last is not, and neither is one that cannot be started.
void tst_Form1::startList_data() {
  QTest::addColumn<QByteArrayList>("runs");
  QTest::addColumn<QStringList>("started");
  QTest::addColumn<bool>("firstWaitedFor");
  QTest::newRow("empty") << QByteArrayList{} << QStringList{} << false;
  QTest::newRow("two programs") << QByteArrayList{"first.sh", "tools\\second.sh"}
                                << QStringList{"first.sh", "tools/second.sh"} << true;
  QTest::newRow("the first cannot be started") << QByteArrayList{"missing.sh", "tools\\second.sh"}
                                               << QStringList{"missing.sh", "tools/second.sh"} << false;
}

void tst_Form1::startList() {
  QFETCH(QByteArrayList, runs);
  QFETCH(QStringList, started);
  QFETCH(bool, firstWaitedFor);
  fake_->process.startForReal = true;
  // Scripts as the release left them, not yet executable: the first takes a while and leaves a
  // mark; the second notes whether that mark was there when it started, then stays a while.
  writeFile(program() + "/first.sh", "#!/bin/sh\nsleep 0.4\necho done > first.done\n");
  writeFile(program() + "/tools/second.sh",
            "#!/bin/sh\n"
            "if [ -e ../first.done ]; then echo after; else echo before; fi > ../second.out\n"
            "exec sleep 30\n");
  for (const char* script : {"/first.sh", "/tools/second.sh"})
    QVERIFY(QFile::setPermissions(program() + script, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup |
                                                          QFile::ReadOther));
  RawServer server;
  server.replies = {httpReply("x")};
  Module1::shopHost = server.hostPort();
  writeFile(program() + "/ver.tmp", verXml("2.0.1", {{"x.dat", "", "x"}}, runs));

  Form1 form;
  start(form);
  QTRY_VERIFY_WITH_TIMEOUT(form.ended(), 10000);
  QStringList expected;
  for (const QString& s : started) expected << program() + "/" + s;
  QCOMPARE(fake_->process.started, expected);
  QCOMPARE(fake_->process.exits, QList<int>{0});
  QCOMPARE(fake_->msgBox.shown.size(), 0);
  QVERIFY(!form.isVisible());
  if (runs.isEmpty()) return;

  const qint64 last = fake_->process.pids.last();
  auto stop = qScopeGuard([&] { ::kill(pid_t(last), SIGKILL); });
  QVERIFY(last > 0);
  QCOMPARE(form.runPid, last);
  QCOMPARE(fake_->process.pids.first() == 0, !firstWaitedFor);
  // The updater ended while the last program runs on.
  QVERIFY(!ProcessList::processName(last).isEmpty());
  QTRY_COMPARE(readAll(program() + "/second.out"), QByteArray(firstWaitedFor ? "after\n" : "before\n"));
  QCOMPARE(modeOf(program() + "/tools/second.sh"), 0755);
}

// With a copy already running from the program folder, a second one ends at once: no window,
// no message, nothing read or made.
void tst_Form1::secondInstanceEndsAtOnce() {
  const QString novrel = program() + "/Novrel";
  QVERIFY(QFile::remove(novrel));
  QVERIFY(QFile::copy(QUORVEL_PROGRAM_DIR "/Novrel", novrel));
  QVERIFY(QFile::setPermissions(novrel, QFile::permissions(novrel) | QFile::ExeOwner));
  writeFile(program() + "/ver.tmp", verXml("2.0.1", {{"a", "", "aaaa"}}, {}));
  QVERIFY(!SingleInstance::previousInstance("Novrel"));  // this test holds the one instance

  QProcess second;
  second.setProcessChannelMode(QProcess::ForwardedChannels);
  second.start(novrel, {});
  QVERIFY(second.waitForStarted());
  QVERIFY(second.waitForFinished(20000));
  QCOMPARE(second.exitStatus(), QProcess::NormalExit);
  QCOMPARE(second.exitCode(), 0);
  QCOMPARE(QDir(program()).entryList(QDir::Dirs | QDir::NoDotAndDotDot), QStringList());
}

QTEST_MAIN(tst_Form1)
#include "tst_Form1.moc"
