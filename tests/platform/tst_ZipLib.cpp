// The zip library layer against real files, read back by Python's zipfile and "unzip -t".
#include "Crc32.h"
#include "FileFixture.h"
#include "ZipLib.h"
#include "ZipReader.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>
#include <zlib.h>

#include <functional>

namespace {
// What the callbacks saw and how they answer.
struct Callbacks {
  QStringList printed;
  QStringList serviced;
  std::function<int(const QString&)> service;
  std::function<int(char*)> comment;
  std::function<int(char*, int)> password;
};
Callbacks* cb = nullptr;

int onPrint(const char* t, unsigned long n) {
  cb->printed << QString::fromUtf8(t, int(n));
  return 0;
}
int onComment(char* buf) { return cb->comment ? cb->comment(buf) : 1; }
int onPassword(char* buf, int size, const char*, const char*) { return cb->password ? cb->password(buf, size) : 1; }
int onService(const char* t, unsigned long n) {
  const QString s = QString::fromUtf8(t, int(qstrnlen(t, uint(n))));
  cb->serviced << s;
  return cb->service ? cb->service(s) : 0;
}

// The settings every packing of the client uses: no folder entries, bare file names.
ZipOptions clientOptions() {
  ZipOptions o{};
  o.noFolderEntries = 1;
  o.dropFolderNames = 1;
  return o;
}

int zp(const QString& archive, const QStringList& specs, ZipOptions o = clientOptions()) {
  static const ZipCallbacks callbacks{onPrint, onComment, onPassword, onService};
  ZpInit(&callbacks);
  ZpSetOptions(&o);
  QList<QByteArray> texts;
  ZipNames names{};
  for (int i = 0; i < specs.size(); ++i) {
    texts << specs[i].toLocal8Bit();
    names.name[i] = texts.last().constData();
  }
  const QByteArray a = archive.toLocal8Bit();
  return ZpArchive(int(specs.size()), archive.isNull() ? nullptr : a.constData(), &names);
}

QByteArray readFile(const QString& path) {
  QFile f(path);
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QByteArray jpegLike(int n, quint32 seed) { return QByteArray("\xFF\xD8\xFF\xE0", 4) + randomBytes(n, seed); }

// Where the central directory begins, from the end record of an archive without comment.
qint64 centralDirectoryStart(const QByteArray& zip) {
  const auto* p = reinterpret_cast<const uchar*>(zip.constData() + zip.size() - 22);
  return qint64(p[16]) | qint64(p[17]) << 8 | qint64(p[18]) << 16 | qint64(p[19]) << 24;
}

// One member of a hand-made archive of stored members.
struct RawMember {
  QByteArray name;
  QByteArray data;
  QByteArray localExtra;
  QByteArray centralExtra;
};

void putLe(QByteArray& b, quint64 v, int n) {
  for (int i = 0; i < n; ++i) b += char((v >> (8 * i)) & 0xFF);
}

// An extra block: its id, the size it declares and the bytes that follow.
QByteArray extraBlock(quint16 id, quint16 declared, const QByteArray& data) {
  QByteArray b;
  putLe(b, id, 2);
  putLe(b, declared, 2);
  return b + data;
}

// A stored archive written byte by byte, so that its extra fields hold whatever a test gives.
QByteArray rawZip(const QList<RawMember>& members) {
  QByteArray zip, cd;
  for (const RawMember& m : members) {
    const quint64 offset = quint64(zip.size());
    const uLong crc = crc32Update(0, m.data.constData(), size_t(m.data.size()));
    auto common = [&](QByteArray& h, const QByteArray& extra) {
      putLe(h, 20, 2);  // version needed
      putLe(h, 0, 2);   // flag
      putLe(h, 0, 2);   // stored
      putLe(h, 0x58210000, 4);
      putLe(h, crc, 4);
      putLe(h, quint64(m.data.size()), 4);
      putLe(h, quint64(m.data.size()), 4);
      putLe(h, quint64(m.name.size()), 2);
      putLe(h, quint64(extra.size()), 2);
    };
    putLe(zip, 0x04034b50, 4);
    common(zip, m.localExtra);
    zip += m.name + m.localExtra + m.data;
    putLe(cd, 0x02014b50, 4);
    putLe(cd, (3 << 8) | 30, 2);
    common(cd, m.centralExtra);
    putLe(cd, 0, 2);  // comment
    putLe(cd, 0, 2);  // disk
    putLe(cd, 0, 2);  // internal attributes
    putLe(cd, quint64(0100644) << 16, 4);
    putLe(cd, offset, 4);
    cd += m.name + m.centralExtra;
  }
  const quint64 cdOffset = quint64(zip.size());
  zip += cd;
  putLe(zip, 0x06054b50, 4);
  putLe(zip, 0, 4);
  putLe(zip, quint64(members.size()), 2);
  putLe(zip, quint64(members.size()), 2);
  putLe(zip, quint64(cd.size()), 4);
  putLe(zip, cdOffset, 4);
  putLe(zip, 0, 2);
  return zip;
}

ino_t inodeOf(const QString& path) {
  struct stat st {};
  ::stat(QFile::encodeName(path).constData(), &st);
  return st.st_ino;
}

QStringList filesIn(const QString& dir) { return QDir(dir).entryList(QDir::Files | QDir::Hidden); }
}  // namespace

class TestZipLib : public QObject {
  Q_OBJECT
  QTemporaryDir tmp;
  Callbacks calls;
  QString dir;

private Q_SLOTS:
  void init() {
    calls = Callbacks{};
    cb = &calls;
    dir = tmp.path() + "/" + QTest::currentTestFunction() + "_" + (QTest::currentDataTag() ? QTest::currentDataTag() : "");
    dir.replace(' ', '_');
    QDir().mkpath(dir);
  }

