// The design editor's requests to the workspace, through the movie's own request texts.
#include "FileFixture.h"
#include "DesignPackage.h"
#include "FakePlatform.h"
#include "FlashBridge.h"
#include "FlashPlayer.h"
#include "Form.h"
#include "Forms.h"
#include "ICO.h"
#include "ImageFixture.h"
#include "Imaging.h"
#include "Paths.h"
#include "XmlDom.h"
#include "WelCome.h"
#include "YieldFixture.h"
#include "frmMain.h"
#include "mainModule.h"

#include <QProcess>
#include <QThreadPool>
#include <QtTest>

class TestDoFlashCall : public QObject {
  Q_OBJECT
  QTemporaryDir* tmp = nullptr;
  FakePlatform* fp = nullptr;
  FakeFlashPlayer* work = nullptr;
  QString root;

  void request(const QString& name, const QString& argument = QString()) { work->request(name, {argument}); }

private Q_SLOTS:
  void initTestCase() { Form::setQuitWhenLastUnloaded(false); }
  void init() {
    tmp = new QTemporaryDir;
    root = tmp->path();
    Paths::setProgramFolder(root);
    g = Globals();
    fp = new FakePlatform;
    InitGlobals();
    g.designName = "D";
    g.designPath = g.myDesignPath + "/D";
    QDir().mkpath(g.designPath);
    Forms::workspace().load();
    work = fp->player("WorkArea");
    work->calls.clear();
  }
  void cleanup() {
    Forms::workspaceSlot().reset();
    Forms::welcomeSlot().reset();
    Forms::icoSlot().reset();
    delete fp;
    delete tmp;
  }

  void pageTexts() {
    request("savePages", "before any name");
    QCOMPARE(readAll(g.designPath + "/Pages/.PAG"), QByteArray("before any name\r\n"));
    request("savePagesName", "封面");
    request("savePages", "<page>一</page>");
    request("savePages", "<page>二</page>");  // same name: replaced
    QCOMPARE(readAll(g.designPath + "/Pages/封面.PAG"), QString::fromUtf8("<page>二</page>\r\n").toUtf8());
    // Names that would lead out of the Pages folder write nothing anywhere.
    const QStringList before = filesUnder(root);
    for (const QString& bad : QStringList{"../../escape", "a/b", "..\\up", QString("nul") + QChar(0)}) {
      request("savePagesName", bad);
      request("savePages", "<page>out</page>");
    }
    QCOMPARE(filesUnder(root), before);
    request("saveThumb", "MyDesign/D/Images/Thumb/a.jpg");
    QCOMPARE(readAll(g.designPath + "/Thumb"), QByteArray("MyDesign/D/Images/Thumb/a.jpg\r\n"));
    QVERIFY(work->calls.isEmpty());
  }

  void saveDesign() {
    g.designState = "editing";
    request("saveDesign", "ab");
    QVERIFY(!QFile::exists(g.designPath + "/index.DPT"));
    QCOMPARE(g.designState, QString());
    QProcess py;
    py.start("python3", {"-c", "import sys,zipfile; z=zipfile.ZipFile(sys.argv[1]); "
                               "sys.stdout.write(repr(z.namelist())+'\\n'); sys.stdout.buffer.write(z.read('index.DPT'))",
                         g.designPath + "/D.DPT"});
    QVERIFY(py.waitForFinished(20000));
    QCOMPARE(py.readAllStandardOutput(), QByteArray("['index.DPT']\n\xFF\xFE" "a\0b\0", 20));
  }

