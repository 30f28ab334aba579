// The upload preparation end to end with fake movies and a recording server page: the package,
// the progress calls, the order to the shop and the hand-over; and the order window's close rule.
#include "FakePlatform.h"
#include "FileFixture.h"
#include "FlashBridge.h"
#include "Form.h"
#include "Forms.h"
#include "HttpRecorder.h"
#include "ICO.h"
#include "ImageFixture.h"
#include "Imaging.h"
#include "LogIN.h"
#include "Paths.h"
#include "WelCome.h"
#include "YieldFixture.h"
#include "ZipReader.h"
#include "buy.h"
#include "frmMain.h"
#include "mainModule.h"
#include "orderRequest.h"

#include <QDomDocument>
#include <QElapsedTimer>
#include <QtTest>

namespace {
const QString kDesign = QStringLiteral(
    "<design><attributes><name>T1</name><dpi>300dpi</dpi></attributes>"
    "<page><template><title>内页</title>"
    "<image><fro>l</fro><w>72</w><h>36</h><src>MyDesign\\Book\\Images\\big.jpg</src></image>"
    "<image><ti>true</ti><fro>l</fro><w>72</w><h>36</h><src>fixed.jpg</src></image>"
    "<image><fro>l</fro><w>72</w><h>36</h><src></src></image>"
    "<group><sharp><fro>l</fro><sw>72</sw><sh>72</sh><sr>90</sr><src>small.png</src></sharp></group>"
    "</template><template><title> 封面 </title></template></page></design>");

// A design of one page whose pictures are the given image frames, 72 x 36 points at 300 dpi.
QString designOf(const QStringList& sources) {
  QString frames;
  for (const QString& src : sources)
    frames += "<image><fro>l</fro><w>" + QString(src == "bad size" ? "x" : "72") + "</w><h>36</h><src>" +
              (src == "bad size" ? "big.jpg" : src) + "</src></image>";
  return "<design><attributes><name>T1</name><dpi>300</dpi></attributes><page><template><title>内页</title>" +
         frames + "</template></page></design>";
}

// A design whose pages hold the given numbers of pictures, big.jpg and small.png by turns.
QString designOfPages(const QList<int>& perPage) {
  QString pages;
  int n = 0;
  for (int count : perPage) {
    pages += "<page><template><title>内页</title>";
    for (int i = 0; i < count; ++i, ++n)
      pages += QString("<image><fro>l</fro><w>72</w><h>36</h><src>%1</src></image>").arg(n % 2 ? "small.png" : "big.jpg");
    pages += "</template></page>";
  }
  return "<design><attributes><name>T1</name><dpi>300</dpi></attributes>" + pages + "</design>";
}

// The member names of a complete package of n pictures.
QStringList packageOf(int n) {
  QStringList names;
  for (int i = 0; i < n; ++i) names << QString::number(i);
  return names << "Index.DPT";
}
}  // namespace

class TestUpDesign : public QObject {
  Q_OBJECT
  QTemporaryDir* tmp = nullptr;
  FakePlatform* fp = nullptr;
  HttpRecorder* server = nullptr;
  QByteArray png;

  frmMain& openWorkspace() {
    frmMain& w = Forms::workspace();
    w.load();
    return w;
  }

private Q_SLOTS:
  void initTestCase() { Form::setQuitWhenLastUnloaded(false); }
  void init() {
    tmp = new QTemporaryDir;
    Paths::setProgramFolder(tmp->path());
    g = Globals();
    fp = new FakePlatform;
    InitGlobals();
    server = new HttpRecorder;
    g.serverURL = server->url();
    g.siteURL = "http://127.0.0.1:" + QString::number(server->port());
    g.designName = "Book";
    g.designPath = g.myDesignPath + "/Book";
    g.isLogin = true;
    QDir().mkpath(g.designPath + "/Images");
    QVERIFY(writeJpeg(g.designPath + "/Images/big.jpg", 3000, 1500));
    QBuffer buf(&png);
    buf.open(QIODevice::WriteOnly);
    twoColourImage(200, 100).save(&buf, "PNG");
    QFile f(g.designPath + "/Images/small.png");
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(png);
  }
  void cleanup() {
    Forms::buySlot().reset();
    Forms::logINSlot().reset();
    Forms::workspaceSlot().reset();
    Forms::welcomeSlot().reset();
    Forms::icoSlot().reset();
    delete server;
    delete fp;
    delete tmp;
  }

