// The design workspace window: load steps, start data, template list, opening the design,
// closing and the timers.
#include "FileFixture.h"
#include "FakePlatform.h"
#include "FlashBridge.h"
#include "Form.h"
#include "Forms.h"
#include "ICO.h"
#include "ImageFixture.h"
#include "Imaging.h"
#include "Paths.h"
#include "WelCome.h"
#include "YieldFixture.h"
#include "frmMain.h"
#include "mainModule.h"
#include "rightClick.h"

#include <QDomDocument>
#include <QFrame>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTimer>
#include <QtTest>

namespace {
// Every picture has its thumbnail in the folder's Thumb, made from the picture's size(i).
void expectThumbnails(const QString& images, const QStringList& names, const std::function<QSize(int)>& size) {
  for (int i = 0; i < names.size(); ++i) {
    int w = size(i).width(), h = size(i).height();
    thumbnailSize(w, h, 150);
    QCOMPARE(Imaging::pictureSize(images + "/Thumb/" + names[i]), QSize(w, h));
  }
}
}  // namespace

class TestFrmMain : public QObject {
  Q_OBJECT
  QTemporaryDir* tmp = nullptr;
  QString root;

  void openDesign(const QString& name) {
    InitGlobals();
    g.designName = name;
    g.designPath = g.myDesignPath + "/" + name;
    QDir().mkpath(g.designPath);
  }

private Q_SLOTS:
  void initTestCase() { Form::setQuitWhenLastUnloaded(false); }
  void init() {
    tmp = new QTemporaryDir;
    root = tmp->path();
    Paths::setProgramFolder(root);
    g = Globals();
  }
  void cleanup() {
    Forms::workspaceSlot().reset();
    Forms::welcomeSlot().reset();
    Forms::icoSlot().reset();
    delete tmp;
  }

