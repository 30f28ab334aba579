// The imaging layer: JPEG through TurboJPEG (scaled decoding, baseline output, chroma), other
// formats through QImage, the off-screen picture box.
#include "ImageFixture.h"
#include "Imaging.h"
#include "Twips.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

using namespace Imaging;

namespace {
// The start-of-frame marker and the per-component sampling bytes of a JPEG file.
bool frameHeader(const QByteArray& b, int& marker, QByteArray& sampling) {
  for (int i = 2; i + 4 < b.size();) {
    if (uchar(b[i]) != 0xFF) return false;
    const int m = uchar(b[i + 1]);
    const int len = (uchar(b[i + 2]) << 8) | uchar(b[i + 3]);
    if (m >= 0xC0 && m <= 0xC2) {
      marker = m;
      const int n = uchar(b[i + 9]);
      for (int c = 0; c < n; ++c) sampling.append(b[i + 11 + 3 * c]);
      return true;
    }
    i += 2 + len;
  }
  return false;
}

bool near(QRgb a, QColor b) {
  return qAbs(qRed(a) - b.red()) < 40 && qAbs(qGreen(a) - b.green()) < 40 && qAbs(qBlue(a) - b.blue()) < 40;
}
}  // namespace

class TestImaging : public QObject {
  Q_OBJECT
  QTemporaryDir dir;

private Q_SLOTS:
  void writerAvailable() { QVERIFY(jpegWriterAvailable()); }

  // Baseline JPEG at any quality; thumbnails subsample the chroma, print pictures keep it whole.
  void savesBaselineJpeg_data() {
    QTest::addColumn<int>("quality");
    QTest::addColumn<bool>("full");
    QTest::addColumn<QByteArray>("sampling");
    QTest::newRow("thumbnail 80") << 80 << false << QByteArray("\x22\x11\x11", 3);
    QTest::newRow("print 100 4:4:4") << 100 << true << QByteArray("\x11\x11\x11", 3);
  }
  void savesBaselineJpeg() {
    QFETCH(int, quality);
    QFETCH(bool, full);
    QFETCH(QByteArray, sampling);
    const QString path = dir.filePath("out.jpg");
    QVERIFY(saveJpeg(twoColourImage(301, 201), path, quality, full ? Chroma::Full444 : Chroma::Sub420));
    QFile f(path);
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QByteArray bytes = f.readAll();
    int marker = 0;
    QByteArray got;
    QVERIFY(frameHeader(bytes, marker, got));
    QCOMPARE(marker, 0xC0);
    QCOMPARE(got, sampling);
    QCOMPARE(pictureSize(path), QSize(301, 201));
  }

  void saveFailures() {
    QVERIFY(!saveJpeg(QImage(), dir.filePath("null.jpg"), 80));
    QVERIFY(!saveJpeg(twoColourImage(10, 10), dir.filePath("no/such/folder/x.jpg"), 80));
  }

  void dctScale_data() {
    QTest::addColumn<QSize>("picture");
    QTest::addColumn<QSize>("target");
    QTest::addColumn<int>("denominator");
    QTest::newRow("6000x4000 to 150x100") << QSize(6000, 4000) << QSize(150, 100) << 8;
    QTest::newRow("exactly an eighth") << QSize(1200, 800) << QSize(150, 100) << 8;
    QTest::newRow("one pixel more than an eighth") << QSize(1200, 800) << QSize(151, 100) << 4;
    QTest::newRow("odd size rounds up") << QSize(1201, 801) << QSize(151, 101) << 8;
    QTest::newRow("height decides") << QSize(1200, 400) << QSize(150, 75) << 4;
    QTest::newRow("a half") << QSize(400, 300) << QSize(150, 112) << 2;
    QTest::newRow("not much smaller: full decode") << QSize(200, 150) << QSize(150, 112) << 1;
    QTest::newRow("no target: full decode") << QSize(6000, 4000) << QSize() << 1;
  }
  void dctScale() {
    QFETCH(QSize, picture);
    QFETCH(QSize, target);
    QFETCH(int, denominator);
    QCOMPARE(dctDenominator(picture, target), denominator);
  }

  // Every format comes out at exactly the asked size with the whole picture in it.
  void loadsAndScales_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("format");
    QTest::newRow("jpeg") << "p.jpg" << QByteArray("JPEG");
    QTest::newRow("jpeg named .png") << "jpeg.png" << QByteArray("JPEG");
    QTest::newRow("png") << "p.png" << QByteArray("PNG");
    QTest::newRow("bmp") << "p.bmp" << QByteArray("BMP");
    QTest::newRow("gif") << "p.gif" << QByteArray("GIF");
  }
  void loadsAndScales() {
    QFETCH(QString, name);
    QFETCH(QByteArray, format);
    const QString path = dir.filePath(name);
    if (format == "JPEG") QVERIFY(writeJpeg(path, 1600, 1200));
    else if (format == "GIF") QVERIFY(writeGif(path, 1600, 1200));
    else QVERIFY(twoColourImage(1600, 1200).save(path, format.constData()));
    Picture p;
    QVERIFY(p.load(path));
    QCOMPARE(p.size(), QSize(1600, 1200));
    QCOMPARE(p.isJpeg(), format == "JPEG");
    const QImage small = p.scaledTo(QSize(150, 112));
    QCOMPARE(small.size(), QSize(150, 112));
    QVERIFY(near(small.pixel(5, 56), Qt::red));
    QVERIFY(near(small.pixel(144, 56), Qt::blue));
    QCOMPARE(p.image().size(), QSize(1600, 1200));
  }

  void notAPicture() {
    const QString path = dir.filePath("text.jpg");
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("\xFF\xD8\xFF not really a picture");
    f.close();
    Picture p;
    QVERIFY(!p.load(path));
    QVERIFY(p.isNull());
    QVERIFY(!p.load(dir.filePath("missing.png")));
    QVERIFY(pictureSize(path).isEmpty());
    QVERIFY(loadScaled(path, QSize(10, 10)).isNull());
  }

  // The box is sized in twips, keeps what is drawn and starts white.
  void pictureBox() {
    const QString path = dir.filePath("box.jpg");
    QVERIFY(writeJpeg(path, 800, 400));
    Picture p;
    QVERIFY(p.load(path));
    PictureBox box;
    QVERIFY(!box.drawImageRect(p, QRectF(0, 0, 10, 10)));  // no surface yet
    box.setWidth(150 * Twips::perPixelX());
    box.setHeight(75 * Twips::perPixelY());
    QCOMPARE(box.pixelSize(), QSize(150, 75));
    QVERIFY(box.createGraphics());
    QCOMPARE(box.image().pixel(10, 10), qRgb(255, 255, 255));
    QVERIFY(box.drawImageRect(p, QRectF(0, 0, 150, 75)));
    QVERIFY(near(box.image().pixel(3, 37), Qt::red));
    QVERIFY(near(box.image().pixel(146, 37), Qt::blue));
    // Drawing into part of the surface leaves the rest as it was.
    QVERIFY(box.createGraphics());
    QVERIFY(box.drawImageRect(p, QRectF(0, 0, 50, 25)));
    QCOMPARE(box.image().pixel(120, 60), qRgb(255, 255, 255));
    box.Cls();
    QCOMPARE(box.image().pixel(3, 3), qRgb(255, 255, 255));
  }
};

QTEST_MAIN(TestImaging)
#include "tst_Imaging.moc"