  void newArchiveStoresPicturesAndDeflatesTheRest() {
    const QByteArray text = QByteArray("line of a design text\r\n").repeated(500);
    const QByteArray png = QByteArray("\x89PNG\r\n\x1A\n", 8) + randomBytes(30000, 2);
    const QByteArray jpeg = jpegLike(40000, 3);
    writeFile(dir + "/text.txt", text);
    writeFile(dir + "/pic.png", png);
    writeFile(dir + "/0", jpeg);  // a picture member named by its number, without extension
    writeFile(dir + "/empty.dat", {});
    const QString zip = dir + "/out.zip";
    QCOMPARE(zp(zip, {dir + "/text.txt", dir + "/pic.png", dir + "/0", dir + "/empty.dat"}), int(ZpOk));

    const ZipReadOut r = readZipWithPython(zip);
    QVERIFY2(r.ok, qPrintable(r.error));
    QCOMPARE(r.names(), (QStringList{"text.txt", "pic.png", "0", "empty.dat"}));
    QCOMPARE(r.member("text.txt").value("method").toInt(), 8);
    QCOMPARE(r.member("pic.png").value("method").toInt(), 0);
    QCOMPARE(r.member("0").value("method").toInt(), 0);
    QCOMPARE(r.member("empty.dat").value("method").toInt(), 0);
    QCOMPARE(r.member("text.txt").value("sha256").toString(), sha256Hex(text));
    QCOMPARE(r.member("pic.png").value("sha256").toString(), sha256Hex(png));
    QCOMPARE(r.member("0").value("sha256").toString(), sha256Hex(jpeg));
    QString out;
    QVERIFY2(unzipTestOk(zip, &out), qPrintable(out));

    // One message per member, as it is added; the service routine hears of each first.
    QCOMPARE(calls.printed.size(), 4);
    QVERIFY(calls.printed[0].startsWith("  adding: text.txt (deflated "));
    QCOMPARE(calls.printed[1], QString("  adding: pic.png (stored 0%)"));
    QCOMPARE(calls.serviced, (QStringList{"text.txt", "pic.png", "0", "empty.dat"}));
    QVERIFY(!filesIn(dir).join(',').contains(".zip."));  // no temporary file left beside it
  }

  void addingToAnArchiveAppendsInPlace() {
    const QString zip = dir + "/pack.zip";
    for (int i = 0; i < 3; ++i) {
      writeFile(dir + QString("/%1").arg(i), jpegLike(100000, 10 + i));
      QCOMPARE(zp(zip, {dir + QString("/%1").arg(i)}), int(ZpOk));
    }
    const QByteArray before = readFile(zip);
    const ino_t inode = inodeOf(zip);
    writeFile(dir + "/Index.DPT", "<design/>");
    QCOMPARE(zp(zip, {dir + "/Index.DPT"}), int(ZpOk));

    const QByteArray after = readFile(zip);
    const qint64 cd = centralDirectoryStart(before);
    // Everything before the old central directory is untouched, the file is the same file.
    QCOMPARE(after.left(cd), before.left(cd));
    QCOMPARE(inodeOf(zip), inode);
    const ZipReadOut r = readZipWithPython(zip);
    QVERIFY2(r.ok, qPrintable(r.error));
    QCOMPARE(r.names(), (QStringList{"0", "1", "2", "Index.DPT"}));
    QCOMPARE(r.member("1").value("sha256").toString(), sha256Hex(jpegLike(100000, 11)));
    QVERIFY(unzipTestOk(zip));
  }

  // Appended pictures are copied by the kernel while their CRC is taken apart: sizes around the
  // read block show that both cover every byte.
  void appendedPicturesKeepEveryByte_data() {
    QTest::addColumn<int>("size");
    for (const int n : {0, 5, (1 << 20) - 1, 1 << 20, (1 << 20) + 1, (3 << 20) + 5}) QTest::newRow(qPrintable(QString::number(n))) << n;
  }
  void appendedPicturesKeepEveryByte() {
    QFETCH(int, size);
    const QString zip = dir + "/pack.zip";
    writeFile(dir + "/first", jpegLike(1000, 1));
    QCOMPARE(zp(zip, {dir + "/first"}), int(ZpOk));
    const QByteArray picture = size == 0 ? QByteArray() : jpegLike(size - 4, quint32(size)).left(size);
    writeFile(dir + "/pic", picture);
    QCOMPARE(zp(zip, {dir + "/pic"}), int(ZpOk));
    const ZipReadOut r = readZipWithPython(zip);
    QVERIFY2(r.ok, qPrintable(r.error));
    QCOMPARE(r.member("pic").value("method").toInt(), 0);
    QCOMPARE(r.member("pic").value("sha256").toString(), sha256Hex(picture));
    QString out;
    QVERIFY2(unzipTestOk(zip, &out), qPrintable(out));
  }