  void encodeFlashText_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("encoded");
    QTest::newRow("blank and minus") << "a b-c" << "abCCc";
    QTest::newRow("plus") << "x+y" << "x>y";
    QTest::newRow("tool name before its underscore goes") << "MorvikDesignTool_V3" << "RldT";
    QTest::newRow("CR LF goes, lone CR and LF stay") << "a\r\nb\rc\nd" << "ab\rc\nd";
    QTest::newRow("every substitution") << ":&@#-~_+" << "AAQQBBggCCEEww>";
    QTest::newRow("case-sensitive") << "morvikdesigntool_v3" << "morvikdesigntoolwwv3";
  }
  void encodeFlashText() {
    QFETCH(QString, text);
    QFETCH(QString, encoded);
    QString t = text;
    QCOMPARE(EncodeFlashText(t), encoded);
    QCOMPARE(t, encoded);
  }

  void templateList_data() {
    QTest::addColumn<QString>("design");
    QTest::addColumn<QByteArray>("designLst");
    QTest::addColumn<QByteArray>("downList");  // "-" when the file is missing
    QTest::addColumn<QString>("list");
    QTest::newRow("no DownList.Lst") << "trip" << QByteArray("trip/ABC\r\n") << QByteArray("-") << "";
    QTest::newRow("related by key") << "trip" << QByteArray("trip/ABC\r\n")
                                    << QByteArray("abc/k1\r\ndef/k1\r\nghi/k2\r\n")
                                    << "<lst><template>ABC</template><template>def</template></lst>";
    QTest::newRow("design not listed: empty keys join")
        << "other" << QByteArray("trip/ABC\r\n") << QByteArray("abc/k1\r\nxyz/\r\n")
        << "<lst><template></template><template>xyz</template></lst>";
    QTest::newRow("first design line wins, exact case")
        << "trip" << QByteArray("Trip/QQQ\r\ntrip/ABC\r\ntrip/DEF\r\n") << QByteArray("abc/k1\r\ndef/k1\r\n")
        << "<lst><template>ABC</template><template>def</template></lst>";
    QTest::newRow("later key line overrides; lines holding commas")
        << "trip" << QByteArray("trip/ABC\n") << QByteArray("abc/k1\nm/k2, n/k2,p/k1\nABC/k2\n q /k2\n")
        << "<lst><template>ABC</template><template>m</template><template> n</template><template> q </template></lst>";
    QTest::newRow("short lines are skipped; no Design.Lst")
        << "trip" << QByteArray("-") << QByteArray("broken\r\n\r\nfree/\r\n")
        << "<lst><template></template><template>free</template></lst>";
  }
  void templateList() {
    QFETCH(QString, design);
    QFETCH(QByteArray, designLst);
    QFETCH(QByteArray, downList);
    QFETCH(QString, list);
    if (designLst != "-") writeFile(root + "/Design.Lst", designLst);
    if (downList != "-") writeFile(root + "/downlist.lst", downList);  // any letter case
    g.designName = design;
    QCOMPARE(getTemplateList(), list);
  }

  // Caption, movies, filters, the three calls in their order, and the start data's form.
  void loadSteps() {
    FakePlatform fp;
    openDesign("trip");
    writeFile(root + "/Design.Lst", "trip/ABC\r\n");
    writeFile(root + "/DownList.Lst", "abc/k1\r\ndef/k1\r\n");
    frmMain& w = Forms::workspace();
    w.load();
    QCOMPARE(w.windowTitle(), QString("Quorvel V3.5.15"));
    QVERIFY(!w.windowIcon().isNull());
    auto* work = fp.player("WorkArea");
    auto* waiting = fp.player("waiting");
    auto* progress = fp.player("progress");
    QVERIFY(work && waiting && progress);
    QCOMPARE(rightClick::prevProc[2].data(), static_cast<QWidget*>(work));
    QCOMPARE(rightClick::prevProc[3].data(), static_cast<QWidget*>(waiting));
    QCOMPARE(rightClick::prevProc[4].data(), static_cast<QWidget*>(progress));
    QCOMPARE(waiting->movies, QStringList{root + "/waiting.ctr"});
    QVERIFY(!work->menu && !waiting->menu && progress->menu);
    QCOMPARE(w.exitMode, QString("0"));
    QVERIFY(progress->isHidden());
    QCOMPARE(g.designState, QString("saved"));
    QCOMPARE(g.mainArgs, QString());

    // The editor movie came from resource 101 through the transient file, which is gone.
    const QString temp = root + "/2wCEAAgGBgcGBQgHB.TMP";
    QCOMPARE(work->movies, QStringList{temp});
    QCOMPARE(work->movieBytes.value(0), customResource(101));
    QVERIFY(customResource(101).contains("player.addCallback(\"loadMain\""));
    QVERIFY(!QFile::exists(temp));

    QCOMPARE(work->calls.size(), 2);
    QVERIFY(work->calls[0].startsWith("<invoke name=\"loadMain\"  returntype=\"xml\"><arguments><string>"));
    QVERIFY(work->calls[0].endsWith("</string><string><lst><template>ABC</template><template>def</template></lst>"
                                    "</string></arguments></invoke>"));
    QCOMPARE(work->calls[1], BuildCall("openTemplate", {"Local", g.siteURL, "new", "trip"}));
    QVERIFY(w.Timer1->isActive());
    QCOMPARE(w.Timer1->interval(), 3000);

    // The start data: the two pieces without their last two characters, encoded: no blank,
    // no line end, no NUL; "+" became ">"; decoded it is the editor's settings.
    const QString args = work->calls[0].section("<string>", 1, 1).section("</string>", 0, 0);
    QVERIFY(!args.isEmpty());
    for (QChar c : {QChar(' '), QChar('\r'), QChar('\n'), QChar(0), QChar('+')}) QVERIFY(!args.contains(c));
    QVERIFY(customResource(201).endsWith(QByteArray("\r\n\0\0", 4)));
    QVERIFY(customResource(202).endsWith(" \r\n"));
    const QByteArray json = QByteArray::fromBase64(QString(args).replace('>', '+').toLatin1());
    QVERIFY(QJsonDocument::fromJson(json).object().contains("labels"));
  }

  // A stale transient movie is what gets loaded, and it goes all the same.
  void staleTransientMovie() {
    FakePlatform fp;
    openDesign("d");
    writeFile(root + "/2wCEAAgGBgcGBQgHB.TMP", "<html>stale</html>");
    Forms::workspace().load();
    QCOMPARE(fp.player("WorkArea")->movieBytes.value(0), QByteArray("<html>stale</html>"));
    QVERIFY(!QFile::exists(root + "/2wCEAAgGBgcGBQgHB.TMP"));
  }

  // The design's pictures, their missing thumbnails and the mode.
  void openTemplateModes() {
    FakePlatform fp;
    openDesign("D");
    const QString images = g.designPath + "/Images";
    QVERIFY(QDir().mkpath(images + "/Thumb"));
    QVERIFY(writeJpeg(images + "/b.jpg", 400, 300));
    QVERIFY(writeJpeg(images + "/A&<x.jpg", 300, 600));
    QVERIFY(writeJpeg(images + "/Thumb/b.jpg", 10, 10));  // kept: not made again
    writeFile(g.designPath + "/Thumb", "thumb\r\n");
    writeFile(images + "/.hidden.jpg", "x");
    Forms::workspace().load();
    const QStringList calls = fp.player("WorkArea")->calls;
    QCOMPARE(calls.size(), 3);
    QCOMPARE(calls[1], BuildCall("loadImgs", {"MyDesign\\D\\Images\\A&amp;&lt;x.jpg,MyDesign\\D\\Images\\b.jpg"}));
    QCOMPARE(calls[2], BuildCall("openTemplate", {"Local", g.siteURL, "edit", "D"}));
    QCOMPARE(Imaging::pictureSize(images + "/Thumb/A&<x.jpg"), QSize(75, 150));
    QCOMPARE(Imaging::pictureSize(images + "/Thumb/b.jpg"), QSize(10, 10));
    QVERIFY(!QFile::exists(images + "/Thumb/.hidden.jpg"));
  }

  // Every missing thumbnail is made, however many there are, each at its own size; a file that
  // is no picture gets none.
  void openTemplateMakesEveryMissingThumbnail() {
    FakePlatform fp;
    openDesign("D");
    const QString images = g.designPath + "/Images";
    const auto size = [](int i) { return QSize(200 + 37 * i, 900 - 23 * i); };
    const QStringList names = writePictures(images, 24, size);
    QCOMPARE(names.size(), 24);
    writeFile(images + "/q.txt", "no picture");
    Forms::workspace().load();
    expectThumbnails(images, names, size);
    QVERIFY(!QFile::exists(images + "/Thumb/q.txt"));
    QStringList list;
    for (const QString& n : names + QStringList{"q.txt"}) list << "MyDesign\\D\\Images\\" + n;
    QCOMPARE(fp.player("WorkArea")->calls.value(1), BuildCall("loadImgs", {list.join(',')}));
  }

  // An empty picture folder sends an empty list; the thumbnail folder is made. The design's name
  // reaches the editor escaped, so the call stays well-formed.
  void openTemplateEmptyFolder() {
    FakePlatform fp;
    openDesign("R&D <1>");
    QVERIFY(QDir().mkpath(g.designPath + "/images"));
    Forms::workspace().load();
    const QStringList calls = fp.player("WorkArea")->calls;
    QCOMPARE(calls.size(), 3);
    QCOMPARE(calls[1], BuildCall("loadImgs", {""}));
    QCOMPARE(calls[2], BuildCall("openTemplate", {"Local", g.siteURL, "new", "R&amp;D &lt;1&gt;"}));
    QDomDocument call;
    QVERIFY(call.setContent(calls[2]));
    QCOMPARE(call.elementsByTagName("string").item(3).toElement().text(), QString("R&D <1>"));
    QVERIFY(QFileInfo(g.designPath + "/images/Thumb").isDir());
  }

  void closingQuestion() {
    FakePlatform fp;
    openDesign("D");
    frmMain& w = Forms::workspace();
    w.showForm();
    g.designState = "editing";
    fp.msgBox.answers = {Msg::Cancel};
    QVERIFY(!w.unload());
    QVERIFY(w.isLoaded());
    QCOMPARE(fp.msgBox.shown.size(), 1);
    QCOMPARE(fp.msgBox.shown[0].title, QString::fromUtf8("退出设计"));
    QCOMPARE(fp.msgBox.shown[0].text, QString::fromUtf8("当前设计还未保存,如果退出您所做的修改将会丢失,确认退出吗 ?"));
    QCOMPARE(fp.msgBox.shown[0].style, int(Msg::OKCancel));
    QVERIFY(!Forms::welcomeSlot().isLoaded());

    fp.msgBox.answers = {Msg::OK};
    QVERIFY(w.unload());
    QVERIFY(Forms::welcome().isVisible());
  }

  void savedDesignClosesWithoutQuestion() {
    FakePlatform fp;
    openDesign("D");
    frmMain& w = Forms::workspace();
    w.showForm();
    QVERIFY(w.unload());
    QVERIFY(fp.msgBox.shown.isEmpty());
    QVERIFY(Forms::welcome().isVisible());
  }

  void timers() {
    FakePlatform fp;
    openDesign("D");
    frmMain& w = Forms::workspace();
    w.showForm();
    QVERIFY(w.Frame1->isVisible());
    QVERIFY(w.waiting->isVisible());
    w.Timer1_Timer();
    QVERIFY(!w.Timer1->isActive());
    QVERIFY(!w.Frame1->isVisible());
    QVERIFY(!w.waiting->isVisible());
    QVERIFY(fp.player("waiting")->stopped);
    QVERIFY(w.isVisible());

    // After an upload: closed without going back to the welcome window.
    QCOMPARE(w.Timer2->interval(), 2000);
    w.Timer2->start();
    w.Timer2_Timer();
    QCOMPARE(w.exitMode, QString("1"));
    QVERIFY(!w.isLoaded());
    QVERIFY(!Forms::welcomeSlot().isLoaded());
  }

  // Closed (as its close button does) inside one of the yields of its own opening: the opening
  // stops there, the window goes only once it has, and the design opens again as usual.
  void closedWhileOpening_data() {
    QTest::addColumn<QString>("moment");
    QTest::newRow("first yield of the start") << "start";
    QTest::newRow("after the start data") << "start data";
    QTest::newRow("while thumbnails are made") << "thumbnails";
  }
  void closedWhileOpening() {
    QFETCH(QString, moment);
    FakePlatform fp;
    openDesign("D");
    const QString images = g.designPath + "/Images";
    const auto size = [](int) { return QSize(1600, 1200); };
    const QStringList names = writePictures(images, 12, size);
    QCOMPARE(names.size(), 12);
    QPointer<frmMain> w(&Forms::workspace());
    FakeFlashPlayer* editor = fp.player("WorkArea");
    closeWhen(w, [&] {
      if (moment == "start data") return !editor->calls.isEmpty();
      if (moment == "thumbnails") return QFileInfo(images + "/Thumb").isDir();
      return true;
    });
    QVERIFY(staysThrough(w, [] { Forms::showWorkspace(); }));
    QVERIFY(!w->isLoaded() && !Forms::workspaceSlot().isLoaded());
    QVERIFY(Forms::welcome().isVisible());
    // Nothing more was done for the closed window: the design was not opened in its editor.
    for (const QString& call : editor->calls) QVERIFY(!call.startsWith("<invoke name=\"openTemplate\""));
    QVERIFY(!w->Timer1->isActive());
    // A thumbnail is there whole or not at all.
    for (const QString& t : QDir(images + "/Thumb").entryList(QDir::Files)) QVERIFY(!QImage(images + "/Thumb/" + t).isNull());
    QTRY_VERIFY(!w);

    // Opened again, the design opens in a fresh window with all of its thumbnails.
    Forms::welcome().hideForm();
    frmMain& again = Forms::workspace();
    again.showForm();
    QVERIFY(again.isLoaded());
    const QStringList calls = fp.player("WorkArea")->calls;
    QCOMPARE(calls.size(), 3);
    QCOMPARE(calls[2], BuildCall("openTemplate", {"Local", g.siteURL, "new", "D"}));
    expectThumbnails(images, names, size);
  }

  void resizeCentresTheSmallMovies() {
    FakePlatform fp;
    openDesign("D");
    frmMain& w = Forms::workspace();
    w.showForm();
    w.resize(900, 700);
    QCOMPARE(w.WorkArea->geometry(), QRect(0, 0, 900, 700));
    const QRect r = w.waiting->geometry();
    QVERIFY(qAbs(r.center().x() - 450) <= 1 && qAbs(r.center().y() - 350) <= 1);
    QCOMPARE(w.Frame1->geometry().size(), QSize(900, 700));
  }
};

QTEST_MAIN(TestFrmMain)
#include "tst_frmMain.moc"
