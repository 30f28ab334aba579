// Thumbnails: the size arithmetic on real picture files, and what an unreadable file gets.
#include "FakePlatform.h"
#include "ImageFixture.h"
#include "ImagingHelpers.h"
#include "Imaging.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

class TestShowTNImg : public QObject {
  Q_OBJECT
  QTemporaryDir dir;

private Q_SLOTS:
  void thumbnailSizes_data() {
    QTest::addColumn<QSize>("picture");
    QTest::addColumn<QSize>("thumbnail");
    QTest::newRow("wide") << QSize(1000, 500) << QSize(150, 75);
    QTest::newRow("tall: width step, then height step") << QSize(300, 600) << QSize(75, 150);
    QTest::newRow("small stays") << QSize(100, 80) << QSize(100, 80);
    QTest::newRow("112.5 to even") << QSize(400, 300) << QSize(150, 112);
    QTest::newRow("127.5 to even") << QSize(400, 340) << QSize(150, 128);
    QTest::newRow("quotient first: just above 62.5") << QSize(204, 85) << QSize(150, 63);
    QTest::newRow("height 0 becomes the maximum") << QSize(2000, 5) << QSize(150, 150);
    QTest::newRow("exactly the maximum") << QSize(150, 150) << QSize(150, 150);
    QTest::newRow("large photo") << QSize(6000, 4000) << QSize(150, 100);
  }
  void thumbnailSizes() {
    QFETCH(QSize, picture);
    QFETCH(QSize, thumbnail);
    FakePlatform fp;
    const QString source = dir.filePath(QString("p%1x%2.jpg").arg(picture.width()).arg(picture.height()));
    const QString out = dir.filePath("thumb.jpg");
    QFile::remove(out);
    QVERIFY(writeJpeg(source, picture.width(), picture.height()));
    ImagingHelpers h;
    Imaging::PictureBox box;
    h.ShowTNImg(box, source, 150, out);
    QCOMPARE(QSize(h.imgWidth, h.imgHeight), thumbnail);
    QCOMPARE(box.pixelSize(), thumbnail);
    Imaging::Picture written;
    QVERIFY(written.load(out));
    QVERIFY(written.isJpeg());
    QCOMPARE(written.size(), thumbnail);
    QVERIFY(fp.msgBox.shown.isEmpty());
    QVERIFY(fp.process.exits.isEmpty());
  }

  // A PNG becomes a JPEG thumbnail as well; a file that is no picture gets none, even right after
  // a good one (no blank surface of the previous size).
  void otherFormatsAndUnreadable() {
    FakePlatform fp;
    ImagingHelpers h;
    Imaging::PictureBox box;
    const QString png = dir.filePath("a.png");
    QVERIFY(twoColourImage(600, 300).save(png));
    h.ShowTNImg(box, png, 150, dir.filePath("a-thumb"));
    QCOMPARE(Imaging::pictureSize(dir.filePath("a-thumb")), QSize(150, 75));

    const QString text = dir.filePath("notes.jpg");
    QFile f(text);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("just text");
    f.close();
    h.ShowTNImg(box, text, 150, dir.filePath("notes-thumb.jpg"));
    QVERIFY(!QFile::exists(dir.filePath("notes-thumb.jpg")));
    h.ShowTNImg(box, dir.filePath("missing.jpg"), 150, dir.filePath("missing-thumb.jpg"));
    QVERIFY(!QFile::exists(dir.filePath("missing-thumb.jpg")));
    QCOMPARE(h.gdipToken, 0);
    QVERIFY(h.gdipImage.isNull());
    QVERIFY(fp.process.exits.isEmpty());
  }
};

QTEST_MAIN(TestShowTNImg)
#include "tst_ShowTNImg.moc"
