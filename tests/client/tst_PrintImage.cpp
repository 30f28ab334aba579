// Print picture sizes and the walk that numbers a design's pictures.
#include "FileFixture.h"
#include "ImageFixture.h"
#include "Imaging.h"
#include "PrintImage.h"
#include "upDesign.h"

#include <QDomDocument>
#include <QTemporaryDir>
#include <QtTest>

using namespace PrintImage;

class TestPrintImage : public QObject {
  Q_OBJECT
private Q_SLOTS:
  void numbers_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<double>("dpi");
    QTest::addColumn<long long>("rotation");
    QTest::newRow("300 and letters") << "300dpi" << 300.0 << 300LL;
    QTest::newRow("no number") << "abc" << 72.0 << 0LL;
    QTest::newRow("empty") << "" << 72.0 << 0LL;
    QTest::newRow("71.5") << "71.5" << 72.0 << 72LL;
    QTest::newRow("450") << "450" << 450.0 << 90LL;
    QTest::newRow("-90") << "-90" << 72.0 << -90LL;
    QTest::newRow("720") << "720" << 720.0 << 0LL;
    QTest::newRow("360") << "360" << 360.0 << 0LL;
    QTest::newRow("45 and letters") << "45deg" << 72.0 << 45LL;
    QTest::newRow("half to even") << " 92.5" << 92.5 << 92LL;
  }
  void numbers() {
    QFETCH(QString, text);
    QFETCH(double, dpi);
    QFETCH(long long, rotation);
    QCOMPARE(designDpi(text), dpi);
    QCOMPARE(rotationOf(text), rotation);
  }

  void sizes_data() {
    QTest::addColumn<QString>("kind");
    QTest::addColumn<double>("w");
    QTest::addColumn<double>("h");
    QTest::addColumn<QSize>("picture");
    QTest::addColumn<QString>("sr");
    QTest::addColumn<QSize>("result");  // empty: copied unchanged
    QTest::newRow("image shrunk") << "image" << 72.0 << 36.0 << QSize(3000, 1500) << "" << QSize(300, 150);
    QTest::newRow("image small enough") << "image" << 72.0 << 36.0 << QSize(200, 100) << "" << QSize();
    QTest::newRow("image ratio equal to t") << "image" << 72.0 << 36.0 << QSize(300, 150) << "" << QSize();
    QTest::newRow("image stretched to frame") << "image" << 144.0 << 72.0 << QSize(1000, 1000) << "" << QSize(600, 300);
    QTest::newRow("sharp turned 90") << "sharp" << 72.0 << 0.0 << QSize(4000, 3000) << "90" << QSize(400, 300);
    QTest::newRow("sharp turned -90") << "sharp" << 72.0 << 0.0 << QSize(4000, 3000) << "-90" << QSize(400, 300);
    QTest::newRow("sharp unturned") << "sharp" << 72.0 << 0.0 << QSize(4000, 3000) << "" << QSize(300, 225);
    QTest::newRow("sharp 720") << "sharp" << 72.0 << 0.0 << QSize(4000, 3000) << "720" << QSize(300, 225);
    QTest::newRow("sharp small") << "sharp" << 72.0 << 0.0 << QSize(250, 100) << "" << QSize();
  }
  void sizes() {
    QFETCH(QString, kind);
    QFETCH(double, w);
    QFETCH(double, h);
    QFETCH(QSize, picture);
    QFETCH(QString, sr);
    QFETCH(QSize, result);
    const Decision d = kind == "image"
        ? forImage(w, h, picture.width(), picture.height(), 300)
        : forSharp(w, picture.width(), picture.height(), rotationOf(sr), 300);
    QCOMPARE(d.copy, result.isEmpty());
    if (!d.copy) QCOMPARE(d.size, result);
  }

  void percentages() {
    QCOMPARE(percentText(0), QString("0"));
    QCOMPARE(percentText(1 * (100.0 / 3)), QString("33.3333333333333"));
    QCOMPARE(percentText(2 * (100.0 / 3)), QString("66.6666666666667"));
    QCOMPARE(percentText(50), QString("50"));
    QCOMPARE(Max(2, 2), 2.0);
    QCOMPARE(Max(3, 2), 3.0);
  }

  // Numbers go to the user's own pictures in walk order; fixed template pictures, empty or
  // missing sources use none; a group's pictures come after the template's own.
  void walkNumbersAndCounts() {
    QDomDocument doc;
    QVERIFY(doc.setContent(QStringLiteral(
        "<design><attributes><name>T1</name><dpi>300</dpi></attributes>"
        "<page><template><title> 封面 </title>"
        "<image><ti>true</ti><fro>l</fro><src>fixed.jpg</src></image>"
        "<group><sharp><fro>l</fro><src>g1.jpg</src></sharp></group>"
        "<sharp><fro>l</fro><src>s1.jpg</src></sharp>"
        "<image><fro>l</fro><src>i1.jpg</src></image>"
        "</template></page>"
        "<page><template><title>内页</title>"
        "<sharp><fro>l</fro><src></src></sharp><sharp><fro>l</fro></sharp>"
        "<sharp><fro>t</fro><src>t.jpg</src></sharp>"
        "</template><template><title>扉页</title></template><template></template></page>"
        "<page/></design>")));
    QStringList order, titles;
    int yields = 0;
    UpDesign::WalkSteps steps;
    steps.prepImage = [&](QDomElement e, int n) { order << QString("i%1:%2").arg(n).arg(UpDesign::childText(e, "src")); };
    steps.prepSharp = [&](QDomElement e, int n) { order << QString("s%1:%2").arg(n).arg(UpDesign::childText(e, "src")); };
    steps.yield = [&] {
      ++yields;
      return true;
    };
    steps.setTitle = [&](const QString& t, const QString& p) { titles << t + "|" + p; };
    const int pCount = UpDesign::walkPages(doc.documentElement(), steps);
    QCOMPARE(order, QStringList({"i0:i1.jpg", "s1:s1.jpg", "s2:g1.jpg"}));
    QCOMPARE(pCount, 2);  // 内页 and the untitled template
    QCOMPARE(yields, 4 + 3);
    QCOMPARE(titles, QStringList({"正在准备上传文件，请稍候... (1)|0",
                                  "正在准备上传文件，请稍候... (2)|33.3333333333333",
                                  "正在准备上传文件，请稍候... (3)|66.6666666666667"}));
    const QDomElement fixed = doc.documentElement().firstChildElement("page")
        .firstChildElement("template").firstChildElement("image");
    QCOMPARE(UpDesign::childText(fixed, "fro"), QString("t"));

    // A yield that says stop ends the walk there: no title, nothing of the pages after it.
    order.clear();
    titles.clear();
    steps.yield = [] { return false; };
    QCOMPARE(UpDesign::walkPages(doc.documentElement(), steps), 0);
    QCOMPARE(order, QStringList({"i0:i1.jpg", "s1:s1.jpg", "s2:g1.jpg"}));
    QVERIFY(titles.isEmpty());
  }

  // One picture's member file as a pool thread makes it, for a 72 x 36 point frame at 300 dpi:
  // a JPEG at the print size, the source's own bytes, or nothing.
  void prepare_data() {
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("result");  // "jpeg", "copy" or "none"
    QTest::newRow("larger than the print") << "large jpeg" << "jpeg";
    QTest::newRow("small enough") << "small png" << "copy";
    QTest::newRow("not a picture") << "text" << "copy";
    QTest::newRow("transparent png prints on white") << "transparent png" << "jpeg";
    QTest::newRow("missing") << "missing" << "none";
    QTest::newRow("a folder") << "folder" << "none";
  }
  void prepare() {
    QFETCH(QString, kind);
    QFETCH(QString, result);
    QTemporaryDir dir;
    Job job;
    job.source = dir.filePath("source");
    job.target = dir.filePath("7");
    job.width = 72;
    job.height = 36;
    job.dpi = 300;
    if (kind == "large jpeg") {
      QVERIFY(writeJpeg(job.source, 3000, 1500));
    } else if (kind == "small png") {
      QVERIFY(twoColourImage(200, 100).save(job.source, "PNG"));
    } else if (kind == "text") {
      writeFile(job.source, "no picture");
    } else if (kind == "transparent png") {
      QVERIFY(twoColourImage(1000, 500, Qt::transparent, Qt::blue).save(job.source, "PNG"));
    } else if (kind == "folder") {
      QVERIFY(QDir().mkpath(job.source));
    }
    writeFile(job.target, "left from before");

    const Made m = PrintImage::prepare(job);
    QCOMPARE(m.made, result != "none");
    QCOMPARE(QFile::exists(job.target), result != "none");
    if (result == "copy") QCOMPARE(readAll(job.target), readAll(job.source));
    if (result != "jpeg") return;
    Imaging::Picture written;
    QVERIFY(written.load(job.target));
    QVERIFY(written.isJpeg());
    QCOMPARE(written.size(), QSize(300, 150));
    const QImage print = written.image();
    QVERIFY(near(print.pixel(20, 75), kind == "transparent png" ? QColor(Qt::white) : QColor(Qt::red), 12));
    QVERIFY(near(print.pixel(280, 75), Qt::blue, 12));
  }

  void texts() {
    QCOMPARE(UpDesign::handoverText("Book", "D1"), QString("upload@@;Book;D1"));
  }
};

QTEST_MAIN(TestPrintImage)
#include "tst_PrintImage.moc"