  // An archive written by another tool, with member comments, extra fields and an archive
  // comment: its members are found by name and the comment stays.
  void archivesOfOtherToolsAreAddedTo() {
    const QString zip = dir + "/other.zip";
    const QString script = QStringLiteral(
        "import sys, zipfile\n"
        "with zipfile.ZipFile(sys.argv[1], 'w') as z:\n"
        "    for name in ('one.txt', 'two.txt'):\n"
        "        i = zipfile.ZipInfo(name, (2020, 5, 6, 7, 8, 10))\n"
        "        i.comment = b'a member comment'\n"
        "        i.extra = b'\\xfe\\xca\\x04\\x00abcd'\n"
        "        z.writestr(i, 'written elsewhere')\n"
        "    z.comment = b'kept comment'\n");
    QCOMPARE(QProcess::execute("python3", {"-c", script, zip}), 0);
    writeFile(dir + "/pic", jpegLike(5000, 3));
    QCOMPARE(zp(zip, {dir + "/pic"}), int(ZpOk));
    writeFile(dir + "/TWO.TXT", "replaced here");
    QCOMPARE(zp(zip, {dir + "/TWO.TXT"}), int(ZpOk));
    const ZipReadOut r = readZipWithPython(zip);
    QVERIFY2(r.ok, qPrintable(r.error));
    QCOMPARE(r.names(), (QStringList{"one.txt", "TWO.TXT", "pic"}));
    QCOMPARE(r.member("TWO.TXT").value("sha256").toString(), sha256Hex("replaced here"));
    QCOMPARE(r.comment, QByteArray("kept comment"));
    QVERIFY(unzipTestOk(zip));
  }

  void crcMatchesZlib_data() {
    QTest::addColumn<int>("length");
    QTest::addColumn<int>("offset");
    QTest::addColumn<quint32>("start");
    for (const int n : {0, 1, 15, 16, 17, 63, 64, 65, 80, 127, 128, 1000, 4096, 100003})
      for (const int off : {0, 3})
        QTest::newRow(qPrintable(QString("%1 at %2").arg(n).arg(off))) << n << off << quint32(n * 2654435761u);
  }
  void crcMatchesZlib() {
    QFETCH(int, length);
    QFETCH(int, offset);
    QFETCH(quint32, start);
    const QByteArray data = randomBytes(length + 8, 5);
    const auto* p = reinterpret_cast<const Bytef*>(data.constData() + offset);
    QCOMPARE(crc32Update(start, p, size_t(length)), crc32_z(start, p, size_t(length)));
    QCOMPARE(crc32Update(0, p, size_t(length)), crc32_z(0, p, size_t(length)));
  }

  void memberNames_data() {
    QTest::addColumn<int>("drop");
    QTest::addColumn<int>("noFolderEntries");
    QTest::addColumn<int>("recurse");
    QTest::addColumn<int>("hidden");
    QTest::addColumn<QString>("root");  // under the tree; "-" for none
    QTest::addColumn<QString>("spec");  // "@" stands for the tree's absolute path
    QTest::addColumn<QStringList>("names");
    QTest::newRow("bare name") << 1 << 1 << 0 << 0 << "-" << "@/sub/b.txt" << QStringList{"b.txt"};
    QTest::newRow("relative to root") << 0 << 1 << 0 << 0 << "" << "sub/b.txt" << QStringList{"sub/b.txt"};
    QTest::newRow("absolute under root") << 0 << 1 << 0 << 0 << "" << "@/sub/b.txt" << QStringList{"sub/b.txt"};
    QTest::newRow("dot-dot dropped") << 0 << 1 << 0 << 0 << "sub" << "../a.txt" << QStringList{"a.txt"};
    QTest::newRow("absolute outside root") << 0 << 1 << 0 << 0 << "sub" << "@/a.txt"
                                           << QStringList{"TREE/a.txt"};
    QTest::newRow("recursion with folder entries")
        << 0 << 0 << 2 << 0 << "" << "sub" << QStringList{"sub/", "sub/b.txt", "sub/deep/", "sub/deep/c.txt"};
    QTest::newRow("recursion without folder entries")
        << 0 << 1 << 2 << 0 << "" << "sub" << QStringList{"sub/b.txt", "sub/deep/c.txt"};
    QTest::newRow("recursion, bare names") << 1 << 0 << 2 << 0 << "" << "sub" << QStringList{"b.txt", "c.txt"};
    QTest::newRow("folder without recursion") << 0 << 0 << 0 << 0 << "" << "sub" << QStringList{"sub/"};
    QTest::newRow("pattern through folders")
        << 0 << 1 << 2 << 0 << "" << "*.txt" << QStringList{"a.txt", "sub/b.txt", "sub/deep/c.txt"};
    QTest::newRow("pattern in one folder") << 0 << 1 << 0 << 0 << "" << "*.TXT" << QStringList{"a.txt"};
    QTest::newRow("hidden files skipped") << 0 << 1 << 2 << 0 << "" << "."
                                          << QStringList{"a.txt", "sub/b.txt", "sub/deep/c.txt"};
    QTest::newRow("hidden files taken") << 0 << 1 << 2 << 1 << "" << "."
                                        << QStringList{".hidden", "a.txt", "sub/b.txt", "sub/deep/c.txt"};
  }

