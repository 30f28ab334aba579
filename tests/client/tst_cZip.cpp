// The zip class and its module: the options record behind the properties, the names record a
// run hands the library, the callback routines and their bounds; and a real run end to end.
#include "ZipReader.h"
#include "cZip.h"
#include "mZip.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <cstring>
#include <functional>
#include <optional>

namespace {
// A stand-in for the library that records what a run hands it.
struct FakeLibrary {
  QStringList calls;
  ZipCallbacks callbacks{};
  ZipOptions optionsSeen{};
  int count = -1;
  std::optional<QByteArray> archive;
  std::vector<std::optional<QByteArray>> nameSlots;
  int result = 0;
  std::function<void(ZipOptions*)> onSetOptions;
  std::function<void(const ZipCallbacks&)> during;
};
FakeLibrary* fake = nullptr;

int fakeInit(const ZipCallbacks* c) {
  fake->calls << "ZpInit";
  fake->callbacks = *c;
  return 1;
}
int fakeSetOptions(ZipOptions* o) {
  fake->calls << "ZpSetOptions";
  fake->optionsSeen = *o;
  if (fake->onSetOptions) fake->onSetOptions(o);
  return 1;
}
int fakeArchive(int count, const char* archive, const ZipNames* names) {
  fake->calls << "ZpArchive";
  fake->count = count;
  if (archive) fake->archive = QByteArray(archive);
  fake->nameSlots.clear();
  for (const char* n : names->name) fake->nameSlots.push_back(n ? std::optional<QByteArray>(QByteArray(n)) : std::nullopt);
  if (fake->during) fake->during(fake->callbacks);
  return fake->result;
}
const mZip::Library fakeLibrary{fakeInit, fakeSetOptions, fakeArchive};

int32_t at(const ZipOptions& o, int offset) {
  int32_t v;
  std::memcpy(&v, reinterpret_cast<const char*>(&o) + offset, 4);
  return v;
}

// The record's bytes that differ from start, as offset -> value of the 32-bit field there.
QMap<int, int> changed(const ZipOptions& start, const ZipOptions& now) {
  QMap<int, int> out;
  for (int off = 0; off < 128; off += 4)
    if (at(start, off) != at(now, off)) out[off] = at(now, off);
  return out;
}

void setFlag(cZip& z, const QString& p, bool v) {
  if (p == "Encrypt") z.setEncrypt(v);
  if (p == "AddComment") z.setAddComment(v);
  if (p == "IncludeSystemAndHiddenFiles") z.setIncludeSystemAndHiddenFiles(v);
  if (p == "StoreVolumeLabel") z.setStoreVolumeLabel(v);
  if (p == "StoreDirectories") z.setStoreDirectories(v);
  if (p == "StoreFolderNames") z.setStoreFolderNames(v);
  if (p == "RecurseSubDirs") z.setRecurseSubDirs(v);
  if (p == "UpdateOnlyIfNewer") z.setUpdateOnlyIfNewer(v);
  if (p == "FreshenFiles") z.setFreshenFiles(v);
  if (p == "ConvertCRLFToLF") z.setConvertCRLFToLF(v);
  if (p == "ConvertLFToCRLF") z.setConvertLFToCRLF(v);
  if (p == "AllowAppend") z.setAllowAppend(v);
}

bool flagOf(const cZip& z, const QString& p) {
  if (p == "Encrypt") return z.Encrypt();
  if (p == "AddComment") return z.AddComment();
  if (p == "IncludeSystemAndHiddenFiles") return z.IncludeSystemAndHiddenFiles();
  if (p == "StoreVolumeLabel") return z.StoreVolumeLabel();
  if (p == "StoreDirectories") return z.StoreDirectories();
  if (p == "StoreFolderNames") return z.StoreFolderNames();
  if (p == "RecurseSubDirs") return z.RecurseSubDirs();
  if (p == "UpdateOnlyIfNewer") return z.UpdateOnlyIfNewer();
  if (p == "FreshenFiles") return z.FreshenFiles();
  if (p == "ConvertCRLFToLF") return z.ConvertCRLFToLF();
  if (p == "ConvertLFToCRLF") return z.ConvertLFToCRLF();
  if (p == "AllowAppend") return z.AllowAppend();
  return false;
}

// The settings every packing of the client makes, in its order.
void clientSettings(cZip& z, const QString& archive, const QString& spec) {
  z.setEncrypt(false);
  z.setAddComment(false);
  z.setZipFile(archive);
  z.setStoreFolderNames(false);
  z.setRecurseSubDirs(false);
  z.ClearFileSpecs();
  z.AddFileSpec(spec);
}
}  // namespace