  void acceptedUpload() {
    server->replyBody = "<reply flag=\"ok\" did=\"D1\"/>";
    frmMain& w = openWorkspace();
    g.designState = "editing";
    fp->player("WorkArea")->request("upDesign", {kDesign});

    // The package: prepared pictures by number in the walk's order (the copied picture is ready
    // long before the resampled one), a number used up by the frame without a picture, the
    // rewritten design last.
    const QString upFile = g.designPath + "/UpLoad/Book.TMP";
    const ZipReadOut package = readZipWithPython(upFile);
    QCOMPARE(package.names(), QStringList({"0", "2", "Index.DPT"}));
    QCOMPARE(package.member("2").value("size").toInteger(), qint64(png.size()));
    QImage first;
    QVERIFY(first.loadFromData(readZipMember(upFile, "0"), "JPEG"));
    QCOMPARE(first.size(), QSize(300, 150));
    QCOMPARE(readZipMember(upFile, "2"), png);  // small enough: its own bytes
    QDomDocument index;
    QVERIFY(index.setContent(readZipMember(upFile, "Index.DPT")));
    const QDomNodeList images = index.elementsByTagName("image");
    QCOMPARE(images.at(0).firstChildElement("src").text(), QString("0"));
    QCOMPARE(images.at(1).firstChildElement("fro").text(), QString("t"));
    QCOMPARE(images.at(1).firstChildElement("src").text(), QString("fixed.jpg"));
    QCOMPARE(images.at(2).firstChildElement("src").text(), QString());
    QCOMPARE(index.elementsByTagName("sharp").at(0).firstChildElement("src").text(), QString("2"));
    QCOMPARE(QDir(g.designPath + "/UpLoad").entryList(QDir::Files), QStringList({"Book.TMP"}));

    // The progress movie's calls and flash variables.
    FakeFlashPlayer* progress = fp->player("progress");
    QVERIFY(progress->movie().endsWith("/Progress.ctr"));
    QCOMPARE(progress->calls, QStringList({
        BuildCall("setTitle", {"正在准备上传文件，请稍候...", "0"}),
        BuildCall("setTitle", {"正在准备上传文件，请稍候... (1)", "0"}),
        BuildCall("setTitle", {"正在准备上传文件，请稍候... ", "100"})}));
    QCOMPARE(progress->flashVars(), QString("work=true&title=正在准备上传文件，请稍候... &cur=100"));
    QVERIFY(w.WorkArea->isHidden());

    // The order, the order window, the hand-over and the uploader.
    QCOMPARE(server->requests.size(), 1);
    QCOMPARE(server->requests[0].body, QByteArray("Order=SaveDesign&TemplateNO=T1&pCount=1"));
    QCOMPARE(g.buyURL, g.siteURL + "/main/buy.aspx?ID=D1");
    QVERIFY(Forms::buySlot().isLoaded());
    QCOMPARE(fp->browsers.last()->navigated, QStringList({g.buyURL}));
    QCOMPARE(fp->clipboard.log, QStringList({"clear", "set:upload@@;Book;D1"}));
    QCOMPARE(fp->process.started, QStringList({Paths::join(Paths::programFolder(), "upload")}));
    QVERIFY(w.Timer2->isActive());
    QCOMPARE(g.designState, QString());
    QVERIFY(fp->msgBox.shown.isEmpty());
  }