  void memberNames() {
    QFETCH(int, drop);
    QFETCH(int, noFolderEntries);
    QFETCH(int, recurse);
    QFETCH(int, hidden);
    QFETCH(QString, root);
    QFETCH(QString, spec);
    QFETCH(QStringList, names);
    const QString tree = dir + "/tree";
    writeFile(tree + "/a.txt", "a");
    writeFile(tree + "/.hidden", "h");
    writeFile(tree + "/sub/b.txt", "b");
    writeFile(tree + "/sub/deep/c.txt", "c");
    ZipOptions o{};
    o.dropFolderNames = drop;
    o.noFolderEntries = noFolderEntries;
    o.recurse = recurse;
    o.includeSystemAndHidden = hidden;
    if (root != "-") o.rootFolder = ZpText(QFile::encodeName(root.isEmpty() ? tree : tree + "/" + root).constData());
    const QString zip = dir + "/names.zip";
    QCOMPARE(zp(zip, {spec.replace("@", tree)}, o), int(ZpOk));
    const ZipReadOut r = readZipWithPython(zip);
    QVERIFY2(r.ok, qPrintable(r.error));
    for (QString& n : names) n.replace("TREE", tree.mid(1));
    QCOMPARE(r.names(), names);
  }

  void lineEnds_data() {
    QTest::addColumn<int>("toLf");
    QTest::addColumn<int>("toCrlf");
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<QByteArray>("stored");
    QTest::newRow("CR LF to LF") << 1 << 0 << QByteArray("<a>\r\n<b/>\r\n</a>\r\n") << QByteArray("<a>\n<b/>\n</a>\n");
    QTest::newRow("lone CR kept") << 1 << 0 << QByteArray("a\rb\r\n\r") << QByteArray("a\rb\n\r");
    QByteArray straddle(1 << 20, 'x');
    straddle[(1 << 20) - 1] = '\r';
    QTest::newRow("CR LF across a read chunk") << 1 << 0 << straddle + "\nend" << straddle.chopped(1) + "\nend";
    QTest::newRow("LF to CR LF") << 0 << 1 << QByteArray("a\nb\r\nc\n") << QByteArray("a\r\nb\r\nc\r\n");
    QTest::newRow("binary file left alone") << 1 << 0 << QByteArray("\xFF\xFE<\0\r\0\n\0", 8)
                                            << QByteArray("\xFF\xFE<\0\r\0\n\0", 8);
    QTest::newRow("no conversion") << 0 << 0 << QByteArray("a\r\nb\n") << QByteArray("a\r\nb\n");
  }

  void lineEnds() {
    QFETCH(int, toLf);
    QFETCH(int, toCrlf);
    QFETCH(QByteArray, input);
    QFETCH(QByteArray, stored);
    writeFile(dir + "/Index.DPT", input);
    ZipOptions o = clientOptions();
    o.crlfToLf = toLf;
    o.lfToCrlf = toCrlf;
    const QString zip = dir + "/le.zip";
    QCOMPARE(zp(zip, {dir + "/Index.DPT"}, o), int(ZpOk));
    const ZipReadOut r = readZipWithPython(zip);
    QVERIFY2(r.ok, qPrintable(r.error));
    QCOMPARE(r.member("Index.DPT").value("size").toInteger(), stored.size());
    QCOMPARE(r.member("Index.DPT").value("sha256").toString(), sha256Hex(stored));
  }

  void sameNameReplacesTheMember() {
    const QString zip = dir + "/r.zip";
    writeFile(dir + "/a/index.DPT", "first");
    const QByteArray picture = jpegLike(5000, 7);
    writeFile(dir + "/pic", picture);
    QCOMPARE(zp(zip, {dir + "/a/index.DPT", dir + "/pic"}), int(ZpOk));
    const ino_t inode = inodeOf(zip);
    writeFile(dir + "/b/Index.dpt", "second, longer");
    QCOMPARE(zp(zip, {dir + "/b/Index.dpt"}), int(ZpOk));
    const ZipReadOut r = readZipWithPython(zip);
    QVERIFY2(r.ok, qPrintable(r.error));
    // Letter case aside it is the same name: one member, in its place, with the new data.
    QCOMPARE(r.names(), (QStringList{"Index.dpt", "pic"}));
    QCOMPARE(r.member("Index.dpt").value("sha256").toString(), sha256Hex("second, longer"));
    QCOMPARE(r.member("pic").value("sha256").toString(), sha256Hex(picture));
    QCOMPARE(r.member("pic").value("method").toInt(), 0);
    QVERIFY(inodeOf(zip) != inode);  // written beside and renamed over
    QVERIFY(unzipTestOk(zip));
  }