class TestZip : public QObject {
  Q_OBJECT
  FakeLibrary lib;

private Q_SLOTS:
  void init() {
    lib = FakeLibrary{};
    fake = &lib;
    mZip::setLibrary(&fakeLibrary);
  }
  void cleanup() { mZip::setLibrary(nullptr); }

  void startValues() {
    cZip z;
    QCOMPARE(z.StoreDirectories(), false);
    QCOMPARE(z.StoreFolderNames(), false);
    QCOMPARE(z.RecurseSubDirs(), false);
    QCOMPARE(z.MessageLevel(), 2);
    QCOMPARE(z.Success(), true);
    QCOMPARE(z.FileSpecCount(), 0);
    QCOMPARE(z.ZipFile(), QString());
    QCOMPARE(z.BasePath(), QString());
    for (const char* p : {"Encrypt", "AddComment", "IncludeSystemAndHiddenFiles", "StoreVolumeLabel",
                          "UpdateOnlyIfNewer", "FreshenFiles", "ConvertCRLFToLF", "ConvertLFToCRLF", "AllowAppend"})
      QVERIFY2(!flagOf(z, p), p);
    // Only the no-folder-entries and drop-folder-names flags are on; the level byte is 0 too.
    QCOMPARE(changed(ZipOptions{}, z.options()), (QMap<int, int>{{36, 1}, {64, 1}}));
  }

  void flagMapping_data() {
    QTest::addColumn<QString>("property");
    QTest::addColumn<bool>("value");
    QTest::addColumn<int>("offset");
    QTest::addColumn<int>("field");
    const QList<QPair<const char*, int>> plain{{"Encrypt", 20},         {"IncludeSystemAndHiddenFiles", 24},
                                               {"StoreVolumeLabel", 28}, {"ConvertCRLFToLF", 56},
                                               {"ConvertLFToCRLF", 60}, {"AllowAppend", 68},
                                               {"UpdateOnlyIfNewer", 84}, {"FreshenFiles", 88},
                                               {"AddComment", 100}};
    for (const auto& [name, off] : plain) QTest::newRow(name) << QString(name) << true << off << 1;
    QTest::newRow("StoreDirectories True") << "StoreDirectories" << true << 36 << 0;
    QTest::newRow("StoreFolderNames True") << "StoreFolderNames" << true << 64 << 0;
    QTest::newRow("RecurseSubDirs True") << "RecurseSubDirs" << true << 116 << 2;
  }

  void flagMapping() {
    QFETCH(QString, property);
    QFETCH(bool, value);
    QFETCH(int, offset);
    QFETCH(int, field);
    cZip z;
    const ZipOptions start = z.options();
    setFlag(z, property, value);
    QCOMPARE(changed(start, z.options()), (QMap<int, int>{{offset, field}}));
    QCOMPARE(flagOf(z, property), value);
    setFlag(z, property, !value);
    QCOMPARE(changed(start, z.options()), (QMap<int, int>{}));
    QCOMPARE(flagOf(z, property), !value);
  }

