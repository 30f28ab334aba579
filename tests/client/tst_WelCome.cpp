// Start-up: the global state, the welcome window's load steps, its requests and the template link.
#include "FakePlatform.h"
#include "FlashBridge.h"
#include "Form.h"
#include "Forms.h"
#include "ICO.h"
#include "Paths.h"
#include "Template.h"
#include "WelCome.h"
#include "YieldFixture.h"
#include "frmMain.h"
#include "mainModule.h"

#include <QtTest>
#include <sys/time.h>

namespace {
void setModified(const QString& path, const QDateTime& when) {
  struct timeval tv[2];
  tv[0].tv_sec = tv[1].tv_sec = when.toSecsSinceEpoch();
  tv[0].tv_usec = tv[1].tv_usec = 0;
  QVERIFY(::utimes(QFile::encodeName(path).constData(), tv) == 0);
}
}  // namespace

class TestWelCome : public QObject {
  Q_OBJECT
  QTemporaryDir* tmp = nullptr;

private Q_SLOTS:
  void initTestCase() {
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    Form::setQuitWhenLastUnloaded(false);
  }
  void init() {
    tmp = new QTemporaryDir;
    Paths::setProgramFolder(tmp->path());
    g = Globals();
    setCommand(QString());
  }
  void cleanup() {
    Forms::welcomeSlot().reset();
    Forms::icoSlot().reset();
    delete tmp;
  }

  void initGlobalsTwice() {
    InitGlobals();
    const QString root = tmp->path();
    QCOMPARE(g.templatePath, root + "/Template");
    QCOMPARE(g.pagesPath, root + "/Template/Pages");
    QCOMPARE(g.myDesignPath, root + "/MyDesign");
    QCOMPARE(g.appTitle, QString("Quorvel"));
    QCOMPARE(g.siteURL, "http://" + shopHost());
    QCOMPARE(g.serverURL, g.siteURL + "/Client/Server.aspx");
    QCOMPARE(g.registerURL, g.siteURL + "/main/Register.aspx");
    for (const char* d : {"Template", "Template/Pages", "MyDesign"}) QVERIFY(QFileInfo(root + "/" + d).isDir());

    const Globals first = g;
    g.isLogin = true;
    InitGlobals();
    QCOMPARE(g.isLogin, false);
    QCOMPARE(g.templatePath, first.templatePath);
    QCOMPARE(g.myDesignPath, first.myDesignPath);
    QCOMPARE(g.siteURL, first.siteURL);
    QCOMPARE(QDir(root).entryList(QDir::Dirs | QDir::NoDotAndDotDot), QStringList({"MyDesign", "Template"}));
  }

  void generalDate_data() {
    QTest::addColumn<QDateTime>("when");
    QTest::addColumn<QString>("text");
    QTest::newRow("afternoon") << QDateTime(QDate(2024, 3, 5), QTime(14, 7, 9)) << "3/5/24 2:07:09 PM";
    QTest::newRow("midnight: date only") << QDateTime(QDate(2024, 3, 5), QTime(0, 0, 0)) << "3/5/24";
    QTest::newRow("one second past midnight") << QDateTime(QDate(2024, 12, 31), QTime(0, 0, 1)) << "12/31/24 12:00:01 AM";
  }
  void generalDate() {
    QFETCH(QDateTime, when);
    QFETCH(QString, text);
    QCOMPARE(::generalDate(when), text);
  }

  void designListOfFolders() {
    QCOMPARE(designList(tmp->path() + "/nothing-here"), QString());
    QDir(tmp->path()).mkpath("MyDesign/b");
    QDir(tmp->path()).mkpath("MyDesign/a");
    QFile f(tmp->path() + "/MyDesign/loose.txt");  // files are not designs
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.close();
    setModified(tmp->path() + "/MyDesign/a", QDateTime(QDate(2024, 3, 5), QTime(14, 7, 9)));
    setModified(tmp->path() + "/MyDesign/b", QDateTime(QDate(2024, 3, 6), QTime(0, 0, 0)));
    QCOMPARE(designList(tmp->path() + "/MyDesign"), QString("a|3/5/24 2:07:09 PM,b|3/6/24"));
  }