  // Each case: pictures already stored, the files chosen, the names stored and the reply.
  void importImg_data() {
    QTest::addColumn<QStringList>("stored");
    QTest::addColumn<QStringList>("chosen");
    QTest::addColumn<QStringList>("names");
    QTest::newRow("collisions accumulate") << QStringList{"a.jpg", "a_0.jpg"} << QStringList{"a.jpg"}
                                           << QStringList{"a_0_1.jpg"};
    QTest::newRow("other letter case collides") << QStringList{"A.JPG"} << QStringList{"a.jpg"}
                                                << QStringList{"a_0.jpg"};
    QTest::newRow("two in the chosen order") << QStringList{} << QStringList{"b.jpg", "a.jpg"}
                                             << QStringList{"b.jpg", "a.jpg"};
    QTest::newRow("every dot varied") << QStringList{"my.photo.jpg"} << QStringList{"my.photo.jpg"}
                                      << QStringList{"my_0.photo_0.jpg"};
    QTest::newRow("no dot: suffix appended") << QStringList{"photo"} << QStringList{"photo"}
                                             << QStringList{"photo_0"};
    QTest::newRow("markup characters") << QStringList{} << QStringList{"R&D <1>.jpg", "a]]>b.jpg"}
                                       << QStringList{"R&D <1>.jpg", "a]]>b.jpg"};
  }
  void importImg() {
    QFETCH(QStringList, stored);
    QFETCH(QStringList, chosen);
    QFETCH(QStringList, names);
    const QString images = g.designPath + "/Images";
    for (const QString& s : stored) writeFile(images + "/" + s, "old");
    QStringList paths;
    for (const QString& c : chosen) {
      paths << root + "/source/" + c;
      QDir().mkpath(root + "/source");
      QVERIFY(writeJpeg(paths.last(), 300, 200));
    }
    fp->fileDialog.files = paths;
    request("importImg");
    QCOMPARE(fp->fileDialog.titles, QStringList{QString::fromUtf8("打开")});
    QCOMPARE(fp->fileDialog.patterns, QStringList{"*.*"});
    QCOMPARE(fp->fileDialog.multipleAsked, QList<bool>{true});
    QStringList reply;
    for (int i = 0; i < names.size(); ++i) {
      QCOMPARE(readAll(images + "/" + names[i]), readAll(paths[i]));
      QCOMPARE(Imaging::pictureSize(images + "/Thumb/" + names[i]), QSize(150, 100));
      reply << "MyDesign\\D\\Images\\" + names[i];
    }
    for (const QString& s : stored) QCOMPARE(readAll(images + "/" + s), QByteArray("old"));
    // The reply is one call whose argument the movie reads as the list, whatever the names hold.
    QCOMPARE(work->calls.size(), 1);
    QVERIFY(work->calls[0].startsWith("<invoke name=\"importImg\"  returntype=\"xml\"><arguments><string>"));
    QDomDocument call;
    QVERIFY2(XmlDom::loadBounded(call, work->calls[0], FlashPlayer::maxInvokeChars), qPrintable(work->calls[0]));
    QCOMPARE(call.documentElement().firstChildElement("arguments").firstChildElement("string").text(), reply.join(','));
  }

  // A cancelled dialog answers with an empty list; the thumbnail folder is there all the same.
  // A file that is no picture is stored without a thumbnail.
  void importCancelledAndUnreadable() {
    fp->fileDialog.files.clear();
    request("importImg");
    QCOMPARE(work->calls, QStringList{BuildCall("importImg", {""})});
    QVERIFY(QFileInfo(g.designPath + "/Images/Thumb").isDir());

    work->calls.clear();
    writeFile(root + "/notes.jpg", "not a picture");
    fp->fileDialog.files = {root + "/notes.jpg"};
    request("importImg");
    QCOMPARE(work->calls, QStringList{BuildCall("importImg", {"MyDesign\\D\\Images\\notes.jpg"})});
    QVERIFY(QFile::exists(g.designPath + "/Images/notes.jpg"));
    QVERIFY(!QFile::exists(g.designPath + "/Images/Thumb/notes.jpg"));
  }