  void messageLevel_data() {
    QTest::addColumn<int>("from");
    QTest::addColumn<int>("set");
    QTest::addColumn<int>("verbose");
    QTest::addColumn<int>("quiet");
    QTest::addColumn<int>("reads");
    QTest::newRow("0") << 2 << 0 << 1 << 0 << 0;
    QTest::newRow("1") << 2 << 1 << 0 << 1 << 1;
    QTest::newRow("2 after 0") << 0 << 2 << 0 << 0 << 2;
    QTest::newRow("5 keeps verbose") << 0 << 5 << 1 << 0 << 0;
    QTest::newRow("-1 keeps quiet") << 1 << -1 << 0 << 1 << 1;
  }

  void messageLevel() {
    QFETCH(int, from);
    QFETCH(int, set);
    QFETCH(int, verbose);
    QFETCH(int, quiet);
    QFETCH(int, reads);
    cZip z;
    z.setMessageLevel(from);
    z.setMessageLevel(set);
    QCOMPARE(z.options().verbose, verbose);
    QCOMPARE(z.options().quiet, quiet);
    QCOMPARE(z.MessageLevel(), reads);
  }

  // What the library writes into the record stays in the instance after the run.
  void recordTakesBackWhatTheLibraryWrote() {
    lib.onSetOptions = [](ZipOptions* o) {
      o->allowAppend = 2;
      o->verbose = 1;
      o->quiet = 1;
    };
    cZip z;
    z.setAllowAppend(true);
    z.Zip();
    QCOMPARE(z.options().allowAppend, 2);
    QCOMPARE(z.AllowAppend(), false);  // True only for exactly 1
    QCOMPARE(z.MessageLevel(), 0);     // verbose wins over quiet
  }

  void specList() {
    cZip z;
    z.AddFileSpec("/a/first");
    z.AddFileSpec("/b/second");
    QCOMPARE(z.FileSpecCount(), 2);
    QCOMPARE(z.FileSpec(1), QString("/a/first"));
    QCOMPARE(z.FileSpec(2), QString("/b/second"));
    z.ClearFileSpecs();
    QCOMPARE(z.FileSpecCount(), 0);
  }

  void runHandsTheLibraryTheRecords_data() {
    QTest::addColumn<bool>("lastMember");  // the upload's last member converts line ends
    QTest::newRow("package") << false;
    QTest::newRow("upload's last member") << true;
  }

  void runHandsTheLibraryTheRecords() {
    QFETCH(bool, lastMember);
    cZip z;
    clientSettings(z, "/d/设计/设计.DPT", "/d/设计/a");
    z.AddFileSpec("/d/b");
    if (lastMember) z.setConvertCRLFToLF(true);
    z.Zip();
    QCOMPARE(lib.calls, (QStringList{"ZpInit", "ZpSetOptions", "ZpArchive"}));
    QCOMPARE(lib.count, 2);
    QCOMPARE(lib.archive, std::optional<QByteArray>("/d/设计/设计.DPT"));
    QCOMPARE(lib.nameSlots.size(), size_t(1024));
    QCOMPARE(lib.nameSlots[0], std::optional<QByteArray>("/d/设计/a"));
    QCOMPARE(lib.nameSlots[1], std::optional<QByteArray>("/d/b"));
    QVERIFY(!lib.nameSlots[2].has_value());
    QCOMPARE(lib.nameSlots[3], std::optional<QByteArray>(""));  // a text of one NUL
    for (size_t i = 4; i < lib.nameSlots.size(); ++i) QVERIFY(!lib.nameSlots[i].has_value());
    QMap<int, int> expected{{36, 1}, {64, 1}};
    if (lastMember) expected[56] = 1;
    QCOMPARE(changed(ZipOptions{}, lib.optionsSeen), expected);
    QVERIFY(lib.callbacks.print && lib.callbacks.comment && lib.callbacks.password && lib.callbacks.service);
  }

  void specLimit_data() {
    QTest::addColumn<int>("count");
    QTest::addColumn<bool>("throws");
    QTest::newRow("1022") << 1022 << false;
    QTest::newRow("1023") << 1023 << true;
    QTest::newRow("2000") << 2000 << true;
  }

