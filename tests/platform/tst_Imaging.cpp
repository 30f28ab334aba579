// The imaging layer: JPEG through TurboJPEG (scaled decoding, baseline output, chroma), other
// formats through QImage, the off-screen picture box.
#include "ImageFixture.h"
#include "Imaging.h"
#include "Resample.h"
#include "Twips.h"

#include <QFile>
#include <QImageReader>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>

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

// Whether the file at path is a baseline JPEG with that sampling of its components; its bytes.
bool isBaseline(const QString& path, const QByteArray& sampling, QByteArray* bytes = nullptr) {
  QFile f(path);
  if (!f.open(QIODevice::ReadOnly)) return false;
  const QByteArray b = f.readAll();
  if (bytes) *bytes = b;
  int marker = 0;
  QByteArray got;
  return frameHeader(b, marker, got) && marker == 0xC0 && got == sampling;
}

// Peak signal-to-noise ratio of b against a over the three colour channels, in dB.
double psnr(const QImage& a, const QImage& b) {
  const QImage x = a.convertToFormat(QImage::Format_RGB32), y = b.convertToFormat(QImage::Format_RGB32);
  if (x.size() != y.size()) return 0;
  double se = 0;
  for (int r = 0; r < x.height(); ++r)
    for (int c = 0; c < x.width(); ++c) {
      const QRgb p = x.pixel(c, r), q = y.pixel(c, r);
      for (int d : {qRed(p) - qRed(q), qGreen(p) - qGreen(q), qBlue(p) - qBlue(q)}) se += d * d;
    }
  const double mse = se / (3.0 * x.width() * x.height());
  return mse == 0 ? 99 : 10 * std::log10(255.0 * 255.0 / mse);
}

// Soft colour fields and waves well below the sizes the tests shrink to: any sound filter
// agrees on them, so colour or position errors stand out.
QImage scene(int w, int h, bool grey) {
  QImage img(w, h, QImage::Format_RGB32);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const int r = x * 255 / w, g = y * 255 / h;
      const int b = int(128 + 100 * std::sin(2 * M_PI * x / 97) * std::cos(2 * M_PI * y / 61));
      img.setPixel(x, y, grey ? qRgb(b, b, b) : qRgb(r, g, b));
    }
  return img;
}