  // Loading: icon, folders, caption, the movie and one dList call with the saved designs.
  void loadHandsTheListToTheMovie() {
    FakePlatform fp;
    QDir(tmp->path()).mkpath("MyDesign/trip");
    setModified(tmp->path() + "/MyDesign/trip", QDateTime(QDate(2024, 3, 5), QTime(0, 0, 0)));
    WelCome& w = Forms::welcome();
    w.load();
    QCOMPARE(w.windowTitle(), QString("Quorvel"));
    QVERIFY(!w.windowIcon().isNull());
    QVERIFY(Forms::icoSlot().isLoaded());
    QVERIFY(!Forms::ico().isVisible());
    FakeFlashPlayer* ad01 = fp.player("ad01");
    QVERIFY(ad01);
    QCOMPARE(ad01->movies, QStringList{tmp->path() + "/WelCome.ctr"});
    QCOMPARE(ad01->calls, QStringList{BuildCall("dList", {"trip|3/5/24"})});
    QVERIFY(!w.handedOver());
  }

  // Each time the window is shown again the list is built anew, so a design saved meanwhile is
  // listed; the showing right after the load does not send it twice.
  void listSentAgainWhenShownAgain_data() {
    QTest::addColumn<QString>("commandLine");
    QTest::addColumn<int>("callsAfterFirstShow");
    QTest::newRow("plain start") << "" << 1;
    QTest::newRow("started by a template link, shown after the download") << "ZELKA://" + QString(32, 'A') + "/" << 2;
  }
  void listSentAgainWhenShownAgain() {
    QFETCH(QString, commandLine);
    QFETCH(int, callsAfterFirstShow);
    FakePlatform fp;
    setCommand(commandLine);
    WelCome& w = Forms::welcome();
    w.load();
    FakeFlashPlayer* ad01 = fp.player("ad01");
    QCOMPARE(ad01->calls, QStringList{BuildCall("dList", {""})});
    QDir(tmp->path()).mkpath("MyDesign/trip");
    setModified(tmp->path() + "/MyDesign/trip", QDateTime(QDate(2024, 3, 5), QTime(0, 0, 0)));
    w.showForm();
    QCOMPARE(ad01->calls.size(), callsAfterFirstShow);

    QDir(tmp->path()).mkpath("MyDesign/zoo");
    setModified(tmp->path() + "/MyDesign/zoo", QDateTime(QDate(2024, 3, 6), QTime(0, 0, 0)));
    w.hideForm();
    w.showForm();
    QCOMPARE(ad01->calls.size(), callsAfterFirstShow + 1);
    QCOMPARE(ad01->calls.last(), BuildCall("dList", {"trip|3/5/24,zoo|3/6/24"}));
    Forms::templateSlot().reset();
  }

  // A MyDesign that can neither be created nor listed still gives a (empty) list and a start.
  void unusableDesignFolder() {
    FakePlatform fp;
    QFile blocker(tmp->path() + "/MyDesign");
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    Forms::welcome().load();
    QCOMPARE(fp.player("ad01")->calls, QStringList{BuildCall("dList", {""})});
  }

  void templateLink_data() {
    const QString number = "0123456789abcdef0123456789ABCDEF";
    QTest::addColumn<QString>("commandLine");
    QTest::addColumn<QString>("templateNO");
    QTest::newRow("link in lower case") << "zelka://" + number + "/" << number.toUpper();
    QTest::newRow("link") << "ZELKA://" + number + "/" << number.toUpper();
    QTest::newRow("bare number") << number << number.toUpper();
    QTest::newRow("quoted") << "\"ZELKA://" + number + "/\"" << "";
    QTest::newRow("empty") << "" << "";
    QTest::newRow("one short") << number.left(31) << "";
  }
  void templateLink() {
    QFETCH(QString, commandLine);
    QFETCH(QString, templateNO);
    QCOMPARE(templateFromLink(commandLine), templateNO);

    FakePlatform fp;
    setCommand(commandLine);
    WelCome& w = Forms::welcome();
    w.load();
    QCOMPARE(w.handedOver(), !templateNO.isEmpty());
    QCOMPARE(g.templateNO, templateNO);
  }

