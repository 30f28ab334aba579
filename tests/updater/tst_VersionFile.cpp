#include "FakePlatform.h"
#include "Form1.h"
#include "Module1.h"
#include "Paths.h"
#include "ReleaseListXml.h"
#include "VersionFile.h"
#include "releaseList.h"

#include <QStringEncoder>
#include <QTemporaryDir>
#include <QtTest>

namespace {

const QByteArray kPlain =
    "<ver><release ver=\"3.5.16\"><files>"
    "<file size=\"120\" Lurl=\"\">Quorvel</file>"
    "<file size=\"12ab\" Lurl=\"res\\img\">logo.png</file>"
    "<file size=\"7\" Lurl=\"res\" isrun=\"0\">notes.txt</file>"
    "</files><runs><runItem>Quorvel</runItem><runItem>tools\\check</runItem></runs></release></ver>";

const QByteArray kIndented =
    "<ver>\r\n"
    "  <release ver=\"3.5.16\">\r\n"
    "    <files>\r\n"
    "      <file size=\"120\" Lurl=\"\">Quorvel</file>\r\n"
    "      <file size=\"12ab\" Lurl=\"res\\img\">logo.png</file>\r\n"
    "\t\t<file size=\"7\" Lurl=\"res\" isrun=\"0\">notes.txt</file>\r\n"
    "    </files>\r\n"
    "    <runs>\r\n"
    "      <runItem>Quorvel</runItem>\r\n"
    "      <runItem>tools\\check</runItem>\r\n"
    "    </runs>\r\n"
    "  </release>\r\n"
    "</ver>\r\n";

// A list of one file, one byte long, with the given parts put in.
QByteArray one(const QByteArray& version, const QByteArray& name, const QByteArray& lurl,
               const QByteArrayList& runs = {}) {
  return releaseListXml(version, {{name, lurl, 1}}, runs);
}
QByteArray named(const QByteArray& name) { return one("3.5.16", name, ""); }
QByteArray lurl(const QByteArray& folder) { return one("3.5.16", "a.bin", folder); }
QByteArray run(const QByteArray& program) { return one("3.5.16", "a.bin", "", {program}); }
QByteArray version(const QByteArray& v) { return one(v, "a.bin", ""); }

// The UTF-16LE bytes of text with a byte-order mark, unpaired surrogate halves as they stand.
QByteArray utf16le(const QString& text) {
  QByteArray out("\xff\xfe");
  for (const QChar c : text) {
    out += char(c.unicode() & 0xFF);
    out += char(c.unicode() >> 8);
  }
  return out;
}

QString summary(const VersionFile::Release& r) {
  QStringList parts{r.version};
  for (const auto& f : r.files) parts << QString("%1|%2|%3|%4").arg(f.name, f.size).arg(f.listedSize).arg(f.lurl);
  parts << "runs:" + r.runs.join(',');
  return parts.join(' ');
}

}  // namespace

class tst_VersionFile : public QObject {
  Q_OBJECT
private Q_SLOTS:
  void goodLists_data();
  void goodLists();
  void damagedLists_data();
  void damagedLists();
  void leadingNumbers_data();
  void leadingNumbers();
  void getListItem_data();
  void getListItem();
};