// Colour that changes every few pixels: what subsampled colour keeps of it depends on how the
// decoder brings it back to full size.
QImage colourStripes(int w, int h) {
  QImage img(w, h, QImage::Format_RGB32);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const double s = std::sin(2 * M_PI * x / 7) * std::cos(2 * M_PI * y / 9);
      img.setPixel(x, y, qRgb(int(128 + 100 * s), int(128 - 100 * s), 128));
    }
  return img;
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
    QVERIFY(isBaseline(path, sampling));
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
    for (const auto scaling : {Picture::Scaling::Fast, Picture::Scaling::Print}) {
      const QImage small = p.scaledTo(QSize(150, 112), scaling);
      QCOMPARE(small.size(), QSize(150, 112));
      QVERIFY(near(small.pixel(5, 56), Qt::red, 40));
      QVERIFY(near(small.pixel(144, 56), Qt::blue, 40));
    }
    QCOMPARE(p.image().size(), QSize(1600, 1200));
  }

  // A flat picture stays exactly its colour at any size, shrunk or enlarged, edges included;
  // with alpha it stays premultiplied.
  void lanczosKeepsFlatColour_data() {
    QTest::addColumn<QSize>("from");
    QTest::addColumn<QSize>("to");
    QTest::newRow("shrunk by an odd factor") << QSize(100, 80) << QSize(37, 29);
    QTest::newRow("to one pixel") << QSize(10, 10) << QSize(1, 1);
    QTest::newRow("enlarged") << QSize(7, 5) << QSize(64, 40);
    QTest::newRow("one pixel enlarged") << QSize(1, 1) << QSize(3, 3);
    QTest::newRow("one row") << QSize(640, 1) << QSize(320, 1);
    QTest::newRow("taller than the bands") << QSize(50, 700) << QSize(20, 300);
  }
  void lanczosKeepsFlatColour() {
    QFETCH(QSize, from);
    QFETCH(QSize, to);
    QImage opaque(from, QImage::Format_RGB32);
    opaque.fill(qRgb(200, 30, 90));
    const QImage a = lanczos3(opaque, to);
    QCOMPARE(a.size(), to);
    QCOMPARE(a.format(), QImage::Format_RGB32);
    QImage see(from, QImage::Format_ARGB32);
    see.fill(qRgba(200, 30, 90, 128));
    const QImage b = lanczos3(see, to);
    QCOMPARE(b.format(), QImage::Format_ARGB32_Premultiplied);
    const QRgb seen = see.convertToFormat(QImage::Format_ARGB32_Premultiplied).pixel(0, 0);
    for (int y = 0; y < to.height(); ++y)
      for (int x = 0; x < to.width(); ++x) {
        QCOMPARE(a.pixel(x, y), qRgb(200, 30, 90));
        QCOMPARE(b.pixel(x, y), seen);
      }
    QVERIFY(lanczos3(QImage(), to).isNull());
    QVERIFY(lanczos3(opaque, QSize(0, 5)).isNull());
  }

  // Where the processor has wider vector instructions, they give exactly what the narrower ones
  // give, whatever the widths, the edges and the sizes left over.
  void widerVectorsGiveTheSameResult() {
    QRandomGenerator rng(7);
    std::vector<uchar> plane(size_t(1203) * 301);
    for (uchar& v : plane) v = uchar(rng.bounded(256));
    for (const QSize to : {QSize(500, 140), QSize(37, 29), QSize(1197, 300), QSize(2400, 500), QSize(5, 3)}) {
      std::vector<uchar> wide(size_t(to.width()) * to.height()), narrow(wide.size());
      const Plane from{plane.data(), 1203, 301, 1203, 1, QSizeF()};
      const bool had = useWideVectors(true);
      QVERIFY(lanczos3({from}, {PlaneOut{wide.data(), to.width()}}, to));
      useWideVectors(false);
      QVERIFY(lanczos3({from}, {PlaneOut{narrow.data(), to.width()}}, to));
      useWideVectors(had);
      QVERIFY2(wide == narrow, qPrintable(QString("%1x%2").arg(to.width()).arg(to.height())));
    }
  }

  // A JPEG scaled for print, through its colour planes, matches its full decode filtered the
  // same way: colours, chroma sampling and pixel positions all line up.
  void printScalingFollowsTheJpeg_data() {
    QTest::addColumn<QString>("kind");
    QTest::newRow("4:2:0") << "420";
    QTest::newRow("4:4:4") << "444";
    QTest::newRow("grey") << "grey";
    QTest::newRow("4:2:0 colour detail") << "stripes";
  }
  void printScalingFollowsTheJpeg() {
    QFETCH(QString, kind);
    const QString path = dir.filePath("scene-" + kind + ".jpg");
    const QImage source = kind == "stripes" ? colourStripes(1203, 803) : scene(1203, 803, kind == "grey");
    if (kind == "grey") QVERIFY(source.convertToFormat(QImage::Format_Grayscale8).save(path, "JPEG", 95));
    else QVERIFY(saveJpeg(source, path, 95, kind == "444" ? Chroma::Full444 : Chroma::Sub420));
    Picture p;
    QVERIFY(p.load(path));
    for (const QSize size : {QSize(500, 333), QSize(250, 166), QSize(140, 93), QSize(1300, 900)}) {
      const QImage print = p.scaledTo(size, Picture::Scaling::Print);
      QCOMPARE(print.size(), size);
      const QImage reference = lanczos3(p.image(), size);
      QVERIFY2(psnr(reference, print) > 48, qPrintable(QString::number(psnr(reference, print))));
      // And against the picture as drawn.
      if (kind != "stripes") QVERIFY(near(print.pixel(size.width() / 2, size.height() / 2), source.pixel(source.width() / 2, source.height() / 2), 40));
    }
  }

  // Pictures other than JPEG whose pixels pass Qt's own 128 MB limit load all the same, for the
  // print and for the thumbnail: read whole where the machine has room, else at a reduced size.
  void largePicturesLoad_data() {
    QTest::addColumn<int>("limitMb");  // 0: as the program runs
    QTest::newRow("beyond Qt's limit") << 0;
    QTest::newRow("beyond the machine's bound") << 16;
  }
  void largePicturesLoad() {
    QFETCH(int, limitMb);
    QVERIFY(start());
    const int side = limitMb ? 3000 : 6000;  // 36 MB, 144 MB of pixels
    const QString path = dir.filePath(QString("large%1.png").arg(side));
    if (!QFile::exists(path)) QVERIFY(twoColourImage(side, side).save(path, "PNG"));
    const int before = QImageReader::allocationLimit();
    if (limitMb) QImageReader::setAllocationLimit(limitMb);
    Picture p;
    QVERIFY(p.load(path));
    QCOMPARE(p.size(), QSize(side, side));
    for (const auto scaling : {Picture::Scaling::Fast, Picture::Scaling::Print}) {
      const QImage small = p.scaledTo(QSize(300, 300), scaling);
      QCOMPARE(small.size(), QSize(300, 300));
      QVERIFY(near(small.pixel(10, 150), Qt::red, 40));
      QVERIFY(near(small.pixel(290, 150), Qt::blue, 40));
    }
    QImageReader::setAllocationLimit(before);
  }

  // A print picture is one baseline 4:4:4 JPEG, whichever pieces it was compressed in: both
  // decoders read it whole, and it holds what the print scaling gives.
  void printJpegIsOneBaselineFile() {
    const QString path = dir.filePath("print-source.jpg");
    QVERIFY(saveJpeg(scene(1203, 803, false), path, 95, Chroma::Sub420));
    Picture p;
    QVERIFY(p.load(path));
    for (const QSize size : {QSize(40, 30), QSize(333, 97), QSize(1001, 799), QSize(250, 803)}) {
      const QString out = dir.filePath("print.jpg");
      QVERIFY(p.savePrint(size, out));
      QByteArray bytes;
      QVERIFY(isBaseline(out, QByteArray("\x11\x11\x11", 3), &bytes));
      // Restart markers, where there are any, run in their cycle.
      const int scan = int(bytes.indexOf("\xFF\xDA"));
      int expected = 0;
      for (int i = scan; i + 1 < bytes.size(); ++i)
        if (uchar(bytes[i]) == 0xFF && (uchar(bytes[i + 1]) & 0xF8) == 0xD0) {
          QCOMPARE(int(uchar(bytes[i + 1])), 0xD0 + expected);
          expected = (expected + 1) % 8;
        }
      const QImage byQt(out, "JPEG");
      QCOMPARE(byQt.size(), size);
      Picture written;
      QVERIFY(written.load(out));
      const QImage reference = p.scaledTo(size, Picture::Scaling::Print);
      QVERIFY2(psnr(reference, byQt) > 48, qPrintable(QString::number(psnr(reference, byQt))));
      QVERIFY2(psnr(reference, written.image()) > 48, qPrintable(QString::number(psnr(reference, written.image()))));
    }
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
    QVERIFY(near(box.image().pixel(3, 37), Qt::red, 40));
    QVERIFY(near(box.image().pixel(146, 37), Qt::blue, 40));
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