  void requests() {
    FakePlatform fp;
    WelCome& w = Forms::welcome();
    w.showForm();
    FakeFlashPlayer* ad01 = fp.player("ad01");

    ad01->request("Open", {"x"});  // other letter case: ignored
    ad01->request("close", {"x"});
    QVERIFY(w.isVisible());
    QCOMPARE(g.designName, QString());

    QDir(g.myDesignPath).mkpath(" my design ");
    ad01->request("open", {" my design ", "ignored"});
    QVERIFY(!w.isVisible());
    QCOMPARE(g.designName, QString(" my design "));
    QCOMPARE(g.designPath, g.myDesignPath + "/ my design ");

    w.showForm();
    ad01->request("new", {"http://shop/main/templates.aspx"});
    QVERIFY(!w.isVisible());
    QCOMPARE(g.templateURL, QString("http://shop/main/templates.aspx"));
  }

  // "open" takes only the name of a design folder directly under MyDesign; anything else could
  // make the workspace's saves write elsewhere and is ignored.
  void openOnlyNamesADesignFolder_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("opens");
    QTest::newRow("design folder") << "trip" << true;
    QTest::newRow("other letter case") << "TRIP" << true;
    QTest::newRow("dots inside the name") << "a..b" << true;
    QTest::newRow("parent of the program folder") << "../../p" << false;
    QTest::newRow("program folder") << ".." << false;
    QTest::newRow("MyDesign itself") << "." << false;
    QTest::newRow("through a design folder") << "trip/../../b" << false;
    QTest::newRow("backslashes") << "..\\..\\p" << false;
    QTest::newRow("sub folder of a design") << "trip/Images" << false;
    QTest::newRow("absolute path") << "/tmp" << false;
    QTest::newRow("line end") << "trip\r\n" << false;
    QTest::newRow("no such design") << "gone" << false;
    QTest::newRow("a file, not a folder") << "loose.txt" << false;
    QTest::newRow("empty") << "" << false;
  }
  void openOnlyNamesADesignFolder() {
    QFETCH(QString, name);
    QFETCH(bool, opens);
    FakePlatform fp;
    WelCome& w = Forms::welcome();
    w.showForm();
    QDir(g.myDesignPath).mkpath("trip/Images");
    QDir(g.myDesignPath).mkpath("a..b");
    QFile loose(g.myDesignPath + "/loose.txt");
    QVERIFY(loose.open(QIODevice::WriteOnly));
    loose.close();
    g.designName = "before";
    g.designPath = "before";
    // Straight to the handler: a line end would not get through a request's XML unchanged.
    w.handleRequest("open", name);
    QCOMPARE(w.isVisible(), !opens);
    QCOMPARE(g.designName, opens ? name : QString("before"));
    QCOMPARE(g.designPath, opens ? g.myDesignPath + "/" + name : QString("before"));
    QCOMPARE(Forms::workspaceSlot().isLoaded(), opens);
    Forms::workspaceSlot().reset();
  }

  // The welcome window closed (as its close button does, which closes the others too) while its
  // "open" hands over to a workspace that is still starting: every window closes, the workspace's
  // start stops there, and no window goes while its own request or start is on the stack.
  void closedWhileOpeningADesign() {
    FakePlatform fp;
    QPointer<WelCome> w(&Forms::welcome());
    w->showForm();
    QDir(g.myDesignPath).mkpath("trip");
    QPointer<frmMain> workspace;
    closeWhen(w, [&] {
      workspace = Forms::workspaceSlot().get();
      return Forms::workspaceSlot().isLoaded();
    });
    QVERIFY(staysThrough(w, [&] { fp.player("ad01")->request("open", {"trip"}); }));
    QVERIFY(workspace);
    QCOMPARE(Form::loadedCount(), 0);
    for (const QString& call : fp.player("WorkArea")->calls) QVERIFY(!call.startsWith("<invoke name=\"openTemplate\""));
    QTRY_VERIFY(!w && !workspace);
  }

  void timerFiresOnce() {
    FakePlatform fp;
    WelCome& w = Forms::welcome();
    w.load();
    QVERIFY(w.Timer1->isActive());
    QCOMPARE(w.Timer1->interval(), 100);
    QTRY_VERIFY_WITH_TIMEOUT(!w.Timer1->isActive(), 2000);
  }

  void closeUnloadsIcoAndEnds() {
    FakePlatform fp;
    WelCome& w = Forms::welcome();
    w.showForm();
    QVERIFY(Form::loadedCount() >= 2);
    QVERIFY(w.unload());
    QVERIFY(!Forms::icoSlot().isLoaded());
    QCOMPARE(Form::loadedCount(), 0);
  }
};

QTEST_MAIN(TestWelCome)
#include "tst_WelCome.moc"