void tst_VersionFile::goodLists_data() {
  QTest::addColumn<QByteArray>("list");
  QTest::addColumn<QString>("read");

  const QString three =
      "3.5.16 Quorvel|120|120| logo.png|12ab|12|res\\img notes.txt|7|7|res runs:Quorvel,tools\\check";
  QTest::newRow("plain") << kPlain << three;
  QTest::newRow("indented with line breaks, blanks and tabs") << kIndented << three;
  QStringEncoder utf16(QStringConverter::Utf16LE, QStringEncoder::Flag::WriteBom);
  QTest::newRow("UTF-16 with its byte-order mark") << QByteArray(utf16.encode(QString::fromUtf8(kIndented))) << three;
  QTest::newRow("other element names, more children behind the start list")
      << QByteArray("<v><r ver=\"1.0\" x=\"y\"><f><n size=\"0\">a</n></f><s/><more><x/></more></r></v>")
      << "1.0 a|0|0| runs:";
  QTest::newRow("no start list")
      << QByteArray("<ver><release ver=\"2\"><files><file size=\"3\">a</file></files></release></ver>")
      << "2 a|3|3| runs:";
  QTest::newRow("empty start list") << one("2", "a", "") << "2 a|1|1| runs:";
  QTest::newRow("UTF-16 with a character beyond the first plane")
      << utf16le(QString::fromUtf8(one("3.6", "\xf0\x9f\x98\x80.txt", ""))) << QString::fromUtf8("3.6 \xf0\x9f\x98\x80.txt|1|1| runs:");
  QTest::newRow("Chinese names") << one("3.6", "说明.txt", "帮助") << QString::fromUtf8("3.6 说明.txt|1|1|帮助 runs:");
  QTest::newRow("dots inside a name, sub-folders with either separator")
      << one("3.6", "lib.so.6", "a/b\\c", {"bin/run.sh"}) << "3.6 lib.so.6|1|1|a/b\\c runs:bin/run.sh";
}

void tst_VersionFile::goodLists() {
  QFETCH(QByteArray, list);
  QFETCH(QString, read);
  const VersionFile::Release r = VersionFile::read(list);
  QVERIFY(r.ok);
  QCOMPARE(summary(r), read);
}

void tst_VersionFile::damagedLists_data() {
  QTest::addColumn<QByteArray>("list");

  QTest::newRow("empty") << QByteArray();
  QTest::newRow("not XML") << QByteArray("<html><body>Not Found");
  QTest::newRow("cut off") << kPlain.chopped(10);
  QTest::newRow("declaration before the root") << "<?xml version=\"1.0\"?>" + kPlain;
  QTest::newRow("comment before the release") << QByteArray(kPlain).replace("<ver>", "<ver><!-- 3.5.16 -->");
  QTest::newRow("release without a version") << QByteArray(kPlain).replace(" ver=\"3.5.16\"", "");
  QTest::newRow("release empty") << QByteArray("<ver><release ver=\"1\"/></ver>");
  QTest::newRow("no file listed") << QByteArray("<ver><release ver=\"1\"><files/><runs/></release></ver>");
  QTest::newRow("file without a size") << QByteArray(kPlain).replace("size=\"7\" ", "");
  QTest::newRow("text among the files") << QByteArray(kPlain).replace("</files>", "stray</files>");
  QTest::newRow("the same name twice, letter case aside")
      << QByteArray(kPlain).replace(">notes.txt<", ">QUORVEL<");
  QTest::newRow("comment in the start list") << QByteArray(kPlain).replace("<runs>", "<runs><!-- x -->");
  QTest::newRow("larger than 1 MB") << kPlain + QByteArray(releaseList::maxBytes, ' ');
  QTest::newRow("nested deeper than 64")
      << one("1", "a", "").replace("<runs>", "<runs>" + QByteArray(70 * 3, 'x').replace("xxx", "<a>") +
                                                 QByteArray(70 * 4, 'x').replace("xxxx", "</a>"));
  QTest::newRow("not UTF-8") << QByteArray(kPlain).replace("notes.txt", "notes\xb2\xe2.txt");
  QTest::newRow("UTF-16 with an unpaired surrogate")
      << utf16le(QString::fromUtf8(kPlain).replace("notes", QString("no") + QChar(0xDF37) + "tes"));
  QTest::newRow("UTF-16 with a surrogate pair reversed")
      << utf16le(QString::fromUtf8(kPlain).replace("notes", QString("no") + QChar(0xDE00) + QChar(0xD83D) + "tes"));

  // Names that would reach outside the staging folder or the program folder.
  QTest::newRow("name ..") << named("..");
  QTest::newRow("name ../x") << named("../x");
  QTest::newRow("name /etc/x") << named("/etc/x");
  QTest::newRow("name with a backslash") << named("sub\\x");
  QTest::newRow("name with a line feed") << named("a&#10;b");
  QTest::newRow("name with a C1 control") << named("a\xc2\x85" "b");
  QTest::newRow("name with a blank") << named("a b");
  QTest::newRow("empty name") << named("");
  QTest::newRow("Lurl ..") << lurl("..");
  QTest::newRow("Lurl ..\\x") << lurl("..\\x");
  QTest::newRow("Lurl /etc") << lurl("/etc");
  QTest::newRow("Lurl \\etc") << lurl("\\etc");
  QTest::newRow("Lurl with .. inside") << lurl("res\\..\\..\\x");
  QTest::newRow("runItem ../x") << run("../x");
  QTest::newRow("runItem /bin/sh") << run("/bin/sh");
  QTest::newRow("runItem a/../../b") << run("a/../../b");
  QTest::newRow("runItem with a C1 control") << run("tools\\a&#x87;b");
  QTest::newRow("Lurl with a C1 control") << lurl("res\\&#x9f;");
  QTest::newRow("version with a C1 control") << version("3.5&#x80;");
  QTest::newRow("empty runItem") << run("");
  QTest::newRow("version ../x") << version("../x");
  QTest::newRow("version with a slash") << version("3.5/16");
  QTest::newRow("empty version") << version("");
}