  void specLimit() {
    QFETCH(int, count);
    QFETCH(bool, throws);
    cZip z;
    for (int i = 0; i < count; ++i) z.AddFileSpec(QString("/f/%1").arg(i));
    bool raised = false;
    try {
      z.Zip();
    } catch (const SubscriptError&) {
      raised = true;
    }
    QCOMPARE(raised, throws);
    QCOMPARE(lib.calls.contains("ZpArchive"), !throws);  // nothing archived when raised
    if (!throws) {
      QCOMPARE(lib.nameSlots[1021], std::optional<QByteArray>("/f/1021"));
      QCOMPARE(lib.nameSlots[1023], std::optional<QByteArray>(""));
    }
  }

  void successAndDelete() {
    cZip z;
    lib.result = 7;
    z.Zip();
    QCOMPARE(z.Success(), false);
    lib.result = 0;
    z.Delete();
    QCOMPARE(lib.optionsSeen.deleteEntries, 1);  // on for its run only
    QCOMPARE(z.options().deleteEntries, 0);
    QCOMPARE(z.Success(), false);                // a delete leaves the verdict alone
    z.Zip();
    QCOMPARE(z.Success(), true);
  }

  void basePathChangesTheCurrentFolder() {
    QTemporaryDir tmp;
    const QString before = QDir::currentPath();
    cZip z;
    z.setBasePath("   ");
    z.Zip();
    QCOMPARE(QDir::currentPath(), before);  // blank: unchanged
    z.setBasePath(tmp.path());
    QCOMPARE(z.BasePath(), tmp.path());
    z.Zip();
    QCOMPARE(QDir::currentPath(), QDir(tmp.path()).canonicalPath());
    QDir::setCurrent(before);
  }

  void commentRoutine_data() {
    QTest::addColumn<QString>("comment");
    QTest::addColumn<bool>("cancel");
    QTest::addColumn<int>("result");
    QTest::addColumn<QByteArray>("buffer");  // what lies in the buffer after the routine
    QTest::newRow("300 characters") << QString(300, 'c') << false << 0 << QByteArray(255, 'c') + '\0';
    QTest::newRow("blanks trimmed") << "  note  " << false << 0 << QByteArray("note\0", 5);
    QTest::newRow("empty stops") << "   " << false << 1 << QByteArray();
    QTest::newRow("cancel stops") << "note" << true << 1 << QByteArray();
  }

  void commentRoutine() {
    QFETCH(QString, comment);
    QFETCH(bool, cancel);
    QFETCH(int, result);
    QFETCH(QByteArray, buffer);
    cZip z;
    connect(&z, &cZip::CommentRequest, [&](QString& c, bool& k) {
      c = comment;
      k = cancel;
    });
    int passwordEvents = 0;
    connect(&z, &cZip::PasswordRequest, [&](QString& p, int32_t, bool, bool&) {
      ++passwordEvents;
      p = "pw";
    });
    QByteArray buf(400, '\xAA');
    int got = -1, later = -1, again = -1;
    lib.during = [&](const ZipCallbacks& c) {
      got = c.comment(buf.data());
      char pw[16];
      later = c.password(pw, 16, "", "");
      again = c.comment(buf.data());
    };
    z.Zip();
    QCOMPARE(got, result);
    if (result == 0) {
      QCOMPARE(buf.left(buffer.size()), buffer);
      QCOMPARE(buf[buffer.size()], '\xAA');  // nothing past the NUL
    } else {
      // The run is cancelled: later requests stop at once without raising their events.
      QCOMPARE(later, 1);
      QCOMPARE(again, 1);
      QCOMPARE(passwordEvents, 0);
      QCOMPARE(buf, QByteArray(400, '\xAA'));
    }
  }