  // The workspace closed (as its close button does) while pictures are being imported: the import
  // stops at its next yield, each picture stored so far is a whole copy, the editor is not
  // answered, and the window goes only once the import has returned.
  void closedWhileImporting_data() {
    QTest::addColumn<QString>("moment");
    QTest::newRow("file dialog open") << "dialog";
    QTest::newRow("thumbnails being made") << "thumbnails";
  }
  void closedWhileImporting() {
    QFETCH(QString, moment);
    // More pictures than are made side by side, the first slow to make: the import yields between
    // two copies, waiting for it.
    const int chosen = 2 * QThreadPool::globalInstance()->maxThreadCount() + 4;
    QStringList paths;
    QVERIFY(QDir().mkpath(root + "/source"));
    QVERIFY(twoColourImage(6000, 4500).save(root + "/source/p0.png"));
    paths << root + "/source/p0.png";
    const QStringList jpegs = writePictures(root + "/source", chosen - 1, [](int) { return QSize(400, 300); });
    QCOMPARE(jpegs.size(), chosen - 1);
    for (const QString& name : jpegs) paths << root + "/source/" + name;
    fp->fileDialog.files = paths;
    const QString images = g.designPath + "/Images";
    QPointer<frmMain> w(&Forms::workspace());
    w->showForm();
    work->calls.clear();
    if (moment == "dialog") fp->fileDialog.whileOpen = [&] { w->close(); };
    else closeWhen(w, [&] { return !QDir(images).entryList(QDir::Files).isEmpty(); });
    QVERIFY(staysThrough(w, [&] { request("importImg"); }));
    QVERIFY(!w->isLoaded());
    QVERIFY(work->calls.isEmpty());
    const QStringList stored = QDir(images).entryList(QDir::Files);
    if (moment == "dialog") QVERIFY(stored.isEmpty());
    else QVERIFY2(!stored.isEmpty() && stored.size() < chosen, qPrintable(stored.join(',')));
    for (const QString& name : stored) QCOMPARE(readAll(images + "/" + name), readAll(root + "/source/" + name));
    for (const QString& name : QDir(images + "/Thumb").entryList(QDir::Files))
      QCOMPARE(Imaging::pictureSize(images + "/Thumb/" + name), QSize(150, 112));
    QTRY_VERIFY(!w);
  }

  void removeImg_data() {
    QTest::addColumn<QString>("argument");
    QTest::addColumn<QStringList>("left");
    const QStringList all{"MyDesign/D/Images/Thumb/a.jpg", "MyDesign/D/Images/a.jpg", "MyDesign/E/Images/a.jpg",
                          "outside.jpg"};
    QTest::newRow("the picture, its thumbnail stays")
        << "MyDesign/D/Images/a.jpg" << QStringList{all[0], all[2], all[3]};
    QTest::newRow("backslashes and other letter case")
        << "mydesign\\d\\IMAGES\\A.jpg" << QStringList{all[0], all[2], all[3]};
    QTest::newRow("another design") << "MyDesign/E/Images/a.jpg" << all;
    QTest::newRow("climbing out") << "MyDesign/D/../../outside.jpg" << all;
    QTest::newRow("climbing into another design") << "MyDesign/D/Images/../../E/Images/a.jpg" << all;
    QTest::newRow("absolute path") << "/outside.jpg" << all;
    QTest::newRow("the design folder itself") << "MyDesign/D" << all;
    QTest::newRow("missing file") << "MyDesign/D/Images/none.jpg" << all;
  }
  void removeImg() {
    QFETCH(QString, argument);
    QFETCH(QStringList, left);
    for (const QString& f : {"MyDesign/D/Images/Thumb/a.jpg", "MyDesign/D/Images/a.jpg", "MyDesign/E/Images/a.jpg",
                             "outside.jpg"})
      writeFile(root + "/" + f, "x");
    request("removeImg", argument);
    QStringList files = filesUnder(root);
    QCOMPARE(files, left);
    QVERIFY(work->calls.isEmpty());
  }