void tst_VersionFile::damagedLists() {
  QFETCH(QByteArray, list);
  QVERIFY(!VersionFile::read(list).ok);
}

void tst_VersionFile::leadingNumbers_data() {
  QTest::addColumn<QString>("text");
  QTest::addColumn<qint64>("number");
  QTest::newRow("digits") << "2048000" << qint64(2048000);
  QTest::newRow("digits and more") << "12ab" << qint64(12);
  QTest::newRow("no digits") << "ab12" << qint64(0);
  QTest::newRow("empty") << "" << qint64(0);
  QTest::newRow("past 64 bits") << "99999999999999999999" << std::numeric_limits<qint64>::max();
}

void tst_VersionFile::leadingNumbers() {
  QFETCH(QString, text);
  QFETCH(qint64, number);
  QCOMPARE(VersionFile::leadingNumber(text), number);
}

void tst_VersionFile::getListItem_data() {
  QTest::addColumn<int>("index");
  QTest::addColumn<QString>("key");
  QTest::addColumn<QString>("value");  // %1: the program folder
  QTest::newRow("fname") << 1 << "fname" << "logo.png";
  QTest::newRow("furl") << 1 << "furl" << "http://shop.example:81/novrel/logo.png";
  QTest::newRow("size as written") << 1 << "size" << "12ab";
  QTest::newRow("lurl") << 1 << "lurl" << "res\\img";
  QTest::newRow("Lurl gives empty") << 1 << "Lurl" << "";
  QTest::newRow("keys are exact") << 0 << "FNAME" << "";
  QTest::newRow("unknown key") << 0 << "isrun" << "";
  QTest::newRow("past the files") << 3 << "fname" << "";
  QTest::newRow("run") << 0 << "run" << "%1/Quorvel";
  QTest::newRow("run in a sub-folder") << 1 << "run" << "%1/tools/check";
  QTest::newRow("past the start list") << 2 << "run" << "out";
}

void tst_VersionFile::getListItem() {
  QFETCH(int, index);
  QFETCH(QString, key);
  QFETCH(QString, value);
  QTemporaryDir dir;
  Paths::setProgramFolder(dir.path());
  FakePlatform fake;
  Module1::shopHost = "shop.example:81";
  Form1 form;
  Module1::initUpdater(form);
  QCOMPARE(form.windowTitle(), QString::fromUtf8("Quorvel在线更新......"));
  form.verDoc = VersionFile::read(kPlain);
  QCOMPARE(form.getListItem(index, key), value.contains("%1") ? value.arg(dir.path()) : value);
}

QTEST_MAIN(tst_VersionFile)
#include "tst_VersionFile.moc"