  void failures_data() {
    QTest::addColumn<QString>("setup");
    QTest::addColumn<int>("code");
    QTest::newRow("missing file") << "missing" << int(ZpErrNameNotMatched);
    QTest::newRow("one of two missing") << "oneMissing" << int(ZpErrNameNotMatched);
    QTest::newRow("pattern matching nothing") << "noMatch" << int(ZpErrNameNotMatched);
    QTest::newRow("archive is no zip") << "notZip" << int(ZpErrNotAZip);
    QTest::newRow("directory shorter than its count") << "shortDirectory" << int(ZpErrNotAZip);
    // New records after the stray bytes could not be found by any reader.
    QTest::newRow("stray bytes after the last record") << "strayInDirectory" << int(ZpErrNotAZip);
    QTest::newRow("end record in the comment") << "endRecordInComment" << int(ZpErrNotAZip);
    QTest::newRow("archive folder missing") << "noFolder" << int(ZpErrCreate);
    QTest::newRow("no archive path") << "nullPath" << int(ZpErrArguments);
    QTest::newRow("no names") << "none" << int(ZpErrNothingToDo);
    QTest::newRow("archive into itself") << "self" << int(ZpErrNothingToDo);
    QTest::newRow("two files, one bare name") << "duplicate" << int(ZpErrDuplicateName);
    QTest::newRow("delete from no archive") << "deleteMissing" << int(ZpErrNoArchive);
    QTest::newRow("delete matching nothing") << "deleteNone" << int(ZpErrNothingToDo);
    QTest::newRow("service routine stops") << "serviceStops" << int(ZpErrAborted);
    QTest::newRow("service stops a rewrite") << "serviceStopsRewrite" << int(ZpErrAborted);
    QTest::newRow("comment refused") << "commentRefused" << int(ZpErrAborted);
    QTest::newRow("passwords differ") << "passwordsDiffer" << int(ZpErrPassword);
    QTest::newRow("password refused") << "passwordRefused" << int(ZpErrAborted);
  }

  // Every failure leaves an existing archive exactly as it was and no file beside it.
  void failures() {
    QFETCH(QString, setup);
    QFETCH(int, code);
    QString zip = dir + "/keep.zip";
    writeFile(dir + "/old.txt", "old member");
    writeFile(dir + "/new1", jpegLike(300000, 1));
    writeFile(dir + "/new2", jpegLike(300000, 2));
    writeFile(dir + "/x/new1", "same bare name");
    QCOMPARE(zp(zip, {dir + "/old.txt"}), int(ZpOk));
    QStringList specs{dir + "/new1", dir + "/new2"};
    ZipOptions o = clientOptions();
    if (setup == "missing") specs = {dir + "/nothing"};
    if (setup == "oneMissing") specs = {dir + "/new1", dir + "/nothing"};
    if (setup == "noMatch") specs = {dir + "/*.none"};
    if (setup == "notZip") writeFile(zip, "plain text, no zip");
    if (setup == "shortDirectory") {
      QByteArray z = readFile(zip);
      z[z.size() - 22 + 8] = 2;  // two entries claimed on this disk and in all
      z[z.size() - 22 + 10] = 2;
      writeFile(zip, z);
    }
    if (setup == "strayInDirectory") {
      QByteArray z = readFile(zip);
      z.insert(z.size() - 22, "old.txt");
      z[z.size() - 22 + 12] = char(z[z.size() - 22 + 12] + 7);  // the directory's size counts them
      writeFile(zip, z);
    }
    if (setup == "endRecordInComment") {
      QByteArray z = readFile(zip);
      const QByteArray comment("PK\x05\x06 looks like an end");
      z[z.size() - 2] = char(comment.size());
      writeFile(zip, z + comment);
    }
    if (setup == "noFolder") zip = dir + "/no/such/folder/a.zip";
    if (setup == "nullPath") zip = QString();
    if (setup == "none") specs = {};
    if (setup == "self") specs = {zip};
    if (setup == "duplicate") specs = {dir + "/new1", dir + "/x/new1"};
    if (setup == "deleteMissing") zip = dir + "/absent.zip";
    if (setup.startsWith("delete")) o.deleteEntries = 1, specs = {"nothing-like-this"};
    if (setup == "serviceStops") calls.service = [](const QString& n) { return n == "new2" ? 1 : 0; };
    if (setup == "serviceStopsRewrite") {
      writeFile(dir + "/old.txt", "replacement");
      specs = {dir + "/old.txt", dir + "/new1"};
      calls.service = [](const QString& n) { return n == "new1" ? 1 : 0; };
    }
    if (setup == "commentRefused") o.addComment = 1, calls.comment = [](char*) { return 1; };
    int asked = 0;  // lives as long as the routine that counts in it
    if (setup.startsWith("password")) {
      o.encrypt = 1;
      calls.password = [&asked, setup](char* buf, int) {
        if (setup == "passwordRefused") return 1;
        qstrcpy(buf, asked++ ? "other" : "secret");
        return 0;
      };
    }
    const QByteArray before = readFile(zip);
    const QStringList filesBefore = filesIn(dir);
    QCOMPARE(zp(zip, specs, o), code);
    QCOMPARE(readFile(zip), before);
    QCOMPARE(filesIn(dir), filesBefore);
    if (setup == "serviceStops" || setup == "serviceStopsRewrite") {
      QVERIFY(unzipTestOk(zip));
      QCOMPARE(readZipWithPython(zip).names(), QStringList{"old.txt"});
    }
  }