  // A design folder that is not directly under MyDesign gets nothing written, whatever the
  // editor asks; the design stays unsaved.
  void savesOnlyIntoADesignFolder_data() {
    QTest::addColumn<QString>("folder");  // relative to MyDesign
    QTest::newRow("the program folder") << "..";
    QTest::newRow("above the program folder") << "../../up";
    QTest::newRow("MyDesign itself") << "";
    QTest::newRow("inside another design") << "D/Images";
    QTest::newRow("line end in the name") << "D\r\n";
  }
  void savesOnlyIntoADesignFolder() {
    QFETCH(QString, folder);
    g.designPath = g.myDesignPath + (folder.isEmpty() ? "" : "/" + folder);
    QDir().mkpath(g.designPath + "/Images");
    writeFile(g.designPath + "/Images/kept.jpg", "x");
    writeFile(root + "/source/a.jpg", "picture");
    fp->fileDialog.files = {root + "/source/a.jpg"};
    g.designState = "editing";
    g.isLogin = true;
    const QStringList before = filesUnder(root, QDir::AllEntries);

    request("savePagesName", "p1");
    request("savePages", "<page/>");
    request("saveThumb", "thumb");
    request("saveDesign", "<design/>");
    request("importImg");
    request("removeImg", "MyDesign/" + folder + "/Images/kept.jpg");
    request("upDesign", "<design><attributes><name>T1</name></attributes></design>");

    QCOMPARE(filesUnder(root, QDir::AllEntries), before);
    QCOMPARE(g.designState, QString("editing"));
    QCOMPARE(work->calls, QStringList{BuildCall("importImg", {""})});
    // The refused save is reported like any failed save.
    QCOMPARE(fp->msgBox.shown.size(), 1);
    QCOMPARE(fp->msgBox.shown[0].text, QString::fromUtf8("保存设计失败，请重试！"));
  }

  void messages_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("argument");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("title");
    const QString unfinished = QString::fromUtf8("\t未完成设计\r\n");
    QTest::newRow("two unfinished pages") << "pageErr" << "P1,P2" << "P1" + unfinished + "P2" + unfinished
                                          << QString::fromUtf8("有未完成的页面");
    QTest::newRow("no page name") << "pageErr" << "" << unfinished << QString::fromUtf8("有未完成的页面");
    QTest::newRow("message") << "MsgBox" << QString::fromUtf8("已保存") << QString::fromUtf8("已保存")
                             << QString::fromUtf8("保存设计");
  }
  void messages() {
    QFETCH(QString, name);
    QFETCH(QString, argument);
    QFETCH(QString, text);
    QFETCH(QString, title);
    request(name, argument);
    QCOMPARE(fp->msgBox.shown.size(), 1);
    QCOMPARE(fp->msgBox.shown[0].text, text);
    QCOMPARE(fp->msgBox.shown[0].title, title);
    QCOMPARE(fp->msgBox.shown[0].style, int(Msg::OKOnly));
  }

  void stateRequests() {
    request("LogIn", "u42");
    QCOMPARE(g.userID, QString("u42"));
    QCOMPARE(g.isLogin, false);
    QCOMPARE(g.designState, QString("saved"));
    request("editing");
    QCOMPARE(g.designState, QString("editing"));
  }

  // Other letter cases, "getThumb" and unknown names change nothing and answer nothing.
  void ignoredNames() {
    const QStringList before = filesUnder(root);
    for (const char* n : {"login", "Savepages", "SAVEDESIGN", "importimg", "getThumb", "removeimg", "nothing"})
      request(n, "MyDesign/D/x");
    work->flashCall("<not xml");
    work->flashCall("<invoke name=\"editing\"><arguments/></invoke>");  // no argument
    QCOMPARE(filesUnder(root), before);
    QVERIFY(work->calls.isEmpty());
    QVERIFY(fp->msgBox.shown.isEmpty());
    QVERIFY(fp->fileDialog.titles.isEmpty());
    QCOMPARE(g.userID, QString());
    QCOMPARE(g.designState, QString("saved"));
  }
};

QTEST_MAIN(TestDoFlashCall)
#include "tst_doFlashCall.moc"