  // Many pictures at once, more than are made side by side: members by number in the walk's
  // order whichever is ready first, every source rewritten, the progress page by page.
  void manyPicturesInOrder() {
    server->replyBody = "<reply flag=\"ok\" did=\"D1\"/>";
    const int n = 7 + 0 + 12;
    frmMain& w = openWorkspace();
    w.upDesign(designOfPages({7, 0, 12}));
    const QString upFile = g.designPath + "/UpLoad/Book.TMP";
    QCOMPARE(readZipWithPython(upFile).names(), packageOf(n));
    for (int i = 0; i < n; ++i) {
      const QByteArray member = readZipMember(upFile, QString::number(i));
      if (i % 2) {
        QCOMPARE(member, png);
        continue;
      }
      QImage print;
      QVERIFY(print.loadFromData(member, "JPEG"));
      QCOMPARE(print.size(), QSize(300, 150));
    }
    QDomDocument index;
    QVERIFY(index.setContent(readZipMember(upFile, "Index.DPT")));
    const QDomNodeList images = index.elementsByTagName("image");
    for (int i = 0; i < n; ++i) QCOMPARE(images.at(i).firstChildElement("src").text(), QString::number(i));
    QCOMPARE(fp->player("progress")->calls, QStringList({
        BuildCall("setTitle", {"正在准备上传文件，请稍候...", "0"}),
        BuildCall("setTitle", {"正在准备上传文件，请稍候... (1)", "0"}),
        BuildCall("setTitle", {"正在准备上传文件，请稍候... (2)", "33.3333333333333"}),
        BuildCall("setTitle", {"正在准备上传文件，请稍候... (3)", "66.6666666666667"}),
        BuildCall("setTitle", {"正在准备上传文件，请稍候... ", "100"})}));
    QCOMPARE(server->requests.size(), 1);
    QCOMPARE(server->requests[0].body, QByteArray("Order=SaveDesign&TemplateNO=T1&pCount=3"));
  }

  // Closed (as its close button does) inside one of the preparation's yields: the preparation
  // stops there and the window goes only once it has returned. Nothing half-built stays, the old
  // package stays until a new one is complete, and nothing goes to the shop's order page or the
  // uploader. A design with unsaved changes asks first, and Cancel lets the upload go on.
  void closedDuringPreparation_data() {
    QTest::addColumn<QString>("moment");
    QTest::addColumn<QString>("stateBefore");
    QTest::addColumn<int>("answer");  // to the unsaved-changes question; 0 when none is asked
    QTest::newRow("progress shown") << "progress" << "" << 0;
    QTest::newRow("pictures being packed") << "pictures" << "" << 0;
    QTest::newRow("order waiting") << "order" << "" << 0;
    QTest::newRow("unsaved, closed all the same") << "pictures" << "editing" << int(Msg::OK);
    QTest::newRow("unsaved, close cancelled") << "pictures" << "editing" << int(Msg::Cancel);
  }
  void closedDuringPreparation() {
    QFETCH(QString, moment);
    QFETCH(QString, stateBefore);
    QFETCH(int, answer);
    server->replyBody = "<reply flag=\"ok\" did=\"D1\"/>";
    if (moment == "order") server->mode = HttpRecorder::Hold;
    const QString upload = g.designPath + "/UpLoad";
    writeFile(upload + "/Book.TMP", "old package");
    QPointer<frmMain> w(&openWorkspace());
    w->showForm();
    g.designState = stateBefore;
    if (answer) fp->msgBox.answers = {answer};
    FakeFlashPlayer* progress = fp->player("progress");
    closeWhen(w, [&] {
      if (moment == "progress") return !progress->calls.isEmpty();
      if (moment == "pictures") return progress->calls.size() >= 2;  // the first page is packed
      return !server->requests.isEmpty();
    });
    QElapsedTimer took;
    took.start();
    QVERIFY(staysThrough(w, [&] { fp->player("WorkArea")->request("upDesign", {designOfPages({6, 6, 6, 6})}); }));
    QCOMPARE(fp->msgBox.shown.size(), answer ? 1 : 0);
    if (answer) QCOMPARE(fp->msgBox.shown[0].title, QString("退出设计"));
    if (answer == Msg::Cancel) {
      QVERIFY(w->isLoaded());
      QCOMPARE(readZipWithPython(upload + "/Book.TMP").names(), packageOf(24));
      QCOMPARE(fp->clipboard.log, QStringList({"clear", "set:upload@@;Book;D1"}));
      QVERIFY(w->Timer2->isActive());
      return;
    }
    QVERIFY(!w->isLoaded() && !Forms::workspaceSlot().isLoaded());
    QVERIFY(Forms::welcome().isVisible());
    QVERIFY(took.elapsed() < orderTimeoutMs);  // the close ended the wait for the order's answer
    QVERIFY(!Forms::buySlot().isLoaded());
    QVERIFY(fp->clipboard.log.isEmpty());
    QVERIFY(fp->process.started.isEmpty());
    QVERIFY(!w->Timer2->isActive());
    QCOMPARE(QDir(upload).entryList(QDir::Files), QStringList({"Book.TMP"}));
    if (moment == "order") {
      QCOMPARE(server->requests.size(), 1);
      QCOMPARE(readZipWithPython(upload + "/Book.TMP").names(), packageOf(24));
    } else {
      QVERIFY(server->requests.isEmpty());
      QCOMPARE(readAll(upload + "/Book.TMP"), QByteArray("old package"));
      QVERIFY(!progress->calls.contains(BuildCall("setTitle", {"正在准备上传文件，请稍候... ", "100"})));
    }
    QTRY_VERIFY(!w);
  }

