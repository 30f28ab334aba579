// The template browser and its download and new-design requests, on fake movies and a fake web
// browser: where streamed files are stored, what the list files hold, how a design is created or
// refused, which view shows after each request, and where the window goes when it closes.
#include "FileFixture.h"
#include "FakePlatform.h"
#include "FlashBridge.h"
#include "Forms.h"
#include "ICO.h"
#include "Paths.h"
#include "Template.h"
#include "Twips.h"
#include "WelCome.h"
#include "YieldFixture.h"
#include "base64.h"
#include "frmMain.h"
#include "mainModule.h"

#include <QDirIterator>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <memory>

namespace {
QString u8(const char* s) { return QString::fromUtf8(s); }
}  // namespace

class TemplateTest : public QObject {
  Q_OBJECT

  std::unique_ptr<QTemporaryDir> dir_;
  std::unique_ptr<FakePlatform> fp_;

  QString root() const { return dir_->path(); }
  QString at(const QString& rel) const { return root() + "/" + rel; }
  Template& browser() {
    Forms::showTemplateBrowser();
    return *Forms::templateSlot().get();
  }
  FakeFlashPlayer* dl() const { return fp_->player("download"); }
  FakeFlashPlayer* nd() const { return fp_->player("newDesign"); }
  FakeWebBrowser* web() const { return fp_->browsers.value(0); }
  static void send(FakeFlashPlayer* p, const QString& name, const QString& arg = QString()) { p->request(name, {arg}); }
  // Streams bytes as one file: saveFile, sendData in pieces of the given sizes (cycled), sendEnd.
  static void stream(FakeFlashPlayer* p, const QString& name, const QByteArray& bytes, QList<int> sizes = {65536}) {
    const QString text = QString::fromLatin1(bytes.toBase64());
    send(p, "saveFile", name);
    for (qsizetype off = 0, i = 0; off < text.size(); off += sizes[i++ % sizes.size()])
      send(p, "sendData", text.mid(off, sizes[i % sizes.size()]));
    send(p, "sendEnd");
  }

private Q_SLOTS:
  void initTestCase() { Form::setQuitWhenLastUnloaded(false); }

  void init() {
    dir_ = std::make_unique<QTemporaryDir>();
    QVERIFY(dir_->isValid());
    fp_ = std::make_unique<FakePlatform>();
    Paths::setProgramFolder(root());
    setCommand(QString());
    g = Globals{};
    InitGlobals();
  }

  void cleanup() {
    Forms::workspaceSlot().reset();
    Forms::templateSlot().reset();
    Forms::welcomeSlot().reset();
    Forms::icoSlot().reset();
    fp_.reset();
    dir_.reset();
  }

