// The release list "ver.tmp" as the updater reads and checks it before it fetches anything.
// Besides not crashing: a list it refuses gives nothing at all (no version, file or program);
// a list it takes is within the bounds, has as its release version a name that makes one safe
// folder, at least one file, every file name bare and used once (letter case aside), every
// "Lurl" relative without "." or ".." parts and every start-list program inside the program
// folder, and sizes that are the numbers their texts begin with; the root, the release and the
// file list are where a token-by-token reading finds them; and the same list with white space
// between its elements reads the same.
#include "FuzzSupport.h"
#include "Paths.h"
#include "VersionFile.h"
#include "XmlDom.h"
#include "releaseList.h"

#include <QDir>
#include <QHash>
#include <QSet>
#include <QStringConverter>
#include <QStringEncoder>

#include <cstdint>
#include <limits>
#include <optional>

namespace {
const QString kProgram = QStringLiteral("/opt/q");

// The checks below are written apart from the reader's on purpose: a slip in either shows.

// A name that stays where it is joined: one part, no control character.
bool bare(const QString& s) {
  return !s.isEmpty() && s != u"." && s != u".." && !s.contains('/') && !s.contains('\\') && !hasControl(s);
}

// Whether path, cleaned, is folder itself (allowSelf) or lies below it.
bool inside(const QString& folder, const QString& path, bool allowSelf) {
  const QString clean = QDir::cleanPath(path);
  return (allowSelf && clean == folder) || clean.startsWith(folder + "/");
}

bool relativeWithoutDots(const QString& path) {
  if (path.startsWith('/') || path.startsWith('\\')) return false;
  for (const QString& part : QString(path).replace('\\', '/').split('/', Qt::SkipEmptyParts))
    if (!bare(part)) return false;
  return true;
}

qint64 leadingDigits(const QString& text) {
  qint64 n = 0;
  for (const QChar c : text) {
    if (c.unicode() < '0' || c.unicode() > '9') break;
    if (n > (std::numeric_limits<qint64>::max() - 9) / 10) return std::numeric_limits<qint64>::max();
    n = n * 10 + (c.unicode() - '0');
  }
  return n;
}

QString summary(const VersionFile::Release& r) {
  QStringList parts{QString::number(r.ok), r.version};
  for (const auto& f : r.files) parts << f.name + "|" + f.size + "|" + QString::number(f.listedSize) + "|" + f.lurl;
  parts << "runs:" + r.runs.join(',');
  return parts.join(' ');
}

void checkTaken(const VersionFile::Release& r, const QByteArray& bytes, const std::optional<QString>& text) {
  FUZZ_CHECK(bytes.size() <= releaseList::maxBytes, QString::number(bytes.size()));
  FUZZ_CHECK(text.has_value(), "taken, but not UTF-8 or UTF-16");
  const XmlReading model = readXml(*text);
  FUZZ_CHECK(model.wellFormed && model.depth <= XmlDom::kMaxDepth, "taken out of bounds: " + summary(r).left(300));
  FUZZ_CHECK(model.first.kind == XmlNode::Element && model.firstChild.kind == XmlNode::Element &&
                 model.firstGrandchild.kind == XmlNode::Element,
             "the list's parts are not its first elements: " + summary(r).left(300));
  FUZZ_CHECK(model.firstChild.attributes.hasAttribute(QStringLiteral("ver")) && attribute(model.firstChild, "ver") == r.version,
             summary(r).left(300));

  // The staging folder is made one level below its parent, named by the version.
  FUZZ_CHECK(bare(r.version) && !r.version.contains(' '), "version " + r.version);
  const QString staging = kProgram + "/Novrel.staging";
  FUZZ_CHECK(QDir::cleanPath(Paths::join(staging, r.version)) == staging + "/" + r.version, r.version);

  FUZZ_CHECK(!r.files.isEmpty(), "no file");
  QSet<QString> names;
  for (const VersionFile::FileEntry& f : r.files) {
    FUZZ_CHECK(bare(f.name) && !f.name.contains(' '), "file name " + f.name);
    FUZZ_CHECK(!names.contains(f.name.toLower()), "twice: " + f.name);
    names.insert(f.name.toLower());
    FUZZ_CHECK(f.listedSize >= 0 && f.listedSize == leadingDigits(f.size), f.size + " read as " + QString::number(f.listedSize));
    FUZZ_CHECK(relativeWithoutDots(f.lurl), "Lurl " + f.lurl);
    const QString folder = Paths::join(kProgram, VersionFile::nativeRelative(f.lurl));
    FUZZ_CHECK(inside(kProgram, folder, true), "Lurl " + f.lurl + " gives " + folder);
    const QString target = Paths::join(folder, f.name);
    FUZZ_CHECK(QDir::cleanPath(target) == target && inside(kProgram, target, false), target);
  }
  for (const QString& run : r.runs) {
    FUZZ_CHECK(relativeWithoutDots(run), "runItem " + run);
    const QString program = Paths::join(kProgram, VersionFile::nativeRelative(run));
    FUZZ_CHECK(inside(kProgram, program, false), "runItem " + run + " gives " + program);
  }
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
  const VersionFile::Release r = VersionFile::read(bytes);
  const std::optional<QString> text = VersionFile::decode(bytes);
  if (r.ok) {
    checkTaken(r, bytes, text);
  } else {
    FUZZ_CHECK(r.version.isEmpty() && r.files.isEmpty() && r.runs.isEmpty(), "half read: " + summary(r).left(300));
  }

  if (!text) return 0;
  const QString blanked = withBlanksBetweenElements(*text, quint32(qHash(bytes)));
  if (blanked.isNull()) return 0;
  QStringEncoder utf8(QStringConverter::Utf8);
  const QByteArray indented = utf8.encode(blanked);
  if (indented.size() > releaseList::maxBytes) return 0;  // the blanks took it past the bound
  const VersionFile::Release again = VersionFile::read(indented);
  FUZZ_CHECK(summary(again) == summary(r), summary(again).left(300) + "\nnot " + summary(r).left(300) + "\nfor " + blanked.left(300));
  return 0;
}