  // The design's picture folder may be stored in another letter case; its pictures are found.
  void pictureFolderInOtherCase() {
    server->replyBody = "<reply flag=\"ok\" did=\"D1\"/>";
    QVERIFY(QDir(g.designPath).rename("Images", "images"));
    frmMain& w = openWorkspace();
    w.upDesign(designOf({"MyDesign\\Book\\Images\\big.jpg", "SMALL.png"}));
    const QString upFile = g.designPath + "/UpLoad/Book.TMP";
    QCOMPARE(readZipWithPython(upFile).names(), QStringList({"0", "1", "Index.DPT"}));
    QImage first;
    QVERIFY(first.loadFromData(readZipMember(upFile, "0"), "JPEG"));
    QCOMPARE(first.size(), QSize(300, 150));
    QCOMPARE(readZipMember(upFile, "1"), png);
    QCOMPARE(server->requests.size(), 1);
    QVERIFY(fp->msgBox.shown.isEmpty());
  }

  // A picture that cannot be prepared keeps the whole design from the shop: the user is told how
  // many, nothing is registered, the old package and the unsaved state stay, the editor is back.
  void unpreparedPicturesStopTheUpload_data() {
    QTest::addColumn<QStringList>("sources");
    QTest::addColumn<int>("missing");
    QTest::newRow("picture gone") << QStringList{"big.jpg", "gone.jpg"} << 1;
    QTest::newRow("size not a number") << QStringList{"bad size", "small.png"} << 1;
    QTest::newRow("cannot be written") << QStringList{"blocked", "big.jpg"} << 1;
    QTest::newRow("several") << QStringList{"gone.jpg", "big.jpg", "other.png", "bad size"} << 3;
  }
  void unpreparedPicturesStopTheUpload() {
    QFETCH(QStringList, sources);
    QFETCH(int, missing);
    server->replyBody = "<reply flag=\"ok\" did=\"D1\"/>";
    QDir().mkpath(g.designPath + "/UpLoad");
    QFile old(g.designPath + "/UpLoad/Book.TMP");
    QVERIFY(old.open(QIODevice::WriteOnly));
    old.write("old package");
    old.close();
    // A folder where the picture's member file would go: it cannot be written.
    const int blocked = int(sources.indexOf("blocked"));
    if (blocked >= 0) {
      QVERIFY(QFile::copy(g.designPath + "/Images/small.png", g.designPath + "/Images/blocked"));
      QVERIFY(QDir().mkpath(g.designPath + "/UpLoad/" + QString::number(blocked) + "/inside"));
    }
    frmMain& w = openWorkspace();
    g.designState = "editing";
    w.upDesign(designOf(sources));
    QCOMPARE(fp->msgBox.shown.size(), 1);
    QCOMPARE(fp->msgBox.shown[0].text, QString("有 %1 张图片无法准备，请检查后重新上传。").arg(missing));
    QCOMPARE(fp->msgBox.shown[0].title, QString("上传设计"));
    QVERIFY(server->requests.isEmpty());
    QVERIFY(fp->clipboard.log.isEmpty());
    QVERIFY(fp->process.started.isEmpty());
    QCOMPARE(g.designState, QString("editing"));
    QVERIFY(!w.WorkArea->isHidden());
    QVERIFY(w.progress->isHidden());
    QVERIFY(!w.Timer2->isActive());
    QCOMPARE(QFileInfo(old.fileName()).size(), 11);
    QStringList left = QDir(g.designPath + "/UpLoad").entryList(QDir::Files);
    QCOMPARE(left, QStringList({"Book.TMP"}));
  }