  void decodeBase64_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("empty") << "" << true << QByteArray();
    QTest::newRow("padded") << "aGk=" << true << QByteArray("hi");
    QTest::newRow("unpadded end") << "aGk" << true << QByteArray("hi");
    QTest::newRow("line breaks") << "aGVs\r\nbG8=\n" << true << QByteArray("hello");
    QTest::newRow("one stray char") << "aGVsb" << false << QByteArray();
    QTest::newRow("pad in the middle") << "ab=c" << false << QByteArray();
    QTest::newRow("data after padding") << "aGk=aGk=" << false << QByteArray();
    QTest::newRow("not the alphabet") << "@@@@" << false << QByteArray();
  }
  void decodeBase64() {
    QFETCH(QString, text);
    QFETCH(bool, ok);
    QFETCH(QByteArray, bytes);
    bool decoded = !ok;
    QCOMPARE(DecodeBase64(text, &decoded), bytes);
    QCOMPARE(decoded, ok);
  }

  // Cutting a text anywhere, twice, decodes to the same bytes as the whole text.
  void base64StreamAnyCut() {
    const QByteArray data("any carnal pleasure.\x00\xff\x10", 23);
    const QString text = QString::fromLatin1(data.toBase64());
    for (int i = 0; i <= text.size(); ++i)
      for (int j = i; j <= text.size(); ++j) {
        Base64Stream s;
        QByteArray out = s.feed(QStringView(text).mid(0, i));
        out += s.feed(QStringView(text).mid(i, j - i));
        out += s.feed(QStringView(text).mid(j));
        out += s.finish();
        QVERIFY2(!s.failed() && out == data, qPrintable(QString("cut at %1 and %2").arg(i).arg(j)));
      }
  }

  void targetPath_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("folder");  // empty: refused
    QTest::newRow("package") << "ABC.DPT" << "Template";
    QTest::newRow("dpt second part") << "a.dpt.jpg" << "Template";
    QTest::newRow("page picture") << "p1.jpg" << "Template/Pages";
    QTest::newRow("dpt third part") << "a.b.dpt" << "Template/Pages";
    QTest::newRow("no dot") << "README" << "Template";
    QTest::newRow("parent folder") << "../evil.dpt" << "";
    QTest::newRow("sub folder") << "sub/x.jpg" << "";
    QTest::newRow("backslash") << "..\\..\\x.jpg" << "";
    QTest::newRow("dots only") << ".." << "";
    QTest::newRow("one dot") << "." << "";
    QTest::newRow("double dot inside") << "cover..jpg" << "Template/Pages";
    QTest::newRow("double dot first") << "..cover.jpg" << "Template/Pages";
    QTest::newRow("double dot last") << "cover.jpg.." << "Template/Pages";
    QTest::newRow("three dots") << "..." << "Template/Pages";
    QTest::newRow("control char") << "bad\x01.jpg" << "";
    QTest::newRow("empty") << "" << "";
  }
  void targetPath() {
    QFETCH(QString, name);
    QFETCH(QString, folder);
    // Straight to the dispatcher: a control character would not get through a request's XML.
    Template& t = browser();
    QCOMPARE(downloadTarget(name), folder.isEmpty() ? QString() : at(folder + "/" + name));
    t.flashCmd("checkPage", name);
    QCOMPARE(dl()->calls.value(0), BuildCall("checkPage", {"false"}));
    t.flashCmd("saveFile", name);
    t.flashCmd("sendData", "aGk=");
    t.flashCmd("sendEnd", "");
    t.flashCmd("checkPage", name);
    QCOMPARE(dl()->calls.size(), 2);
    if (folder.isEmpty()) {
      QCOMPARE(dl()->calls[1], BuildCall("checkPage", {"false"}));
      QCOMPARE(filesUnder(root()), QStringList());
      QVERIFY(!QFileInfo::exists(root() + "/../evil.dpt"));
    } else {
      QCOMPARE(dl()->calls[1], BuildCall("checkPage", {"true"}));
      QCOMPARE(g.downloadFile, at(folder + "/" + name));
      QCOMPARE(filesUnder(root()), QStringList{folder + "/" + name});
      QCOMPARE(readAll(at(folder + "/" + name)), QByteArray("hi"));
    }
  }

  void storedFileFoundInAnyLetterCase() {
    browser();
    writeFile(at("Template/abc.dpt"), "old");
    send(dl(), "checkPage", "ABC.DPT");
    QCOMPARE(dl()->calls.last(), BuildCall("checkPage", {"true"}));
    stream(dl(), "ABC.DPT", "new");
    QCOMPARE(filesUnder(at("Template")), QStringList{"ABC.DPT"});
    QCOMPARE(readAll(at("Template/ABC.DPT")), QByteArray("new"));
  }

  // Each entry is one line, in lower case without ".dpt": control characters are dropped, so a
  // line end in an entry cannot split it.
  void addToListLines_data() {
    QTest::addColumn<QString>("entry");
    QTest::addColumn<QByteArray>("line");
    QTest::newRow("package and key") << "ABC.DPT/Photo" << QByteArray("abc/photo");
    QTest::newRow("every .dpt removed") << "X.dpt.DPT/Cal" << QByteArray("x/cal");
    QTest::newRow("line feed") << "abc/k1\ndef/k2" << QByteArray("abc/k1def/k2");
    QTest::newRow("CR LF") << "abc\r\n/k" << QByteArray("abc/k");
    QTest::newRow("tab and other controls") << QString("a\tb\x01" "c\x7F/k") << QByteArray("abc/k");
  }
  void addToListLines() {
    QFETCH(QString, entry);
    QFETCH(QByteArray, line);
    Template& t = browser();
    writeFile(at("downlist.lst"), "old/x\r\n");
    send(nd(), "addToList", "first/k");
    // Straight to the dispatcher: most control characters would not get through a request's XML.
    t.flashCmd("addToList", entry);
    QCOMPARE(readAll(at("downlist.lst")), "old/x\r\nfirst/k\r\n" + line + "\r\n");
    QVERIFY(!QFileInfo::exists(at("DownList.Lst")));
  }

  // A multi-megabyte file in odd-sized pieces, with other requests between them, stored exactly.
  void largeFileInOddPieces() {
    browser();
    QByteArray data(3 * 1024 * 1024 + 17, Qt::Uninitialized);
    QRandomGenerator rng(7);
    for (char& c : data) c = char(rng.bounded(256));
    const QString text = QString::fromLatin1(data.toBase64());
    const QList<int> sizes{1, 3, 4093, 65536, 7, 100003, 2};
    send(dl(), "saveFile", "BIG.DPT");
    int n = 0;
    for (qsizetype off = 0, i = 0; off < text.size(); ++n) {
      const int len = sizes[i++ % sizes.size()];
      send(dl(), "sendData", text.mid(off, len));
      off += len;
      if (n == 10) {
        send(dl(), "addToList", "BIG.DPT/book");
        send(dl(), "checkPage", "other.jpg");
      }
    }
    send(dl(), "sendEnd");
    QCOMPARE(dl()->calls.last(), BuildCall("checkPage", {"false"}));
    QCOMPARE(readAll(at("DownList.Lst")), QByteArray("big/book\r\n"));
    const QByteArray stored = readAll(at("Template/BIG.DPT"));
    QCOMPARE(stored.size(), data.size());
    QVERIFY(stored == data);
  }

  void requestsOutOfOrder() {
    Template& t = browser();
    // Data without a file goes nowhere and is not carried into the next file.
    send(dl(), "sendData", "aGVs");
    send(dl(), "sendEnd");
    QCOMPARE(filesUnder(root()), QStringList());
    stream(dl(), "x.jpg", "lo");
    QCOMPARE(readAll(at("Template/Pages/x.jpg")), QByteArray("lo"));

    // A second saveFile closes the first file with what it had received, a partial group too.
    send(dl(), "saveFile", "a.jpg");
    send(dl(), "sendData", "aGVsbG");
    send(dl(), "saveFile", "b.jpg");
    send(dl(), "sendData", "d29y");
    send(dl(), "sendData", "bGQ=");
    send(dl(), "sendEnd");
    QCOMPARE(readAll(at("Template/Pages/a.jpg")), QByteArray("hell"));
    QCOMPARE(readAll(at("Template/Pages/b.jpg")), QByteArray("world"));

    // A text that is not Base64 stores nothing, so the movie fetches the file again.
    send(dl(), "saveFile", "bad.jpg");
    send(dl(), "sendData", "@@@@");
    send(dl(), "sendEnd");
    send(dl(), "checkPage", "bad.jpg");
    QCOMPARE(dl()->calls.last(), BuildCall("checkPage", {"false"}));

    // The window closing in the middle of a file leaves neither the old file nor a half-written one.
    send(dl(), "saveFile", "x.jpg");
    send(dl(), "sendData", "aGVsbG8=");
    QVERIFY(t.isReceiving());
    QVERIFY(t.unload());
    QVERIFY(!QFileInfo::exists(at("Template/Pages/x.jpg")));
  }

  void cleanDesignName_data() {
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("clean");
    QTest::newRow("slash and question mark") << "a/b?c" << "abc";
    QTest::newRow("semicolon, the hand-over's separator") << "a;b" << "ab";
    QTest::newRow("only removed characters") << ",';/\\+=][()!@#$%^&*|?<>~`" << "";
    QTest::newRow("blanks at the ends") << "  My Trip  " << "My Trip";
    QTest::newRow("blank behind a removed char") << " a/ " << "a";
    QTest::newRow("line end and tab") << "My\r\nTrip\t " << "MyTrip";
    QTest::newRow("kept characters") << u8("旅行.2024: \"夏\"") << u8("旅行.2024: \"夏\"");
  }
  void cleanDesignName() {
    QFETCH(QString, typed);
    QFETCH(QString, clean);
    QCOMPARE(::cleanDesignName(typed), clean);
  }

  void createDesign_data() {
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("stored");  // the package as stored in Template
    QTest::addColumn<QString>("name");
    QTest::newRow("plain") << "Trip" << "A1B2.DPT" << "Trip";
    QTest::newRow("package in other case, blanks") << "  My Trip " << "a1b2.dpt" << "My Trip";
    QTest::newRow("chinese") << u8("我的/相册") << "A1B2.DPT" << u8("我的相册");
  }
  void createDesign() {
    QFETCH(QString, typed);
    QFETCH(QString, stored);
    QFETCH(QString, name);
    Template& t = browser();
    writeFile(at("Template/" + stored), "PK-package");
    writeFile(at("Design.Lst"), QByteArray("Old/X\r\n"));
    g.templateNO = "A1B2";
    send(dl(), "DownComplate");
    send(nd(), "createNew", typed);
    QCOMPARE(g.designName, name);
    QCOMPARE(g.designPath, at("MyDesign/" + name));
    QCOMPARE(filesUnder(at("MyDesign")), QStringList{name + "/" + name + ".DPT"});
    QCOMPARE(readAll(at("MyDesign/" + name + "/" + name + ".DPT")), QByteArray("PK-package"));
    QCOMPARE(readAll(at("Design.Lst")), QByteArray("Old/X\r\n") + (name + "/A1B2\r\n").toLocal8Bit());
    QCOMPARE(t.exitMode, QString("1"));
    QVERIFY(t.isHidden());
    QVERIFY(fp_->msgBox.shown.isEmpty());
    // Closing the window now does not bring the welcome window back.
    Forms::unloadTemplateBrowser();
    QVERIFY(!Forms::welcomeSlot().isLoaded());
  }

  // Unloaded (as the workspace's start timer or the welcome window's close does) inside a yield
  // of one of its own requests: the window stays until the request has returned, which stops
  // there, and goes after it.
  void unloadedInsideItsRequest_data() {
    QTest::addColumn<QString>("request");
    QTest::newRow("new design: its workspace starts") << "createNew";
    QTest::newRow("cancelled download") << "cancelDown";
  }
  void unloadedInsideItsRequest() {
    QFETCH(QString, request);
    QPointer<Template> t(&browser());
    writeFile(at("Template/A1B2.DPT"), "PK-package");
    g.templateNO = "A1B2";
    send(dl(), "DownComplate");
    FakeFlashPlayer* movie = request == "cancelDown" ? dl() : nd();
    bool unloaded = false;
    QObject watching;
    eachYield(&watching, [&] { return unloaded = Forms::templateSlot().unload(); });
    QVERIFY(staysThrough(t, [&] { send(movie, request, "Trip"); }));
    QVERIFY(unloaded);
    QVERIFY(!t->isLoaded());
    QVERIFY(!t->Timer1->isActive());
    if (request == "createNew") {
      QCOMPARE(readAll(at("MyDesign/Trip/Trip.DPT")), QByteArray("PK-package"));
      QVERIFY(Forms::workspaceSlot().isLoaded());
    }
    QTRY_VERIFY(!t);
  }

  void createDesignRefused_data() {
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("existing");  // "dir:NAME" or "file:NAME" in MyDesign
    QTest::addColumn<QString>("message");
    QTest::newRow("empty") << "?? //" << "" << u8("新设计的名称不能为空!");
    QTest::newRow("folder") << "Trip" << "dir:Trip" << u8("对不起！已存在名为[Trip]的设计，请重新命名您的新设计.");
    QTest::newRow("file") << " Trip" << "file:Trip" << u8("对不起！已存在名为[Trip]的设计，请重新命名您的新设计.");
    QTest::newRow("other case") << "trip" << "dir:TRIP" << u8("对不起！已存在名为[trip]的设计，请重新命名您的新设计.");
  }
  void createDesignRefused() {
    QFETCH(QString, typed);
    QFETCH(QString, existing);
    QFETCH(QString, message);
    Template& t = browser();
    writeFile(at("Template/A1B2.DPT"), "PK");
    g.templateNO = "A1B2";
    if (existing.startsWith("dir:")) QVERIFY(QDir().mkpath(at("MyDesign/" + existing.mid(4))));
    if (existing.startsWith("file:")) writeFile(at("MyDesign/" + existing.mid(5)), "mine");
    const QStringList before = filesUnder(root());
    send(dl(), "DownComplate");
    send(nd(), "createNew", typed);
    QCOMPARE(fp_->msgBox.shown.size(), 1);
    QCOMPARE(fp_->msgBox.shown[0].text, message);
    QCOMPARE(fp_->msgBox.shown[0].title, u8("请输入一个名称"));
    QCOMPARE(fp_->msgBox.shown[0].style, int(Msg::OKOnly));
    QCOMPARE(filesUnder(root()), before);
    QCOMPARE(QDir(at("MyDesign")).entryList(QDir::AllEntries | QDir::NoDotAndDotDot).size(), existing.isEmpty() ? 0 : 1);
    QCOMPARE(t.exitMode, QString("0"));
    QVERIFY(!nd()->isHidden());
  }

  void createDesignWithoutPackage() {
    Template& t = browser();
    g.templateNO = "NOPE";
    send(nd(), "createNew", "Trip");
    QVERIFY(QFileInfo(at("MyDesign/Trip")).isDir());
    QCOMPARE(filesUnder(at("MyDesign")), QStringList());
    QVERIFY(!QFileInfo::exists(at("Design.Lst")));
    QCOMPARE(t.exitMode, QString("0"));
    QVERIFY(fp_->msgBox.shown.isEmpty());
  }

  void capture_data() {
    QTest::addColumn<QString>("url");
    QTest::addColumn<bool>("mainFrame");
    QTest::addColumn<bool>("cancelled");
    QTest::addColumn<QString>("number");  // empty: no download starts
    QTest::newRow("design link") << "http://h/main/Design.A1B2.aspx" << true << true << "A1B2";
    QTest::newRow("in a frame") << "http://h/x/Design.C3D4.aspx?q=1" << false << true << "C3D4";
    QTest::newRow("lower case") << "http://h/main/design.a1b2.aspx" << true << false << "";
    QTest::newRow("one dot") << "http://h/Design.html" << true << true << "html";
    QTest::newRow("no dot") << "http://h/DesignX" << true << true << "";
    QTest::newRow("ends in slash") << "http://h/Design.1/" << true << true << "";
    QTest::newRow("other page") << "http://h/main/templates.aspx" << true << false << "";
  }
  void capture() {
    QFETCH(QString, url);
    QFETCH(bool, mainFrame);
    QFETCH(bool, cancelled);
    QFETCH(QString, number);
    Template& t = browser();
    g.templateNO = "OLD";
    web()->location = "http://h/main/templates.aspx";
    QCOMPARE(!web()->follow(url, mainFrame), cancelled);
    QCOMPARE(web()->location, cancelled ? QString("http://h/main/templates.aspx") : (mainFrame ? url : QString("http://h/main/templates.aspx")));
    if (number.isEmpty()) {
      QCOMPARE(g.templateNO, QString("OLD"));
      QVERIFY(dl()->calls.isEmpty());
      QVERIFY(!t.Picture1->isHidden());
    } else {
      QCOMPARE(g.templateNO, number);
      QCOMPARE(dl()->calls, QStringList{BuildCall("setvar", {number, g.siteURL})});
      QVERIFY(t.Picture1->isHidden());
      QVERIFY(!dl()->isHidden());
    }
  }

  void secondLinkStartsAgain() {
    browser();
    web()->follow("http://h/Design.A.aspx");
    web()->follow("http://h/Design.B.aspx");
    QCOMPARE(g.templateNO, QString("B"));
    QCOMPARE(dl()->calls, (QStringList{BuildCall("setvar", {"A", g.siteURL}), BuildCall("setvar", {"B", g.siteURL})}));
  }

  void firstNavigationCaptured() {
    g.templateURL = "http://h/Design.Z9.aspx";
    Template& t = browser();
    QCOMPARE(web()->navigated, QStringList{g.templateURL});
    QCOMPARE(web()->location, QString());
    QCOMPARE(g.templateNO, QString("Z9"));
    QVERIFY(t.Picture1->isHidden());
  }

  void views_data() {
    QTest::addColumn<QStringList>("steps");  // "start" runs startDownload, others are requests
    QTest::addColumn<QString>("shown");      // of Picture1, download, newDesign: 1 shown, 0 hidden
    QTest::newRow("loaded") << QStringList{} << "100";
    QTest::newRow("download") << QStringList{"start"} << "010";
    QTest::newRow("complete") << QStringList{"start", "DownComplate"} << "011";
    QTest::newRow("back to the page") << QStringList{"start", "DownComplate", "showTemplate"} << "110";
    QTest::newRow("cancelled") << QStringList{"start", "cancelDown"} << "100";
    QTest::newRow("close does nothing") << QStringList{"start", "close"} << "010";
    QTest::newRow("unknown name") << QStringList{"start", "DownComplete", "Showtemplate"} << "010";
  }
  void views() {
    QFETCH(QStringList, steps);
    QFETCH(QString, shown);
    Template& t = browser();
    for (const QString& s : steps) {
      if (s == "start") t.startDownload();
      else send(dl(), s);
    }
    const QString now = QString("%1%2%3").arg(!t.Picture1->isHidden()).arg(!dl()->isHidden()).arg(!nd()->isHidden());
    QCOMPARE(now, shown);
    if (steps.contains("DownComplate") || steps.contains("cancelDown"))
      QCOMPARE(dl()->calls.last(), BuildCall("checkPage", {"wait"}));
  }

  void layout() {
    Template& t = browser();
    t.resize(Twips::toPixelsX(13575), Twips::toPixelsY(10890));
    QCOMPARE(t.Picture1->geometry(), QRect(Twips::toPixelsX(100), Twips::toPixelsY(200),
                                           Twips::toPixelsX(13575 - 200), Twips::toPixelsY(10890 - 400)));
    QCOMPARE(web()->geometry(), QRect(-Twips::toPixelsX(25), -Twips::toPixelsY(25),
                                      t.Picture1->width() + Twips::toPixelsX(50), t.Picture1->height() + Twips::toPixelsY(50)));
    QCOMPARE(dl()->size(), QSize(Twips::toPixelsX(8655), Twips::toPixelsY(5295)));
    QCOMPARE(dl()->pos(), QPoint(t.width() / 2 - dl()->width() / 2, t.height() / 2 - dl()->height() / 2));
    QCOMPARE(nd()->pos(), QPoint(t.width() / 2 - nd()->width() / 2, t.height() / 2 - nd()->height() / 2));
    // Too small for the page frame: its statement is skipped, the movies are still centred.
    const QRect frame = t.Picture1->geometry();
    t.resize(8, 8);
    QCOMPARE(t.Picture1->geometry(), frame);
    QCOMPARE(nd()->pos(), QPoint(4 - nd()->width() / 2, 4 - nd()->height() / 2));
  }

  // A complete download leaves the downloader as a strip in the margin below the page, clear of the
  // page and of the new-design movie, through resizes and the way back to the page; the next
  // download brings it back at its own size.
  void completedDownloadClearsThePage() {
    Template& t = browser();
    t.resize(Twips::toPixelsX(13575), Twips::toPixelsY(10890));
    t.startDownload();
    send(dl(), "DownComplate");
    for (const QSize size : {t.size(), QSize(1200, 900)}) {
      t.resize(size);
      QVERIFY(!dl()->isHidden());
      QVERIFY2(!dl()->geometry().intersects(t.Picture1->geometry()), qPrintable(QString("at %1x%2").arg(size.width()).arg(size.height())));
      QVERIFY(!dl()->geometry().intersects(nd()->geometry()));
      QVERIFY(t.rect().contains(dl()->geometry()));
      QCOMPARE(dl()->width(), t.Picture1->width());
    }
    send(nd(), "showTemplate");
    QVERIFY(!t.Picture1->isHidden() && !dl()->geometry().intersects(t.Picture1->geometry()));
    t.startDownload();
    QCOMPARE(dl()->size(), QSize(Twips::toPixelsX(8655), Twips::toPixelsY(5295)));
    QCOMPARE(dl()->pos(), QPoint(t.width() / 2 - dl()->width() / 2, t.height() / 2 - dl()->height() / 2));
  }

  // The requests of the new-design movie act like the downloader's; answers go to the downloader.
  void newDesignMovieActsLikeDownloader() {
    Template& t = browser();
    send(nd(), "checkPage", "n1.jpg");
    stream(nd(), "n1.jpg", "page");
    send(nd(), "checkPage", "n1.jpg");
    QCOMPARE(readAll(at("Template/Pages/n1.jpg")), QByteArray("page"));
    QCOMPARE(dl()->calls, (QStringList{BuildCall("checkPage", {"false"}), BuildCall("checkPage", {"true"})}));
    QVERIFY(nd()->calls.isEmpty());
    send(nd(), "cancelDown");
    QCOMPARE(t.exitMode, QString("1"));
    QVERIFY(t.isHidden());
    QCOMPARE(dl()->calls.last(), BuildCall("checkPage", {"wait"}));
  }

  void closeRule() {
    // The user closes the window: the welcome window comes back.
    QPointer<Template> closed;
    {
      Template& t = browser();
      closed = &t;
      t.startDownload();
      QVERIFY(t.close());
      QVERIFY(!Forms::templateSlot().isLoaded());
      QVERIFY(Forms::welcomeSlot().isLoaded() && Forms::welcome().isVisible());
    }
    Forms::welcome().hideForm();
    QVERIFY(Forms::templateSlot().get() == nullptr);
    QTRY_VERIFY(!closed);
    // A cancelled download shows the welcome window at once and closes the browser 1.5 s later,
    // without showing the welcome window a second time.
    Template& t = browser();
    send(dl(), "cancelDown");
    QVERIFY(Forms::welcome().isVisible());
    QVERIFY(t.Timer1->isActive());
    QCOMPARE(t.Timer1->interval(), 1500);
    Forms::welcome().hideForm();
    QTRY_VERIFY_WITH_TIMEOUT(!Forms::templateSlot().isLoaded(), 5000);
    QVERIFY(!Forms::welcome().isVisible());
  }

  void welcomeOpensBrowser() {
    WelCome& w = Forms::welcome();
    w.load();
    w.showForm();
    fp_->player("ad01")->request("new", {"http://h/main/templates.aspx"});
    Template* t = Forms::templateSlot().get();
    QVERIFY(t && t->isLoaded() && t->isVisible());
    QVERIFY(!t->Timer1->isActive());
    QVERIFY(!w.isVisible());
    QCOMPARE(t->windowTitle(), QString("Quorvel"));
    QCOMPARE(web()->navigated, QStringList{"http://h/main/templates.aspx"});
  }

  // A new design asked for within the 1.5 s after a cancelled download, while the browser is still
  // loaded: it comes back as new, stays open, and closing it leads back to the welcome window.
  void newDesignSoonAfterCancel() {
    WelCome& w = Forms::welcome();
    w.showForm();
    fp_->player("ad01")->request("new", {"http://h/main/templates.aspx"});
    Template* t = Forms::templateSlot().get();
    QVERIFY(!web()->follow("http://h/Design.A1.aspx"));
    send(dl(), "DownComplate");
    send(dl(), "saveFile", "half.jpg");
    send(dl(), "sendData", "aGk=");
    send(nd(), "cancelDown");
    QVERIFY(w.isVisible() && t->Timer1->isActive());

    fp_->player("ad01")->request("new", {"http://h/main/other.aspx"});
    QCOMPARE(Forms::templateSlot().get(), t);
    QVERIFY(t->isVisible() && !w.isVisible());
    QCOMPARE(t->exitMode, QString("0"));
    QVERIFY(!t->Timer1->isActive());
    QCOMPARE(web()->navigated.last(), QString("http://h/main/other.aspx"));
    QCOMPARE(QString("%1%2%3").arg(!t->Picture1->isHidden()).arg(!dl()->isHidden()).arg(!nd()->isHidden()),
             QString("100"));
    QVERIFY(!t->isReceiving());  // the file cut off by the cancel is dropped, not stored half
    QCOMPARE(filesUnder(at("Template/Pages")), QStringList{});

    QVERIFY(t->close());
    QVERIFY(w.isVisible());
  }

  void commandLineLinkStartsDownload() {
    setCommand("zelka://0123456789abcdef0123456789abcdef/");
    WelCome& w = Forms::welcome();
    w.load();
    QVERIFY(w.handedOver());
    Template* t = Forms::templateSlot().get();
    QVERIFY(t && t->isVisible());
    QCOMPARE(g.templateNO, QString("0123456789ABCDEF0123456789ABCDEF"));
    QCOMPARE(dl()->calls, QStringList{BuildCall("setvar", {g.templateNO, g.siteURL})});
    QVERIFY(t->Picture1->isHidden());
    setCommand(QString());
  }
};

QTEST_MAIN(TemplateTest)
#include "tst_Template.moc"