  void passwordRoutine_data() {
    QTest::addColumn<QString>("password");
    QTest::addColumn<int>("size");
    QTest::addColumn<int>("result");
    QTest::addColumn<QByteArray>("written");  // the first written bytes; the rest stays 0xAA
    QTest::newRow("shorter than the buffer") << "abc" << 8 << 0 << QByteArray("abc\0\0\0\0\0", 8);
    QTest::newRow("exactly the buffer") << "abcdefgh" << 8 << 0 << QByteArray("abcdefgh");
    QTest::newRow("longer than the buffer") << "abcdefghij" << 8 << 0 << QByteArray("abcdefgh");
    QTest::newRow("beyond 256 never written") << "x" << 300 << 0 << QByteArray("x") + QByteArray(255, '\0');
    QTest::newRow("empty stops") << "  " << 8 << 1 << QByteArray();
  }

  void passwordRoutine() {
    QFETCH(QString, password);
    QFETCH(int, size);
    QFETCH(int, result);
    QFETCH(QByteArray, written);
    cZip z;
    QList<bool> confirms;
    QList<int> lengths;
    connect(&z, &cZip::PasswordRequest, [&](QString& p, int32_t max, bool confirm, bool&) {
      p = password;
      confirms << confirm;
      lengths << max;
    });
    QByteArray buf(400, '\xAA');
    int first = -1, second = -1;
    lib.during = [&](const ZipCallbacks& c) {
      first = c.password(buf.data(), size, "Enter password: ", "a");
      QByteArray other(400, '\0');
      second = c.password(other.data(), size, "Verify password: ", "a");
    };
    z.Zip();
    QCOMPARE(first, result);
    QCOMPARE(buf.left(written.size()), written);
    QCOMPARE(buf.mid(written.size()), QByteArray(400 - written.size(), '\xAA'));
    if (result == 0) {
      QCOMPARE(second, 0);
      QCOMPARE(confirms, (QList<bool>{false, true}));  // the second request asks to confirm
      QCOMPARE(lengths, (QList<int>{size, size}));
    } else {
      QCOMPARE(second, 1);
      QCOMPARE(confirms.size(), 1);
    }
  }

  void textRoutines_data() {
    QTest::addColumn<QString>("routine");
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<int>("length");
    QTest::addColumn<bool>("cancel");
    QTest::addColumn<QStringList>("events");
    QTest::addColumn<int>("result");
    const QByteArray msg("  adding: a/b/c (deflated 50%)");
    QTest::newRow("print, length 1") << "print" << msg << 1 << false << QStringList{} << 0;
    QTest::newRow("print, length 2") << "print" << msg << 2 << false << QStringList{"  "} << 0;
    QTest::newRow("print, slashes") << "print" << msg << int(msg.size()) << false
                                    << QStringList{"  adding: a\\b\\c (deflated 50%)"} << 0;
    QTest::newRow("print, cut at NUL") << "print" << QByteArray("ab\0cd", 5) << 5 << false << QStringList{"ab"} << 0;
    QTest::newRow("print, length 1024") << "print" << msg << 1024 << false << QStringList{} << 0;
    QTest::newRow("service, count 1") << "service" << QByteArray("name") << 1 << false << QStringList{} << 0;
    QTest::newRow("service, count 3") << "service" << QByteArray("name") << 3 << false << QStringList{"nam"} << 0;
    QTest::newRow("service, count 1023") << "service" << QByteArray("a/b") << 1023 << false << QStringList{"a/b"} << 0;
    QTest::newRow("service, count 1024") << "service" << QByteArray("name") << 1024 << false << QStringList{} << 0;
    QTest::newRow("service, cancelled") << "service" << QByteArray("name") << 5 << true << QStringList{"name"} << 1;
  }