  void refusedOrUnreadableReply_data() {
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QString>("message");
    QTest::newRow("refused") << QByteArray("<reply flag=\"no\"/>") << "未找到相对应的产品资料，该产品可能已删除，请与客服联系。";
    QTest::newRow("ok without did") << QByteArray("<reply flag=\"ok\"/>") << "未找到相对应的产品资料，该产品可能已删除，请与客服联系。";
    QTest::newRow("not xml") << QByteArray("Server Error") << "无法连接服务器或服务器的回复无法读取，请稍后重试。";
  }
  void refusedOrUnreadableReply() {
    QFETCH(QByteArray, reply);
    QFETCH(QString, message);
    server->replyBody = reply;
    frmMain& w = openWorkspace();
    w.upDesign("<design><attributes><name>T1</name></attributes></design>");
    QCOMPARE(fp->msgBox.shown.size(), 1);
    QCOMPARE(fp->msgBox.shown[0].text, message);
    QCOMPARE(fp->msgBox.shown[0].title, QString("上传设计"));
    QVERIFY(Forms::welcome().isVisible());
    QVERIFY(w.isHidden());
    QVERIFY(w.Timer2->isActive());
    QVERIFY(fp->clipboard.log.isEmpty());
    QVERIFY(fp->process.started.isEmpty());
    QVERIFY(!Forms::buySlot().isLoaded());
    const ZipReadOut old = readZipWithPython(g.designPath + "/UpLoad/Book.TMP");
    QCOMPARE(old.names(), QStringList{"Index.DPT"});
    QCOMPARE(old.member("Index.DPT").value("size").toInteger(), qint64(57));
  }

  // Not logged in after the dialog: nothing is built or sent, the editor stays usable.
  void loginDialogClosed() {
    g.isLogin = false;
    frmMain& w = openWorkspace();
    g.designState = "editing";
    QTimer::singleShot(100, [] { Forms::logINSlot().unload(); });
    w.upDesign(kDesign);
    QVERIFY(!QFileInfo::exists(g.designPath + "/UpLoad"));
    QVERIFY(server->requests.isEmpty());
    QCOMPARE(g.designState, QString());
    QVERIFY(!w.WorkArea->isHidden());
  }

  // A design without its template number, or that does not parse, is not sent; the old package
  // and the unsaved state stay.
  void incompleteDesign() {
    QDir().mkpath(g.designPath + "/UpLoad");
    QFile old(g.designPath + "/UpLoad/Book.TMP");
    QVERIFY(old.open(QIODevice::WriteOnly));
    old.write("old package");
    old.close();
    frmMain& w = openWorkspace();
    const QString deep = "<design><attributes><name>T1</name></attributes>" + QString("<group>").repeated(64) +
                         QString("</group>").repeated(64) + "</design>";
    for (const QString& xml : {QString("<design><page/></design>"), QString("<design"), deep}) {
      g.designState = "editing";
      w.upDesign(xml);
      QCOMPARE(g.designState, QString("editing"));
    }
    QCOMPARE(fp->msgBox.shown.size(), 3);
    QVERIFY(server->requests.isEmpty());
    QCOMPARE(QFileInfo(old.fileName()).size(), 11);
    QVERIFY(!w.WorkArea->isHidden());
  }

  // A design folder named with ";" (made outside the client) cannot be handed to the uploader,
  // whose task text is split at ";": refused before the login, the package and the order.
  void nameWithSemicolonRefused() {
    g.isLogin = false;
    g.designName = "Bo;ok";
    g.designPath = g.myDesignPath + "/Bo;ok";
    QVERIFY(QDir().mkpath(g.designPath + "/Images"));
    server->replyBody = "<reply flag=\"ok\" did=\"D3\"/>";
    frmMain& w = openWorkspace();
    g.designState = "editing";
    bool loginShown = false;
    QTimer::singleShot(100, [&] { loginShown = Forms::logINSlot().isLoaded() && Forms::logINSlot().unload(); });
    w.upDesign(kDesign);
    QTest::qWait(150);
    QVERIFY(!loginShown);
    QCOMPARE(fp->msgBox.shown.size(), 1);
    QCOMPARE(fp->msgBox.shown[0].title, QString("上传设计"));
    QVERIFY2(fp->msgBox.shown[0].text.contains("Bo;ok") && fp->msgBox.shown[0].text.contains(";"),
             qPrintable(fp->msgBox.shown[0].text));
    QVERIFY(!QFileInfo::exists(g.designPath + "/UpLoad"));
    QVERIFY(server->requests.isEmpty());
    QVERIFY(fp->clipboard.log.isEmpty());
    QVERIFY(fp->process.started.isEmpty());
    QCOMPARE(g.designState, QString("editing"));
    QVERIFY(!w.WorkArea->isHidden() && w.progress->isHidden());
  }