  // An extra block must fit in its field: an archive with one that does not is no zip we read,
  // whichever way it is changed, and stays as it was. Sound blocks are carried over.
  void extraBlocksMustFit_data() {
    QTest::addColumn<QByteArray>("localExtra");
    QTest::addColumn<QByteArray>("centralExtra");
    QTest::addColumn<int>("appended");  // result of adding a new member
    QTest::addColumn<int>("rewritten");  // result of replacing the other member, and of deleting it
    const QByteArray time = extraBlock(0x5455, 5, QByteArray("\x03\x00\x00\x21\x58", 5));
    const QByteArray owner = extraBlock(0x7875, 11, QByteArray("\x01\x04\xe8\x03\x00\x00\x04\xe8\x03\x00\x00", 11));
    const QByteArray tooLong = extraBlock(0x5455, 1392, QByteArray(20, 'x'));
    QTest::newRow("sound blocks") << time + owner << time << int(ZpOk) << int(ZpOk);
    QTest::newRow("directory block longer than its field") << time << tooLong << int(ZpErrNotAZip)
                                                            << int(ZpErrNotAZip);
    QTest::newRow("directory block after a sound one") << time << time + tooLong << int(ZpErrNotAZip)
                                                        << int(ZpErrNotAZip);
    // Appending in place never reads an old member's own header.
    QTest::newRow("local block longer than its field") << tooLong << time << int(ZpOk) << int(ZpErrNotAZip);
    QTest::newRow("ZIP64 block longer than its field") << extraBlock(0x0001, 400, QByteArray(16, 0)) << QByteArray()
                                                       << int(ZpOk) << int(ZpErrNotAZip);
    QTest::newRow("block header cut short") << time << QByteArray("\x55\x54", 2) << int(ZpErrNotAZip)
                                            << int(ZpErrNotAZip);
    QTest::newRow("size past the sign bit") << time << extraBlock(0x5455, 0xFFFF, QByteArray(8, 'x'))
                                            << int(ZpErrNotAZip) << int(ZpErrNotAZip);
  }
  void extraBlocksMustFit() {
    QFETCH(QByteArray, localExtra);
    QFETCH(QByteArray, centralExtra);
    QFETCH(int, appended);
    QFETCH(int, rewritten);
    const QByteArray hostile = rawZip({{"old.txt", "old member", localExtra, centralExtra}, {"other.txt", "other", {}, {}}});
    const QString zip = dir + "/a.zip";
    writeFile(dir + "/other.txt", "replacement");
    writeFile(dir + "/new.txt", "new member");
    ZipOptions remove = clientOptions();
    remove.deleteEntries = 1;
    const QList<std::pair<QStringList, ZipOptions>> runs{
        {{dir + "/new.txt"}, clientOptions()}, {{dir + "/other.txt"}, clientOptions()}, {{"other.txt"}, remove}};
    for (int i = 0; i < runs.size(); ++i) {
      writeFile(zip, hostile);
      const int expected = i == 0 ? appended : rewritten;
      QCOMPARE(zp(zip, runs[i].first, runs[i].second), expected);
      if (expected != ZpOk) {
        QCOMPARE(readFile(zip), hostile);
        continue;
      }
      const ZipReadOut r = readZipWithPython(zip);
      QVERIFY2(r.ok, qPrintable(r.error));
      QCOMPARE(r.member("old.txt").value("sha256").toString(), sha256Hex("old member"));
    }
  }

  void commentIsAskedAndKept() {
    const QString zip = dir + "/c.zip";
    writeFile(dir + "/a", "a");
    writeFile(dir + "/b", "b");
    ZipOptions o = clientOptions();
    o.addComment = 1;
    QByteArray seen = "unset";
    calls.comment = [&seen](char* buf) {
      seen = buf;
      qstrcpy(buf, "设计 comment");
      return 0;
    };
    QCOMPARE(zp(zip, {dir + "/a"}, o), int(ZpOk));
    QCOMPARE(seen, QByteArray());  // a new archive has no comment yet
    QCOMPARE(zp(zip, {dir + "/b"}), int(ZpOk));  // appending without asking keeps it
    const ZipReadOut r = readZipWithPython(zip);
    QVERIFY2(r.ok, qPrintable(r.error));
    QCOMPARE(r.comment, QByteArray("设计 comment"));
    QCOMPARE(r.names(), (QStringList{"a", "b"}));
  }

