// Saving a design: the package holds the design XML as its one member "index.DPT", and a failed
// save never costs the design its package.
#include "DesignPackage.h"
#include "FakePlatform.h"
#include "FileFixture.h"
#include "ZipReader.h"
#include "mZip.h"
#include "mainModule.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

namespace {
QString package() { return g.designPath + "/" + g.designName + ".DPT"; }

// A library run that leaves a broken file where it was to write and reports a failure, and
// looks at the package meanwhile.
QByteArray packageDuringRun;
int brokenArchive(int, const char* archive, const ZipNames*) {
  QFile p(package());
  if (p.open(QIODevice::ReadOnly)) packageDuringRun = p.readAll();
  QFile f(QString::fromLocal8Bit(archive));
  if (f.open(QIODevice::WriteOnly)) f.write("PK\x03\x04 half a member");
  return ZpErrWrite;
}
const mZip::Library failingLibrary{ZpInit, ZpSetOptions, brokenArchive};
}  // namespace

class TestDesignPackage : public QObject {
  Q_OBJECT
  QTemporaryDir tmp;
  FakePlatform* fakes = nullptr;

private Q_SLOTS:
  void init() {
    fakes = new FakePlatform;
    g.designName = QString::fromUtf8("我的相册 1");
    g.myDesignPath = tmp.path() + "/" + QTest::currentTestFunction() + "/MyDesign";
    g.designPath = g.myDesignPath + "/" + g.designName;
    QDir().mkpath(g.designPath);
    g.designState = "editing";
  }
  void cleanup() {
    mZip::setLibrary(nullptr);
    delete fakes;
  }

  void saveWritesTheOneMember_data() {
    QTest::addColumn<QString>("xml");
    QTest::newRow("plain") << "<design><attributes><name>T1</name></attributes></design>";
    QTest::newRow("non-ASCII, CR LF kept") << QString::fromUtf8("<design title=\"封面\">\r\n<page/>\r\n</design>");
    QTest::newRow("empty text") << "";
  }

  void saveWritesTheOneMember() {
    QFETCH(QString, xml);
    writeIndex(g.designPath, xml);
    DesignPackage::buildDfile();
    const ZipReadOut r = readZipWithPython(package());
    QVERIFY2(r.ok, qPrintable(r.error));
    QCOMPARE(r.names(), QStringList{"index.DPT"});  // no folder part, whatever the path
    const QJsonObject m = r.member("index.DPT");
    QCOMPARE(m.value("size").toInteger(), 2 + 2 * xml.size());
    QVERIFY(m.value("head").toString().startsWith("fffe"));
    QCOMPARE(m.value("sha256").toString(), sha256Hex(designBytes(xml)));
    QCOMPARE(r.comment, QByteArray());
    QCOMPARE(m.value("flag").toInt() & 1, 0);
    QVERIFY(!QFile::exists(g.designPath + "/index.DPT"));
    QCOMPARE(g.designState, QString(""));
    QVERIFY(fakes->msgBox.shown.isEmpty());
    QVERIFY(unzipTestOk(package()));
  }

  void secondSaveReplacesTheFirst() {
    writeIndex(g.designPath, "<design>first</design>");
    DesignPackage::buildDfile();
    g.designState = "editing";
    writeIndex(g.designPath, "<design>the second save</design>");
    DesignPackage::buildDfile();
    const ZipReadOut r = readZipWithPython(package());
    QVERIFY2(r.ok, qPrintable(r.error));
    QCOMPARE(r.names(), QStringList{"index.DPT"});
    QCOMPARE(r.member("index.DPT").value("sha256").toString(), sha256Hex(designBytes("<design>the second save</design>")));
    QCOMPARE(QDir(g.designPath).entryList(QDir::Files), QStringList{g.designName + ".DPT"});
  }

  // A template package copied in under another letter case is the package that gets replaced.
  void packageFoundWithoutRegardToCase() {
    writeIndex(g.designPath, "<design>old</design>");
    DesignPackage::buildDfile();
    QVERIFY(QFile::rename(package(), g.designPath + "/" + g.designName + ".dpt"));
    writeIndex(g.designPath, "<design>new</design>");
    DesignPackage::buildDfile();
    QCOMPARE(QDir(g.designPath).entryList(QDir::Files), QStringList{g.designName + ".dpt"});
  }

  void failedSaveKeepsTheOldPackage_data() {
    QTest::addColumn<QString>("failure");
    QTest::newRow("library fails") << "library";
    QTest::newRow("no index.DPT") << "missing";
  }

  void failedSaveKeepsTheOldPackage() {
    QFETCH(QString, failure);
    writeIndex(g.designPath, "<design>saved</design>");
    DesignPackage::buildDfile();
    QFile p(package());
    QVERIFY(p.open(QIODevice::ReadOnly));
    const QByteArray old = p.readAll();
    p.close();

    g.designState = "editing";
    packageDuringRun.clear();
    if (failure == "library") {
      writeIndex(g.designPath, "<design>lost?</design>");
      mZip::setLibrary(&failingLibrary);
    }
    DesignPackage::buildDfile();

    QFile after(package());
    QVERIFY(after.open(QIODevice::ReadOnly));
    QCOMPARE(after.readAll(), old);
    QCOMPARE(g.designState, QString("editing"));
    QCOMPARE(fakes->msgBox.shown.size(), 1);
    QCOMPARE(fakes->msgBox.shown[0].title, QString::fromUtf8("客户端"));
    QCOMPARE(fakes->msgBox.shown[0].style, int(Msg::OKOnly | Msg::Critical));
    if (failure == "library") {
      QCOMPARE(packageDuringRun, old);  // the old package stays whole while the new one is made
      QVERIFY(QFile::exists(g.designPath + "/index.DPT"));
      QCOMPARE(QDir(g.designPath).entryList(QDir::Files), (QStringList{"index.DPT", g.designName + ".DPT"}));
    } else {
      QCOMPARE(QDir(g.designPath).entryList(QDir::Files), QStringList{g.designName + ".DPT"});
    }
  }

  // An interrupted earlier save may have left its half-made package: it is not added to.
  void leftoverFromAnInterruptedSave() {
    QFile stale(package() + ".new");
    QVERIFY(stale.open(QIODevice::WriteOnly));
    stale.write("PK\x03\x04 interrupted");
    stale.close();
    writeIndex(g.designPath, "<design/>");
    DesignPackage::buildDfile();
    const ZipReadOut r = readZipWithPython(package());
    QVERIFY2(r.ok, qPrintable(r.error));
    QCOMPARE(r.names(), QStringList{"index.DPT"});
    QVERIFY(!QFile::exists(package() + ".new"));
  }
};

QTEST_MAIN(TestDesignPackage)
#include "tst_DesignPackage.moc"