  void textRoutines() {
    QFETCH(QString, routine);
    QFETCH(QByteArray, text);
    QFETCH(int, length);
    QFETCH(bool, cancel);
    QFETCH(QStringList, events);
    QFETCH(int, result);
    cZip z;
    QStringList seen;
    connect(&z, &cZip::progress, [&](int32_t count, const QString& m) {
      QCOMPARE(count, 1);
      seen << m;
    });
    connect(&z, &cZip::Cancel, [&](const QString& m, bool& k) {
      seen << m;
      k = cancel;
    });
    int got = -1;
    QByteArray buf = text + QByteArray(2048, '\0');
    lib.during = [&](const ZipCallbacks& c) {
      got = routine == "print" ? c.print(buf.constData(), length) : c.service(buf.constData(), length);
    };
    z.Zip();
    QCOMPARE(got, result);
    QCOMPARE(seen, events);
  }

  void slashToBackslash_data() {
    QTest::addColumn<QString>("in");
    QTest::addColumn<QString>("out");
    QTest::newRow("empty") << "" << "";
    QTest::newRow("lone slash") << "/" << "/";
    QTest::newRow("leading slash kept") << "/a/b" << "/a\\b";
    QTest::newRow("two slashes") << "//" << "/\\";
    QTest::newRow("inner slashes") << "a/b/c" << "a\\b\\c";
    QTest::newRow("none") << "abc" << "abc";
  }

  void slashToBackslash() {
    QFETCH(QString, in);
    QFETCH(QString, out);
    QCOMPARE(mZip::SlashToBackslash(in), out);
  }

  // With the real library: an upload-like package built one member per run, its last member
  // with CR LF turned to LF, and a comment asked through the event.
  void realRunsBuildAPackage() {
    mZip::setLibrary(nullptr);
    QTemporaryDir tmp;
    const QString zip = tmp.path() + "/UpLoad/设计.TMP";
    QDir().mkpath(tmp.path() + "/UpLoad");
    const QByteArray jpeg = QByteArray("\xFF\xD8\xFF\xE0", 4) + QByteArray(20000, 'j');
    const QByteArray xml("<?xml version=\"1.0\"?>\r\n<design>\r\n</design>\r\n");
    cZip z;
    QStringList messages;
    connect(&z, &cZip::progress, [&](int32_t, const QString& m) { messages << m; });
    for (int n = 0; n < 2; ++n) {
      const QString file = tmp.path() + QString("/UpLoad/%1").arg(n);
      QFile f(file);
      QVERIFY(f.open(QIODevice::WriteOnly));
      f.write(jpeg);
      f.close();
      clientSettings(z, zip, file);
      z.Zip();
      QVERIFY(z.Success());
    }
    const QString index = tmp.path() + "/UpLoad/Index.DPT";
    {
      QFile f(index);
      QVERIFY(f.open(QIODevice::WriteOnly));
      f.write(xml);
    }
    clientSettings(z, zip, index);
    z.setConvertCRLFToLF(true);
    z.setAddComment(true);
    connect(&z, &cZip::CommentRequest, [](QString& c, bool&) { c = QString(300, 'k'); });
    z.Zip();
    QVERIFY(z.Success());

    const ZipReadOut r = readZipWithPython(zip);
    QVERIFY2(r.ok, qPrintable(r.error));
    QCOMPARE(r.names(), (QStringList{"0", "1", "Index.DPT"}));
    QCOMPARE(r.member("1").value("method").toInt(), 0);
    QCOMPARE(r.member("Index.DPT").value("sha256").toString(), sha256Hex(QByteArray(xml).replace("\r\n", "\n")));
    QCOMPARE(r.comment, QByteArray(255, 'k'));
    QCOMPARE(messages, (QStringList{"  adding: 0 (stored 0%)", "  adding: 1 (stored 0%)",
                                    messages.value(2)}));
    QVERIFY(messages.value(2).startsWith("  adding: Index.DPT (deflated "));
    QVERIFY(unzipTestOk(zip));

    clientSettings(z, zip, tmp.path() + "/UpLoad/missing");
    z.Zip();
    QVERIFY(!z.Success());
  }
};

QTEST_GUILESS_MAIN(TestZip)
#include "tst_cZip.moc"