  void encryptedMembersNeedThePassword() {
    const QString zip = dir + "/e.zip";
    const QByteArray text = QByteArray("secret design ").repeated(100);
    writeFile(dir + "/a.txt", text);
    const QByteArray picture = jpegLike(3 << 20, 9);
    writeFile(dir + "/p", picture);
    ZipOptions o = clientOptions();
    o.encrypt = 1;
    int asked = 0;
    calls.password = [&asked](char* buf, int size) {
      ++asked;
      if (size < 7) return 1;
      qstrcpy(buf, "s3cret");
      return 0;
    };
    QCOMPARE(zp(zip, {dir + "/a.txt", dir + "/p"}, o), int(ZpOk));
    QCOMPARE(asked, 2);  // entered and verified
    const ZipReadOut r = readZipWithPython(zip, "s3cret");
    QVERIFY2(r.ok, qPrintable(r.error));
    QCOMPARE(r.member("a.txt").value("flag").toInt() & 1, 1);
    QCOMPARE(r.member("a.txt").value("sha256").toString(), sha256Hex(text));
    QCOMPARE(r.member("p").value("method").toInt(), 0);
    QCOMPARE(r.member("p").value("sha256").toString(), sha256Hex(picture));
    QVERIFY(!readZipWithPython(zip, "wrong").ok);
    QProcess unzip;
    unzip.start("unzip", {"-P", "s3cret", "-t", zip});
    QVERIFY(unzip.waitForFinished(60000));
    QVERIFY2(unzip.exitCode() == 0, unzip.readAll().constData());
  }

  void deleteEntries() {
    const QString zip = dir + "/d.zip";
    writeFile(dir + "/t/a.txt", "a");
    writeFile(dir + "/t/b.txt", "b");
    writeFile(dir + "/t/sub/c.txt", "c");
    ZipOptions keep{};
    keep.noFolderEntries = 1;
    keep.rootFolder = ZpText(QFile::encodeName(dir + "/t").constData());
    QCOMPARE(zp(zip, {"a.txt", "b.txt", "sub/c.txt"}, keep), int(ZpOk));
    ZipOptions del = keep;
    del.deleteEntries = 1;
    QCOMPARE(zp(zip, {"B.TXT"}, del), int(ZpOk));
    QCOMPARE(readZipWithPython(zip).names(), (QStringList{"a.txt", "sub/c.txt"}));
    QCOMPARE(zp(zip, {"sub/*"}, del), int(ZpOk));
    const ZipReadOut r = readZipWithPython(zip);
    QCOMPARE(r.names(), QStringList{"a.txt"});
    QCOMPARE(r.member("a.txt").value("sha256").toString(), sha256Hex("a"));
    QVERIFY(calls.printed.contains("deleting: sub/c.txt"));
  }

  void updateAndFreshen_data() {
    QTest::addColumn<QString>("mode");
    QTest::addColumn<int>("ageSeconds");  // of the file against its entry: positive is newer
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<QString>("aHolds");
    QTest::newRow("update, older file") << "update" << -60 << QStringList{"a"} << "v1";
    QTest::newRow("update, newer file") << "update" << 60 << QStringList{"a"} << "v2";
    QTest::newRow("update adds new files") << "update+new" << -60 << QStringList{"a", "n"} << "v1";
    QTest::newRow("freshen, newer file") << "freshen" << 60 << QStringList{"a"} << "v2";
    QTest::newRow("freshen adds nothing new") << "freshen+new" << 60 << QStringList{"a"} << "v2";
  }

  void updateAndFreshen() {
    QFETCH(QString, mode);
    QFETCH(int, ageSeconds);
    QFETCH(QStringList, names);
    QFETCH(QString, aHolds);
    const QString zip = dir + "/u.zip";
    const QDateTime t0 = QDateTime::currentDateTime().addDays(-1);
    writeFile(dir + "/a", "v1");
    {
      QFile f(dir + "/a");
      QVERIFY(f.open(QIODevice::ReadWrite));
      QVERIFY(f.setFileTime(t0, QFileDevice::FileModificationTime));
    }
    QCOMPARE(zp(zip, {dir + "/a"}), int(ZpOk));
    writeFile(dir + "/a", "v2");
    writeFile(dir + "/n", "new");
    {
      QFile f(dir + "/a");
      QVERIFY(f.open(QIODevice::ReadWrite));
      QVERIFY(f.setFileTime(t0.addSecs(ageSeconds), QFileDevice::FileModificationTime));
    }
    ZipOptions o = clientOptions();
    (mode.startsWith("update") ? o.updateOnlyNewer : o.freshen) = 1;
    QStringList specs{dir + "/a"};
    if (mode.endsWith("+new")) specs << dir + "/n";
    QCOMPARE(zp(zip, specs, o), int(ZpOk));
    const ZipReadOut r = readZipWithPython(zip);
    QCOMPARE(r.names(), names);
    QCOMPARE(r.member("a").value("sha256").toString(), sha256Hex(aHolds.toLatin1()));
  }

