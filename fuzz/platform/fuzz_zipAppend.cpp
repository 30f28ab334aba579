// The zip library on a hostile archive: a member is appended to it, replaces its member
// "other.txt", or that member is deleted. Besides not crashing: a run that fails leaves the
// archive byte for byte as it was and nothing beside it; a run that succeeds leaves an archive
// that minizip's reader opens, with the new member's data exactly as given (CRC checked), or
// without the deleted member.
#include "FileFixture.h"
#include "FuzzSupport.h"
#include "ZipLib.h"

#include <QDir>
#include <QFile>

#include <minizip/unzip.h>

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>

namespace {
QString folder() { return scratchFolder() + "/zip"; }
QString archive() { return folder() + "/a.zip"; }

// The data of member name as minizip reads it; false when it is missing or does not read back
// with its CRC.
bool member(const QString& name, QByteArray& out) {
  unzFile uf = unzOpen64(QFile::encodeName(archive()).constData());
  if (!uf) return false;
  bool ok = unzLocateFile(uf, name.toUtf8().constData(), 2) == UNZ_OK && unzOpenCurrentFile(uf) == UNZ_OK;
  out.clear();
  char buf[8192];
  for (int n = 0; ok && (n = unzReadCurrentFile(uf, buf, sizeof buf)) != 0;) {
    if (n < 0) ok = false;
    else out.append(buf, n);
  }
  if (ok) ok = unzCloseCurrentFile(uf) == UNZ_OK;
  unzClose(uf);
  return ok;
}

int zip(const QString& spec, bool remove) {
  ZipOptions o{};
  o.noFolderEntries = 1;
  o.dropFolderNames = 1;
  o.deleteEntries = remove ? 1 : 0;
  ZpInit(nullptr);
  ZpSetOptions(&o);
  const QByteArray name = spec.toLocal8Bit(), path = archive().toLocal8Bit();
  ZipNames names{};
  names.name[0] = name.constData();
  return ZpArchive(1, path.constData(), &names);
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool ready = [] {
    QDir().mkpath(folder() + "/src");
    writeOrStop(folder() + "/src/new.txt", QByteArray("a new member of the archive\n").repeated(20));
    // A picture is stored, and appended by a plain copy.
    writeOrStop(folder() + "/src/new.jpg", QByteArray("\xFF\xD8\xFF\xE0", 4) + QByteArray(3000, '\x5A'));
    writeOrStop(folder() + "/src/other.txt", "the replacement of other.txt");
    return true;
  }();
  Q_UNUSED(ready);
  FuzzedDataProvider in(data, size);
  const int op = in.ConsumeIntegralInRange(0, 3);
  const std::string raw = in.ConsumeRemainingBytesAsString();
  const QByteArray before(raw.data(), qsizetype(raw.size()));
  writeOrStop(archive(), before);

  static const char* const specs[] = {"new.txt", "new.jpg", "other.txt", "other.txt"};
  const QString name = specs[op];
  const bool remove = op == 3;
  const int r = zip(remove ? name : folder() + "/src/" + name, remove);

  FUZZ_CHECK(r >= ZpOk && r <= ZpErrInternal, QString::number(r));
  const QStringList left = QDir(folder()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
  FUZZ_CHECK(left == (QStringList{"a.zip", "src"}), left.join(','));
  if (r != ZpOk) {
    FUZZ_CHECK(readAll(archive()) == before, "a failed run changed the archive: " + QString::number(r));
    return 0;
  }
  QByteArray stored;
  if (remove) {
    FUZZ_CHECK(!member(name, stored), "the deleted member is still there");
    return 0;
  }
  FUZZ_CHECK(member(name, stored), "the new member does not read back");
  FUZZ_CHECK(stored == readAll(folder() + "/src/" + name), "the new member holds other data");
  return 0;
}
