// Folder creation and tests, and the open-file dialog's buffer and its splitting.
#include "CheckDir.h"
#include "Cdir.h"
#include "FakePlatform.h"
#include "OpenFileBox.h"

#include <QtTest>

class TestFolders : public QObject {
  Q_OBJECT
private Q_SLOTS:
  void makeDirs_data() {
    QTest::addColumn<QStringList>("existing");
    QTest::addColumn<QString>("path");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("X exists: creates Y then Z") << QStringList{"X"} << "X/Y/Z" << QStringList{"X", "X/Y", "X/Y/Z"};
    QTest::newRow("trailing separator") << QStringList{"X"} << "X/Y/Z/" << QStringList{"X", "X/Y", "X/Y/Z"};
    QTest::newRow("backslashes") << QStringList{} << "A\\B" << QStringList{"A", "A/B"};
    QTest::newRow("all exist") << QStringList{"X", "X/Y"} << "X/Y" << QStringList{"X", "X/Y"};
  }
  void makeDirs() {
    QFETCH(QStringList, existing);
    QFETCH(QString, path);
    QFETCH(QStringList, expected);
    QTemporaryDir tmp;
    for (const QString& e : existing) QVERIFY(QDir(tmp.path()).mkpath(e));
    MakeDirs(tmp.path() + "/" + path);
    QStringList found;
    QDirIterator it(tmp.path(), QDir::Dirs | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
    while (it.hasNext()) found << QDir(tmp.path()).relativeFilePath(it.next());
    found.sort();
    QCOMPARE(found, expected);
  }

  void makeDirsFailureIsSilent() {
    QTemporaryDir tmp;
    QFile f(tmp.path() + "/file");
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.close();
    MakeDirs(tmp.path() + "/file/sub");  // a level that is a file: nothing happens, nothing is reported
    QVERIFY(!QFileInfo::exists(tmp.path() + "/file/sub"));
  }

  void dirExists() {
    QTemporaryDir tmp;
    QDir(tmp.path()).mkpath("Folder");
    QFile f(tmp.path() + "/file.txt");
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.close();
    QVERIFY(DirExists(tmp.path() + "/Folder"));
    QVERIFY(DirExists(tmp.path() + "/FOLDER"));  // letter case aside
    QVERIFY(!DirExists(tmp.path() + "/file.txt"));
    QVERIFY(!DirExists(tmp.path() + "/missing"));
    QVERIFY(!DirExists(QString()));
  }

  void splitSelection_data() {
    const QChar nul(0);
    const QString tail(40, ' ');
    QTest::addColumn<QString>("buffer");
    QTest::addColumn<int>("last");
    QTest::addColumn<QStringList>("files");
    QTest::newRow("two files") << "/p" + QString(nul) + "a.jpg" + nul + "b.jpg" + nul + nul + tail << 1
                               << QStringList{"/p/a.jpg", "/p/b.jpg"};
    QTest::newRow("root folder, no doubled separator") << "/" + QString(nul) + "x.png" + nul + "y.png" + nul + nul + tail << 1
                                                        << QStringList{"/x.png", "/y.png"};
    QTest::newRow("one file") << "/p/a.jpg" + QString(nul) + nul + tail << 0 << QStringList{"/p/a.jpg"};
    QTest::newRow("backslash folder") << "C:\\p\\" + QString(nul) + "a.jpg" + nul + "b.jpg" + nul + nul + tail << 1
                                      << QStringList{"C:\\p\\a.jpg", "C:\\p\\b.jpg"};
  }
  void splitSelection() {
    QFETCH(QString, buffer);
    QFETCH(int, last);
    QFETCH(QStringList, files);
    QCOMPARE(int(SplitSelection(buffer)), last);
    QCOMPARE(OpenFileBox::SelectedFiles, files);
  }

  // The dialog's answer, turned into the buffer and split again, gives back the chosen files.
  void openFileDlgRoundTrip_data() {
    QTest::addColumn<QStringList>("chosen");
    QTest::addColumn<int>("maxLen");
    QTest::newRow("one") << QStringList{"/home/u/a.jpg"} << 1024;
    QTest::newRow("three") << QStringList{"/home/u/a.jpg", "/home/u/b c.png", "/home/u/图.bmp"} << 1024;
    QTest::newRow("longer than the buffer") << QStringList{"/home/u/aaaaaaaa.jpg", "/home/u/bbbbbbbb.jpg"} << 10;
  }
  void openFileDlgRoundTrip() {
    QFETCH(QStringList, chosen);
    QFETCH(int, maxLen);
    FakePlatform fp;
    fp.fileDialog.files = chosen;
    const QString buffer = OpenFileDlg(nullptr, "t", "*.jpg;*.png", 1, maxLen);
    QVERIFY(buffer.size() >= maxLen);
    QCOMPARE(fp.fileDialog.multipleAsked.value(0), true);
    QCOMPARE(int(SplitSelection(buffer)), chosen.size() - 1);
    QCOMPARE(OpenFileBox::SelectedFiles, chosen);
  }

  void openFileDlgCancelledAndSingle() {
    FakePlatform fp;
    QCOMPARE(OpenFileDlg(nullptr, "t", "*.jpg", 0, 256), QString());
    QCOMPARE(fp.fileDialog.multipleAsked.value(0), false);
  }
};

QTEST_GUILESS_MAIN(TestFolders)
#include "tst_Folders.moc"