  // An archive past 4 GiB (a sparse stored member) takes another member in place.
  void appendPastFourGiB() {
    const QString zip = dir + "/big.zip";
    const quint64 size = 4608ull << 20;  // 4.5 GiB of zeros, left as a hole
    const QByteArray name = "big.bin";
    uLong crc = crc32(0, nullptr, 0);
    {
      const QByteArray zeros(16 << 20, '\0');
      for (quint64 done = 0; done < size; done += quint64(zeros.size()))
        crc = crc32_z(crc, reinterpret_cast<const Bytef*>(zeros.constData()), size_t(zeros.size()));
    }
    auto put = [](QByteArray& b, quint64 v, int n) {
      for (int i = 0; i < n; ++i) b += char((v >> (8 * i)) & 0xFF);
    };
    QByteArray local;
    put(local, 0x04034b50, 4); put(local, 45, 2); put(local, 0, 2); put(local, 0, 2);
    put(local, 0, 2); put(local, 0x21, 2); put(local, crc, 4);
    put(local, 0xFFFFFFFF, 4); put(local, 0xFFFFFFFF, 4); put(local, name.size(), 2); put(local, 20, 2);
    local += name;
    put(local, 1, 2); put(local, 16, 2); put(local, size, 8); put(local, size, 8);
    QByteArray cd;
    put(cd, 0x02014b50, 4); put(cd, 45, 2); put(cd, 45, 2); put(cd, 0, 2); put(cd, 0, 2);
    put(cd, 0, 2); put(cd, 0x21, 2); put(cd, crc, 4); put(cd, 0xFFFFFFFF, 4); put(cd, 0xFFFFFFFF, 4);
    put(cd, name.size(), 2); put(cd, 20, 2); put(cd, 0, 2); put(cd, 0, 2); put(cd, 0, 2); put(cd, 0, 4);
    put(cd, 0, 4);
    cd += name;
    put(cd, 1, 2); put(cd, 16, 2); put(cd, size, 8); put(cd, size, 8);
    const quint64 cdOffset = quint64(local.size()) + size;
    QByteArray end;
    put(end, 0x06064b50, 4); put(end, 44, 8); put(end, 45, 2); put(end, 45, 2); put(end, 0, 4); put(end, 0, 4);
    put(end, 1, 8); put(end, 1, 8); put(end, cd.size(), 8); put(end, cdOffset, 8);
    put(end, 0x07064b50, 4); put(end, 0, 4); put(end, cdOffset + quint64(cd.size()), 8); put(end, 1, 4);
    put(end, 0x06054b50, 4); put(end, 0, 2); put(end, 0, 2); put(end, 1, 2); put(end, 1, 2);
    put(end, cd.size(), 4); put(end, 0xFFFFFFFF, 4); put(end, 0, 2);
    {
      QFile f(zip);
      QVERIFY(f.open(QIODevice::WriteOnly));
      f.write(local);
      QVERIFY(f.seek(qint64(cdOffset)));
      f.write(cd + end);
    }
    const QByteArray small = jpegLike(200000, 5);
    writeFile(dir + "/1", small);
    QCOMPARE(zp(zip, {dir + "/1"}), int(ZpOk));

    const ZipReadOut r = readZipWithPython(zip, QString(), 1 << 20);
    QVERIFY2(r.ok, qPrintable(r.error));
    QCOMPARE(r.names(), (QStringList{"big.bin", "1"}));
    QCOMPARE(r.member("1").value("offset").toInteger(), qint64(cdOffset));
    QCOMPARE(r.member("1").value("sha256").toString(), sha256Hex(small));
    struct stat st {};
    ::stat(QFile::encodeName(zip).constData(), &st);
    QVERIFY(quint64(st.st_blocks) * 512 < (64ull << 20));  // the hole was not written: in place
  }

  void memberPastFourGiB_data() {
    QTest::addColumn<bool>("appended");
    QTest::newRow("new archive") << false;
    QTest::newRow("appended in place") << true;
  }

  // A member past 4 GiB (zeros, so the archive stays small) reads back whole.
  void memberPastFourGiB() {
    QFETCH(bool, appended);
    const QString source = dir + "/huge.bin";
    const qint64 size = (4ll << 30) + 12345;
    {
      QFile f(source);
      QVERIFY(f.open(QIODevice::WriteOnly));
      QVERIFY(f.resize(size));
    }
    const QString zip = dir + "/huge.zip";
    if (appended) {
      writeFile(dir + "/first", "first member");
      QCOMPARE(zp(zip, {dir + "/first"}), int(ZpOk));
    }
    ZipOptions fast = clientOptions();
    fast.level = 1;
    QCOMPARE(zp(zip, {source}, fast), int(ZpOk));
    QFile::remove(source);
    // Python lists it; unzip reads it whole and checks its CRC.
    const ZipReadOut r = readZipWithPython(zip, QString(), 1 << 20);
    QVERIFY2(r.ok, qPrintable(r.error));
    QCOMPARE(r.member("huge.bin").value("size").toInteger(), size);
    QCOMPARE(r.names().size(), appended ? 2 : 1);
    QString out;
    QVERIFY2(unzipTestOk(zip, &out), qPrintable(out));
  }
};

QTEST_GUILESS_MAIN(TestZipLib)
#include "tst_ZipLib.moc"