  void uploaderMissing() {
    server->replyBody = "<reply flag=\"ok\" did=\"D2\"/>";
    fp->process.nextPid = 0;
    frmMain& w = openWorkspace();
    w.upDesign("<design><attributes><name>T1</name></attributes></design>");
    QCOMPARE(fp->msgBox.shown.size(), 1);
    QCOMPARE(fp->clipboard.content, QString("upload@@;Book;D2"));
    QVERIFY(w.Timer2->isActive());
  }

  void orderWindowCloseRule_data() {
    QTest::addColumn<QString>("location");
    QTest::addColumn<bool>("asks");
    const QString site = "http://shop.example";
    QTest::newRow("buy page, other case") << site + "/MAIN/Buy.aspx?ID=D1" << true;
    QTest::newRow("shopping bag") << site + "/main/shoppingbag.aspx" << true;
    QTest::newRow("order creation with query") << site + "/main/creatorder.aspx?x=1" << true;
    QTest::newRow("site root") << site + "/" << false;
    QTest::newRow("other host") << "http://other.example/main/buy.aspx?ID=1" << false;
    QTest::newRow("other scheme") << "https://shop.example/main/buy.aspx" << false;
    QTest::newRow("outside main") << site + "/help/buy.aspx" << false;
    QTest::newRow("blank page") << "about:blank" << false;
    QTest::newRow("nothing loaded") << "" << false;
  }
  void orderWindowCloseRule() {
    QFETCH(QString, location);
    QFETCH(bool, asks);
    g.siteURL = "http://shop.example";
    QCOMPARE(isOrderPage(orderPageName(location, g.siteURL)), asks);
  }

  void orderWindowClosing() {
    g.siteURL = "http://shop.example";
    g.buyURL = g.siteURL + "/main/buy.aspx?ID=D1";
    buy& b = Forms::buyWindow();
    b.toBuy();
    b.showForm();
    fp->msgBox.answers = {Msg::Cancel, Msg::OK};
    QVERIFY(!b.unload());  // Cancel keeps it open on its page
    QVERIFY(b.isLoaded());
    QVERIFY(!Forms::welcomeSlot().isLoaded() || !Forms::welcome().isVisible());
    QVERIFY(b.unload());  // asked again, OK closes
    QCOMPARE(fp->msgBox.shown.size(), 2);
    QCOMPARE(fp->msgBox.shown[0].title, QString("客户端"));
    QVERIFY(fp->msgBox.shown[0].text.contains("\r\n如因意外原因"));
    QVERIFY(Forms::welcome().isVisible());
  }

  // Closed again (the welcome window's close closes it too) while its question is on screen: no
  // second question, the answer to the first decides, and the window is gone only afterwards.
  void orderWindowClosedAgainWhileAsking() {
    g.siteURL = "http://shop.example";
    g.buyURL = g.siteURL + "/main/buy.aspx?ID=D1";
    QPointer<buy> b(&Forms::buyWindow());
    b->toBuy();
    b->showForm();
    QVERIFY(!Forms::welcomeSlot().isLoaded());
    const int loaded = Form::loadedCount();
    bool asked = false, again = true, goneWhileAsking = false;
    fp->msgBox.onShow = [&](const MessageRecord&) {
      if (asked) return;
      asked = true;
      again = Forms::buySlot().unload();
      QTest::qWait(1);
      goneWhileAsking = !b;
    };
    fp->msgBox.answers = {Msg::OK};
    QVERIFY(b->unload());
    QVERIFY(!again);
    QVERIFY(!goneWhileAsking);
    QCOMPARE(fp->msgBox.shown.size(), 1);
    QCOMPARE(Form::loadedCount(), loaded);  // the order window out once, the welcome window in
    QVERIFY(Forms::welcome().isVisible());
    QTRY_VERIFY(!b);
  }
};

QTEST_MAIN(TestUpDesign)
#include "tst_upDesign.moc"
