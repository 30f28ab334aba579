#include "ZipLib.h"

#include "Crc32.h"
#include "Paths.h"

#include <QByteArray>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QSaveFile>
#include <QString>

#include <minizip/unzip.h>
#include <minizip/zip.h>
#include <zlib.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <deque>
#include <functional>
#include <future>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace {

ZipCallbacks g_callbacks{};
ZipOptions g_options{};
std::deque<std::string> g_texts;  // handle = index + 1; a deque never moves its elements

constexpr qint64 kChunk = 1 << 20;
// Below 4 GiB with room for deflate's worst growth: larger members get ZIP64 headers up front.
constexpr quint64 kZip64Threshold = 0xFF000000ull;
constexpr uLong kMadeByUnix = (3 << 8) | 30;
constexpr uLong kUtf8Flag = 0x0800;

// ---- minizip file functions over a QFileDevice ---------------------------------------------
// The "path" minizip passes to open is the Stream itself. With discard set, writes are swallowed,
// so a failed run can let minizip release its state without touching the file.
struct Stream {
  QFileDevice* file = nullptr;
  bool discard = false;
  bool failed = false;
};

voidpf ZCALLBACK ioOpen(voidpf, const void* path, int) { return const_cast<void*>(path); }
uLong ZCALLBACK ioRead(voidpf, voidpf s, void* buf, uLong size) {
  auto* st = static_cast<Stream*>(s);
  const qint64 n = st->file->read(static_cast<char*>(buf), qint64(size));
  if (n < 0) st->failed = true;
  return n < 0 ? 0 : uLong(n);
}
uLong ZCALLBACK ioWrite(voidpf, voidpf s, const void* buf, uLong size) {
  auto* st = static_cast<Stream*>(s);
  if (st->discard) return size;
  const qint64 n = st->file->write(static_cast<const char*>(buf), qint64(size));
  if (n != qint64(size)) st->failed = true;
  return n < 0 ? 0 : uLong(n);
}
ZPOS64_T ZCALLBACK ioTell(voidpf, voidpf s) { return ZPOS64_T(static_cast<Stream*>(s)->file->pos()); }
long ZCALLBACK ioSeek(voidpf, voidpf s, ZPOS64_T offset, int origin) {
  auto* st = static_cast<Stream*>(s);
  qint64 target = qint64(offset);
  if (origin == ZLIB_FILEFUNC_SEEK_CUR) target += st->file->pos();
  else if (origin == ZLIB_FILEFUNC_SEEK_END) target += st->file->size();
  return target >= 0 && st->file->seek(target) ? 0 : -1;
}
int ZCALLBACK ioClose(voidpf, voidpf) { return 0; }
int ZCALLBACK ioError(voidpf, voidpf s) { return static_cast<Stream*>(s)->failed ? 1 : 0; }

zlib_filefunc64_def fileFunctions() {
  zlib_filefunc64_def f{};
  f.zopen64_file = ioOpen;
  f.zread_file = ioRead;
  f.zwrite_file = ioWrite;
  f.ztell64_file = ioTell;
  f.zseek64_file = ioSeek;
  f.zclose_file = ioClose;
  f.zerror_file = ioError;
  return f;
}

bool syncToDisk(QFileDevice& f) { return f.flush() && ::fsync(f.handle()) == 0; }

// ---- messages -------------------------------------------------------------------------------
void print(const QByteArray& text) {
  if (g_options.quiet || !g_callbacks.print) return;
  g_callbacks.print(text.constData(), text.size());
}

// ---- the archive's tail: central directory, end records, comment ----------------------------
quint64 le(const uchar* p, int n) {
  quint64 v = 0;
  for (int i = n - 1; i >= 0; --i) v = (v << 8) | p[i];
  return v;
}

// Walks the blocks of an extra field (id, size, data). False when a block does not fit in the
// field, as a hostile archive may declare; otherwise kept (when given) receives every block whose
// id is not drop.
bool readExtraField(const char* field, qint64 size, quint16 drop = 0, QByteArray* kept = nullptr) {
  if (kept) kept->clear();
  for (qint64 at = 0; at < size;) {
    if (size - at < 4) return false;
    const auto* p = reinterpret_cast<const uchar*>(field + at);
    const quint64 id = le(p, 2), length = le(p + 2, 2);
    if (qint64(length) > size - at - 4) return false;
    if (kept && id != drop) kept->append(field + at, qsizetype(4 + length));
    at += 4 + qint64(length);
  }
  return true;
}

struct Tail {
  qint64 start = 0;   // where the central directory begins in the file
  QByteArray bytes;   // from start to the end of the file
  QByteArray comment;
  quint64 cdSize = 0;
  quint64 entries = 0;
  qint64 base = 0;    // bytes before the archive proper (offsets count from here)
};

// Finds the end records of the archive in f. False when f holds none.
bool readTail(QFile& f, Tail& t) {
  const qint64 size = f.size();
  const qint64 window = qMin<qint64>(size, 22 + 65535);
  if (window < 22 || !f.seek(size - window)) return false;
  const QByteArray buf = f.read(window);
  if (buf.size() != window) return false;
  const auto* p = reinterpret_cast<const uchar*>(buf.constData());
  for (qint64 i = window - 22; i >= 0; --i) {
    if (le(p + i, 4) != 0x06054b50) continue;
    const qint64 commentLen = qint64(le(p + i + 20, 2));
    if (i + 22 + commentLen != window) continue;
    // Readers that take the last signature they find must come to this record too: another end
    // record or ZIP64 locator in the comment would show them another archive.
    const QByteArray after = buf.mid(qsizetype(i) + 4);
    if (after.contains("PK\x05\x06") || after.contains("PK\x06\x07")) return false;
    const qint64 eocd = size - window + i;
    quint64 cdSize = le(p + i + 12, 4);
    quint64 cdOffset = le(p + i + 16, 4);
    quint64 entries = le(p + i + 10, 2);
    qint64 recordPos = eocd;
    // A ZIP64 locator right before the end record points at the ZIP64 end record.
    if (eocd >= 20 && f.seek(eocd - 20)) {
      const QByteArray loc = f.read(20);
      const auto* l = reinterpret_cast<const uchar*>(loc.constData());
      if (loc.size() == 20 && le(l, 4) == 0x07064b50) {
        const qint64 zip64Pos = eocd - 20 - 56;
        if (zip64Pos >= 0 && f.seek(zip64Pos)) {
          const QByteArray rec = f.read(56);
          const auto* r = reinterpret_cast<const uchar*>(rec.constData());
          if (rec.size() == 56 && le(r, 4) == 0x06064b50) {
            entries = le(r + 32, 8);
            cdSize = le(r + 40, 8);
            cdOffset = le(r + 48, 8);
            recordPos = zip64Pos;
          }
        }
      }
    }
    if (quint64(recordPos) < cdSize) return false;
    t.start = recordPos - qint64(cdSize);
    t.cdSize = cdSize;
    t.entries = entries;
    t.base = t.start - qint64(cdOffset);
    if (t.base < 0) return false;
    t.comment = buf.mid(i + 22, commentLen);
    if (!f.seek(t.start)) return false;
    t.bytes = f.read(size - t.start);
    return t.bytes.size() == size - t.start;
  }
  return false;
}

// ---- what a run works on -------------------------------------------------------------------
struct Item {
  QString source;     // file to read; empty for a folder entry
  QByteArray name;    // member name, UTF-8
  bool folder = false;
  uLong dosDate = 0;
  tm_zip tmz{};
  uLong mode = 0;
  quint64 size = 0;
};

struct Entry {
  QByteArray name;
  QString key;        // the name for comparisons, without regard to letter case
  uLong dosDate = 0;
};

QString keyOf(const QByteArray& name) { return QString::fromUtf8(name).toCaseFolded(); }

uLong toDosDate(const tm_zip& t) {
  const uLong year = t.tm_year >= 1980 ? t.tm_year - 1980 : 0;
  const uLong date = t.tm_mday + 32 * (t.tm_mon + 1) + 512 * year;
  return (date << 16) | (t.tm_sec / 2 + 32 * t.tm_min + 2048 * uLong(t.tm_hour));
}

void stamp(Item& it, const QFileInfo& info) {
  QDateTime m = info.lastModified().toLocalTime();
  if (m.date().year() < 1980) m = QDateTime(QDate(1980, 1, 1), QTime(0, 0));
  it.tmz.tm_sec = m.time().second();
  it.tmz.tm_min = m.time().minute();
  it.tmz.tm_hour = m.time().hour();
  it.tmz.tm_mday = m.date().day();
  it.tmz.tm_mon = m.date().month() - 1;
  it.tmz.tm_year = m.date().year();
  it.dosDate = toDosDate(it.tmz);
  struct stat st {};
  const QByteArray path = QFile::encodeName(info.absoluteFilePath());
  it.mode = ::stat(path.constData(), &st) == 0 ? uLong(st.st_mode & 0xFFFF) : (info.isDir() ? 040755 : 0100644);
}

// A member name from a path: "/" separators, no leading "/", no "." or ".." parts.
QByteArray memberName(const QString& path) {
  QStringList parts;
  for (const QString& p : QDir::cleanPath(path).split('/', Qt::SkipEmptyParts))
    if (p != "." && p != "..") parts << p;
  return parts.join('/').toUtf8();
}

bool hasWildcard(const QString& s) { return s.contains('*') || s.contains('?'); }

struct Encoding;

class Run {
public:
  explicit Run(const ZipOptions& o) : o_(o) {}
  int archive(int count, const char* archivePath, const ZipNames* names);

private:
  int collect(const QString& spec);
  void walk(const QString& folder, const QString& namePrefix, const QString& pattern);
  void addFound(const QFileInfo& info, const QString& relName);
  int readEntries();
  int remove(const QStringList& patterns);
  int askComment();
  int askPassword();
  int appendInPlace(const std::vector<Item*>& adds);
  int rewrite(const std::vector<Item*>& adds, const QHash<QString, Item*>& replaces,
              const QList<QString>& deletes);
  using Sink = std::function<bool(const char*, size_t)>;
  bool notify(const Item& it);
  uLong flagOf(const Item& it, const Encoding& e) const;
  void reportAdded(const Item& it, const Encoding& e, quint64 in, quint64 out);
  int prepare(const Item& it, QFile& src, QByteArray& chunk, Encoding& e);
  int encode(QFile& src, QByteArray chunk, const Encoding& e, const Sink& sink, quint64& in, quint64& out, uLong& crc);
  int addItem(zipFile zf, Stream& s, const Item& it);
  int writeMember(QFile& f, qint64 base, const Item& it, QByteArray& cd);
  int copyEntry(unzFile uf, zipFile zf, Stream& s);
  int finish(zipFile zf, Stream& s);

  const ZipOptions o_;
  QString archive_;
  QString root_;          // folder relative names are read from and taken against
  bool exists_ = false;   // the archive exists and holds zip data
  std::vector<Item> items_;
  std::vector<Entry> entries_;
  QByteArray comment_;    // the archive comment to write
  QByteArray password_;
  quint64 totalIn_ = 0, totalOut_ = 0;
};

QString absoluteIn(const QString& root, const QString& path) {
  const QString p = Paths::native(path);
  if (QDir::isAbsolutePath(p)) return p;
  return QDir(root).absoluteFilePath(p);
}

int Run::archive(int count, const char* archivePath, const ZipNames* names) {
  if (!archivePath || !*archivePath || count < 0 || count > ZpNameSlots || (count > 0 && !names))
    return ZpErrArguments;
  root_ = QDir::currentPath();
  if (const char* r = ZpTextOf(o_.rootFolder)) {
    const QString rf = QString::fromLocal8Bit(r).trimmed();
    if (!rf.isEmpty()) root_ = Paths::resolveCase(absoluteIn(root_, rf));
  }
  archive_ = Paths::resolveCase(absoluteIn(QDir::currentPath(), QString::fromLocal8Bit(archivePath)));
  QStringList specs;
  for (int i = 0; i < count; ++i) {
    if (!names->name[i]) return ZpErrArguments;
    specs << QString::fromLocal8Bit(names->name[i]);
  }
  if (specs.isEmpty()) return ZpErrNothingToDo;

  const QFileInfo ai(archive_);
  if (ai.exists() && ai.isDir()) return ZpErrCreate;
  exists_ = ai.exists() && ai.size() > 0;
  if (exists_) {
    if (int r = readEntries()) return r;
  }

  if (o_.deleteEntries) {
    if (!exists_) return ZpErrNoArchive;
    return remove(specs);
  }

  for (const QString& spec : specs)
    if (int r = collect(spec)) return r;
  // The archive never goes into itself.
  const QString self = ai.exists() ? ai.canonicalFilePath() : QString();
  std::erase_if(items_, [&](const Item& it) {
    return !it.folder && !self.isEmpty() && QFileInfo(it.source).canonicalFilePath() == self;
  });
  if (items_.empty()) return ZpErrNothingToDo;
  QHash<QString, const Item*> seen;
  for (const Item& it : items_) {
    const QString k = keyOf(it.name);
    if (seen.contains(k)) return ZpErrDuplicateName;
    seen.insert(k, &it);
  }

  QHash<QString, int> index;
  for (int i = 0; i < int(entries_.size()); ++i) index.insert(entries_[i].key, i);
  std::vector<Item*> adds;
  QHash<QString, Item*> replaces;
  for (Item& it : items_) {
    const QString k = keyOf(it.name);
    const auto at = index.constFind(k);
    const bool present = at != index.constEnd();
    const bool newer = present && it.dosDate > entries_[*at].dosDate;
    if ((o_.updateOnlyNewer || o_.freshen) && present && !newer) continue;
    if (o_.freshen && !present) continue;
    if (present) replaces.insert(k, &it);
    else adds.push_back(&it);
  }
  if (adds.empty() && replaces.isEmpty()) return ZpOk;  // everything up to date

  if (int r = askComment()) return r;
  if (int r = askPassword()) return r;
  if (exists_ && replaces.isEmpty()) return appendInPlace(adds);
  return rewrite(adds, replaces, {});
}

int Run::collect(const QString& rawSpec) {
  const QString spec = Paths::native(rawSpec).trimmed();
  if (spec.isEmpty()) return ZpErrNameNotMatched;
  const QString abs = absoluteIn(root_, spec);
  const QFileInfo fi(Paths::resolveCase(abs));
  // The name a file gets when folder names are kept: its path under the root, or as written.
  const QString rootPrefix = root_.endsWith('/') ? root_ : root_ + "/";
  auto keptName = [&](const QString& absPath, const QString& asWritten) {
    if (absPath.startsWith(rootPrefix)) return absPath.mid(rootPrefix.size());
    return asWritten;
  };
  const size_t before = items_.size();
  if (fi.exists() && fi.isFile()) {
    Item it;
    it.source = fi.absoluteFilePath();
    it.name = o_.dropFolderNames ? memberName(QFileInfo(abs).fileName()) : memberName(keptName(abs, spec));
    it.size = quint64(fi.size());
    stamp(it, fi);
    items_.push_back(std::move(it));
    return ZpOk;
  }
  if (fi.exists() && fi.isDir()) {
    const QString base = keptName(QDir::cleanPath(abs), spec);
    if (!o_.noFolderEntries && !o_.dropFolderNames && !memberName(base).isEmpty()) {
      Item it;
      it.folder = true;
      it.name = memberName(base) + "/";
      stamp(it, fi);
      items_.push_back(std::move(it));
    }
    if (o_.recurse) walk(fi.absoluteFilePath(), base, QString());
    return ZpOk;  // an empty result is judged for the whole run
  }
  const QString pattern = QFileInfo(abs).fileName();
  const QFileInfo folder(Paths::resolveCase(QFileInfo(abs).path()));
  if (hasWildcard(pattern) && folder.isDir()) {
    const int cut = spec.lastIndexOf('/');
    walk(folder.absoluteFilePath(), cut < 0 ? QString() : spec.left(cut), pattern);
    return items_.size() > before ? ZpOk : ZpErrNameNotMatched;
  }
  return ZpErrNameNotMatched;
}

// Adds the files below folder (those matching pattern, when given); walks deeper with recursion.
void Run::walk(const QString& folder, const QString& namePrefix, const QString& pattern) {
  QDir::Filters filters = QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot;
  if (o_.includeSystemAndHidden) filters |= QDir::Hidden | QDir::System;
  for (const QFileInfo& f : QDir(folder).entryInfoList(filters, QDir::Name)) {
    const QString rel = namePrefix.isEmpty() ? f.fileName() : namePrefix + "/" + f.fileName();
    if (f.isDir()) {
      if (!o_.recurse || f.isSymLink()) continue;  // a link to a folder could loop
      if (pattern.isEmpty() && !o_.noFolderEntries && !o_.dropFolderNames) {
        Item it;
        it.folder = true;
        it.name = memberName(rel) + "/";
        stamp(it, f);
        items_.push_back(std::move(it));
      }
      walk(f.absoluteFilePath(), rel, pattern);
    } else if (f.isFile() && (pattern.isEmpty() || QDir::match(pattern, f.fileName()))) {
      addFound(f, rel);
    }
  }
}

void Run::addFound(const QFileInfo& info, const QString& relName) {
  Item it;
  it.source = info.absoluteFilePath();
  it.name = memberName(o_.dropFolderNames ? info.fileName() : relName);
  it.size = quint64(info.size());
  stamp(it, info);
  items_.push_back(std::move(it));
}

// The member list is read from the central directory that comes with the tail: walking the
// records through the file would cost every run in proportion to the archive.
int Run::readEntries() {
  QFile f(archive_);
  if (!f.open(QIODevice::ReadOnly)) return ZpErrNotAZip;
  Tail t;
  if (!readTail(f, t)) return ZpErrNotAZip;
  const auto* p = reinterpret_cast<const uchar*>(t.bytes.constData());
  quint64 at = 0;
  for (quint64 n = 0; n < t.entries; ++n) {
    if (at + 46 > t.cdSize || le(p + at, 4) != 0x02014b50) return ZpErrNotAZip;
    const quint64 nameLen = le(p + at + 28, 2), extraLen = le(p + at + 30, 2);
    const quint64 next = at + 46 + nameLen + extraLen + le(p + at + 32, 2);
    if (next > t.cdSize) return ZpErrNotAZip;
    if (!readExtraField(t.bytes.constData() + at + 46 + nameLen, qint64(extraLen))) return ZpErrNotAZip;
    Entry en;
    en.name = t.bytes.mid(qsizetype(at + 46), qsizetype(nameLen));
    en.key = keyOf(en.name);
    en.dosDate = uLong(le(p + at + 12, 4));
    entries_.push_back(std::move(en));
    at = next;
  }
  // Anything between the last record and the end records would stand between the old records
  // and the ones an append writes after them.
  if (at != t.cdSize) return ZpErrNotAZip;
  comment_ = t.comment;
  return ZpOk;
}

int Run::remove(const QStringList& specs) {
  QList<QRegularExpression> patterns;
  for (const QString& s : specs) {
    const QString p = QString::fromUtf8(memberName(Paths::native(s)));
    patterns << QRegularExpression(QRegularExpression::wildcardToRegularExpression(p),
                                   QRegularExpression::CaseInsensitiveOption);
  }
  QList<QString> deletes;
  for (const Entry& en : entries_) {
    const QString n = QString::fromUtf8(en.name);
    QString bare = n;
    if (bare.endsWith('/')) bare.chop(1);
    for (const QRegularExpression& re : patterns)
      if (re.match(n).hasMatch() || re.match(bare).hasMatch()) {
        deletes << en.key;
        break;
      }
  }
  if (deletes.isEmpty()) return ZpErrNothingToDo;
  if (int r = askComment()) return r;
  return rewrite({}, {}, deletes);
}

int Run::askComment() {
  if (!o_.addComment) return ZpOk;
  if (!g_callbacks.comment) return ZpErrAborted;
  std::vector<char> buf(ZpCommentBufferSize, 0);
  std::memcpy(buf.data(), comment_.constData(), qMin<size_t>(comment_.size(), buf.size() - 1));
  if (g_callbacks.comment(buf.data()) != 0) return ZpErrAborted;
  comment_ = QByteArray(buf.data(), int(strnlen(buf.data(), buf.size() - 1)));
  return ZpOk;
}

int Run::askPassword() {
  if (!o_.encrypt) return ZpOk;
  if (!g_callbacks.password) return ZpErrPassword;
  const QByteArray target = items_.empty() ? QByteArray() : items_.front().name;
  QByteArray entered[2];
  const char* prompts[2] = {"Enter password: ", "Verify password: "};
  for (int i = 0; i < 2; ++i) {
    char buf[ZpPasswordBufferSize + 1] = {};
    if (g_callbacks.password(buf, ZpPasswordBufferSize, prompts[i], target.constData()) != 0) return ZpErrAborted;
    entered[i] = QByteArray(buf, int(strnlen(buf, ZpPasswordBufferSize)));
  }
  if (entered[0].isEmpty() || entered[0] != entered[1]) return ZpErrPassword;
  password_ = entered[0];
  return ZpOk;
}

// Line-end conversion over a stream of chunks.
class LineEnds {
public:
  LineEnds(bool toLf, bool toCrlf) : toLf_(toLf), toCrlf_(toCrlf && !toLf) {}
  bool active() const { return toLf_ || toCrlf_; }
  QByteArray convert(const QByteArray& in, bool last) {
    QByteArray out;
    out.reserve(in.size() + (toCrlf_ ? in.size() / 8 : 0) + 1);
    for (const char c : in) {
      if (toLf_) {
        if (pendingCr_) {
          pendingCr_ = false;
          if (c == '\n') { out += '\n'; continue; }
          out += '\r';
        }
        if (c == '\r') pendingCr_ = true;
        else out += c;
      } else {
        if (c == '\n' && !prevCr_) out += '\r';
        out += c;
        prevCr_ = c == '\r';
      }
    }
    if (last && pendingCr_) {
      out += '\r';
      pendingCr_ = false;
    }
    return out;
  }

private:
  bool toLf_, toCrlf_;
  bool pendingCr_ = false, prevCr_ = false;
};

// The traditional zip encryption (the one every unzip reads).
class ZipCrypto {
public:
  explicit ZipCrypto(const QByteArray& password) : table_(get_crc_table()) {
    for (const char c : password) update(uchar(c));
  }
  void encrypt(unsigned char* p, size_t n) {
    for (size_t i = 0; i < n; ++i) {
      const unsigned t = (keys_[2] | 2) & 0xFFFF;
      const unsigned char plain = p[i];
      p[i] = plain ^ uchar((t * (t ^ 1)) >> 8);
      update(plain);
    }
  }

private:
  uint32_t crc(uint32_t c, unsigned char b) const { return (c >> 8) ^ uint32_t(table_[(c ^ b) & 0xFF]); }
  void update(unsigned char b) {
    keys_[0] = crc(keys_[0], b);
    keys_[1] = (keys_[1] + (keys_[0] & 0xFF)) * 134775813u + 1;
    keys_[2] = crc(keys_[2], uchar(keys_[1] >> 24));
  }
  const z_crc_t* table_;
  uint32_t keys_[3] = {0x12345678u, 0x23456789u, 0x34567890u};
};

bool isPicture(const QByteArray& head) {
  return head.startsWith("\xFF\xD8\xFF") || head.startsWith("\x89PNG\r\n\x1A\n");
}

int levelOf(char l) {
  if (l >= '0' && l <= '9') return l - '0';
  if (l >= 1 && l <= 9) return l;
  return Z_DEFAULT_COMPRESSION;
}

// How one file becomes member data.
struct Encoding {
  bool stored = false;
  bool binary = false;
  bool zip64 = false;
  bool encrypted = false;
  uLong cryptCrc = 0;  // the CRC, known before the data when encrypting
};

void putLe(QByteArray& b, quint64 v, int n) {
  for (int i = 0; i < n; ++i) b += char((v >> (8 * i)) & 0xFF);
}

bool Run::notify(const Item& it) {
  if (!g_callbacks.service) return true;
  return g_callbacks.service(it.name.constData(), uLong(it.name.size() + 1)) == 0;
}

uLong Run::flagOf(const Item& it, const Encoding& e) const {
  bool ascii = true;
  for (const char c : it.name) ascii = ascii && uchar(c) < 0x80;
  return (ascii ? 0 : kUtf8Flag) | (e.encrypted ? 1 : 0);
}

void Run::reportAdded(const Item& it, const Encoding& e, quint64 in, quint64 out) {
  totalIn_ += in;
  totalOut_ += out;
  if (it.folder || e.stored) {
    print("  adding: " + it.name + " (stored 0%)");
    return;
  }
  const int percent = in == 0 ? 0 : int(qMax<qint64>(0, 100 - qint64(out * 100 / in)));
  print("  adding: " + it.name + " (deflated " + QByteArray::number(percent) + "%)");
}

// Opens the file of it and decides how its data is kept; chunk receives the first read.
int Run::prepare(const Item& it, QFile& src, QByteArray& chunk, Encoding& e) {
  if (!src.open(QIODevice::ReadOnly)) return ZpErrRead;
  chunk = src.read(kChunk);
  if (src.error() != QFileDevice::NoError) return ZpErrRead;
  e.binary = chunk.contains('\0');
  e.stored = it.size == 0 || isPicture(chunk) || levelOf(o_.level) == 0;
  const bool doubling = o_.lfToCrlf && !o_.crlfToLf && !e.binary;
  e.zip64 = (doubling ? it.size * 2 : it.size) >= kZip64Threshold;
  e.encrypted = !password_.isEmpty();
  if (e.encrypted) {
    // The encryption header carries the CRC, so one pass over the converted bytes comes first.
    LineEnds pre(o_.crlfToLf && !e.binary, o_.lfToCrlf && !e.binary);
    e.cryptCrc = 0;
    QByteArray c = chunk;
    for (;;) {
      const bool last = c.size() < kChunk || src.atEnd();
      const QByteArray data = pre.active() ? pre.convert(c, last) : c;
      e.cryptCrc = crc32Update(e.cryptCrc, data.constData(), size_t(data.size()));
      if (last) break;
      c = src.read(kChunk);
      if (c.isEmpty() && src.error() != QFileDevice::NoError) return ZpErrRead;
    }
    if (!src.seek(chunk.size())) return ZpErrRead;
  }
  return ZpOk;
}

// Converts, compresses and encrypts the data of src (first chunk given) into sink. in and out
// count the bytes before and after, crc is over the bytes before compression.
int Run::encode(QFile& src, QByteArray chunk, const Encoding& e, const Sink& sink, quint64& in, quint64& out,
                uLong& crc) {
  LineEnds ends(o_.crlfToLf && !e.binary, o_.lfToCrlf && !e.binary);
  std::unique_ptr<ZipCrypto> crypto;
  if (e.encrypted) crypto = std::make_unique<ZipCrypto>(password_);
  std::vector<unsigned char> zbuf(kChunk);
  auto put = [&](unsigned char* p, size_t n) {
    if (crypto) crypto->encrypt(p, n);
    out += n;
    return n == 0 || sink(reinterpret_cast<const char*>(p), n);
  };
  if (crypto) {
    unsigned char head[12];
    for (int i = 0; i < 10; ++i) head[i] = uchar(QRandomGenerator::system()->generate());
    head[10] = uchar(e.cryptCrc >> 16);
    head[11] = uchar(e.cryptCrc >> 24);
    if (!put(head, sizeof head)) return ZpErrWrite;
  }
  z_stream ds{};
  if (!e.stored && deflateInit2(&ds, levelOf(o_.level), Z_DEFLATED, -MAX_WBITS, DEF_MEM_LEVEL, Z_DEFAULT_STRATEGY) != Z_OK)
    return ZpErrInternal;
  auto end = qScopeGuard([&] {
    if (!e.stored) deflateEnd(&ds);
  });
  crc = 0;
  in = out = 0;
  for (;;) {
    const bool last = chunk.size() < kChunk || src.atEnd();
    QByteArray data = ends.active() ? ends.convert(chunk, last) : chunk;
    crc = crc32Update(crc, data.constData(), size_t(data.size()));
    in += quint64(data.size());
    if (e.stored) {
      if (!put(reinterpret_cast<unsigned char*>(data.data()), size_t(data.size()))) return ZpErrWrite;
    } else {
      ds.next_in = reinterpret_cast<Bytef*>(data.data());
      ds.avail_in = uInt(data.size());
      int z = Z_OK;
      do {
        ds.next_out = zbuf.data();
        ds.avail_out = uInt(zbuf.size());
        z = deflate(&ds, last ? Z_FINISH : Z_NO_FLUSH);
        if (z == Z_STREAM_ERROR) return ZpErrInternal;
        if (!put(zbuf.data(), zbuf.size() - ds.avail_out)) return ZpErrWrite;
      } while (ds.avail_out == 0 || (last && z != Z_STREAM_END));
    }
    if (last) break;
    chunk = src.read(kChunk);
    if (chunk.isEmpty() && src.error() != QFileDevice::NoError) return ZpErrRead;
  }
  return src.error() == QFileDevice::NoError ? ZpOk : ZpErrRead;
}

// Adds it through minizip (new and rewritten archives); the data is encoded here and handed raw.
int Run::addItem(zipFile zf, Stream& s, const Item& it) {
  if (!notify(it)) return ZpErrAborted;
  zip_fileinfo zi{};
  zi.tmz_date = it.tmz;
  zi.external_fa = it.mode << 16 | (it.folder ? 0x10 : 0);
  Encoding e;
  QFile src(it.source);
  QByteArray chunk;
  if (it.folder) e.stored = true;
  else if (int r = prepare(it, src, chunk, e)) return r;
  if (zipOpenNewFileInZip4_64(zf, it.name.constData(), &zi, nullptr, 0, nullptr, 0, nullptr, e.stored ? 0 : Z_DEFLATED,
                              0, 1, -MAX_WBITS, DEF_MEM_LEVEL, Z_DEFAULT_STRATEGY, nullptr, 0, kMadeByUnix,
                              flagOf(it, e), e.zip64 ? 1 : 0) != ZIP_OK)
    return s.failed ? ZpErrWrite : ZpErrInternal;
  quint64 in = 0, out = 0;
  uLong crc = 0;
  if (!it.folder) {
    const Sink sink = [&](const char* p, size_t n) { return zipWriteInFileInZip(zf, p, unsigned(n)) == ZIP_OK; };
    if (int r = encode(src, chunk, e, sink, in, out, crc)) return r == ZpErrWrite && !s.failed ? ZpErrInternal : r;
  }
  if (zipCloseFileInZipRaw64(zf, in, crc) != ZIP_OK || s.failed) return s.failed ? ZpErrWrite : ZpErrInternal;
  reportAdded(it, e, in, out);
  return ZpOk;
}

// Writes it as a member at the current position of f (in-place appending) and returns its
// central directory record in cd.
int Run::writeMember(QFile& f, qint64 base, const Item& it, QByteArray& cd) {
  if (!notify(it)) return ZpErrAborted;
  Encoding e;
  QFile src(it.source);
  QByteArray chunk;
  if (it.folder) e.stored = true;
  else if (int r = prepare(it, src, chunk, e)) return r;
  const qint64 headerPos = f.pos();
  const uLong flag = flagOf(it, e);
  const int method = e.stored ? 0 : Z_DEFLATED;
  const int needed = e.zip64 ? 45 : 20;
  auto localHeader = [&](uLong crc, quint64 csize, quint64 usize) {
    QByteArray h;
    putLe(h, 0x04034b50, 4);
    putLe(h, needed, 2);
    putLe(h, flag, 2);
    putLe(h, method, 2);
    putLe(h, it.dosDate, 4);
    putLe(h, crc, 4);
    putLe(h, e.zip64 ? 0xFFFFFFFFu : csize, 4);
    putLe(h, e.zip64 ? 0xFFFFFFFFu : usize, 4);
    putLe(h, quint64(it.name.size()), 2);
    putLe(h, e.zip64 ? 20 : 0, 2);
    h += it.name;
    if (e.zip64) {
      putLe(h, 1, 2);
      putLe(h, 16, 2);
      putLe(h, usize, 8);
      putLe(h, csize, 8);
    }
    return h;
  };
  const QByteArray placeholder = localHeader(0, 0, 0);
  if (f.write(placeholder) != placeholder.size()) return ZpErrWrite;

  quint64 in = 0, out = 0;
  uLong crc = 0;
  const bool plainCopy = !it.folder && e.stored && !e.encrypted && (e.binary || !(o_.crlfToLf || o_.lfToCrlf));
  if (plainCopy) {
    // Stored as it is: the kernel copies the bytes while a second thread takes their CRC, both
    // over the same length, so that a run costs little more than the copy itself.
    if (!f.flush()) return ZpErrWrite;
    const qint64 size = src.size();
    if (size < chunk.size()) return ZpErrRead;
    auto crcOfSource = [fd = src.handle(), size, head = chunk]() -> std::optional<uLong> {
      uLong c = crc32Update(0, head.constData(), size_t(head.size()));
      std::vector<char> b(static_cast<size_t>(kChunk));
      for (qint64 at = head.size(); at < size;) {
        const ssize_t n = ::pread(fd, b.data(), size_t(qMin<qint64>(kChunk, size - at)), at);
        if (n <= 0) return std::nullopt;
        c = crc32Update(c, b.data(), size_t(n));
        at += n;
      }
      return c;
    };
    auto crcJob = std::async(size > chunk.size() ? std::launch::async : std::launch::deferred, crcOfSource);
    std::vector<char> buf(static_cast<size_t>(kChunk));
    loff_t from = 0, to = f.pos();
    qint64 copied = 0;
    while (copied < size) {
      const ssize_t n = ::copy_file_range(src.handle(), &from, f.handle(), &to, size_t(size - copied), 0);
      if (n <= 0) break;
      copied += n;
    }
    // Where the kernel cannot copy between these files, the bytes go through the buffer.
    if (copied < size) {
      if (!src.seek(copied) || !f.seek(qint64(to))) return ZpErrWrite;
      while (copied < size) {
        const qint64 n = src.read(buf.data(), qMin<qint64>(kChunk, size - copied));
        if (n <= 0) return ZpErrRead;
        if (f.write(buf.data(), n) != n) return ZpErrWrite;
        copied += n;
      }
    }
    const std::optional<uLong> sourceCrc = crcJob.get();
    if (!sourceCrc) return ZpErrRead;
    crc = *sourceCrc;
    if (!f.seek(headerPos + placeholder.size() + size)) return ZpErrWrite;
    in = out = quint64(size);
  } else if (!it.folder) {
    const Sink sink = [&](const char* p, size_t n) { return f.write(p, qint64(n)) == qint64(n); };
    if (int r = encode(src, chunk, e, sink, in, out, crc)) return r;
  }
  if (!e.zip64 && (in >= 0xFFFFFFFFull || out >= 0xFFFFFFFFull)) return ZpErrInternal;
  const qint64 endPos = f.pos();
  const QByteArray header = localHeader(crc, out, in);
  if (!f.seek(headerPos) || f.write(header) != header.size() || !f.seek(endPos)) return ZpErrWrite;

  const quint64 offset = quint64(headerPos - base);
  const bool bigOffset = offset >= 0xFFFFFFFFull;
  QByteArray extra;
  if (e.zip64 || bigOffset) {
    QByteArray fields;
    if (e.zip64) {
      putLe(fields, in, 8);
      putLe(fields, out, 8);
    }
    if (bigOffset) putLe(fields, offset, 8);
    putLe(extra, 1, 2);
    putLe(extra, quint64(fields.size()), 2);
    extra += fields;
  }
  putLe(cd, 0x02014b50, 4);
  putLe(cd, (3 << 8) | (e.zip64 || bigOffset ? 45 : 30), 2);
  putLe(cd, e.zip64 || bigOffset ? 45 : 20, 2);
  putLe(cd, flag, 2);
  putLe(cd, method, 2);
  putLe(cd, it.dosDate, 4);
  putLe(cd, crc, 4);
  putLe(cd, e.zip64 ? 0xFFFFFFFFu : out, 4);
  putLe(cd, e.zip64 ? 0xFFFFFFFFu : in, 4);
  putLe(cd, quint64(it.name.size()), 2);
  putLe(cd, quint64(extra.size()), 2);
  putLe(cd, 0, 2);  // comment
  putLe(cd, 0, 2);  // disk
  putLe(cd, 0, 2);  // internal attributes
  putLe(cd, (it.mode << 16) | (it.folder ? 0x10 : 0), 4);
  putLe(cd, bigOffset ? 0xFFFFFFFFu : offset, 4);
  cd += it.name;
  cd += extra;
  reportAdded(it, e, in, out);
  return ZpOk;
}

// Copies the entry unzip stands on into zf without recompressing it.
int Run::copyEntry(unzFile uf, zipFile zf, Stream& s) {
  unz_file_info64 info{};
  std::vector<char> name(65536), extra(65536), comment(65536);
  if (unzGetCurrentFileInfo64(uf, &info, name.data(), uLong(name.size()), extra.data(), uLong(extra.size()),
                              comment.data(), uLong(comment.size())) != UNZ_OK)
    return ZpErrNotAZip;
  if (info.compression_method != 0 && info.compression_method != Z_DEFLATED) return ZpErrUnsupportedMember;
  int method = 0, level = 0;
  if (unzOpenCurrentFile2(uf, &method, &level, 1) != UNZ_OK) return ZpErrNotAZip;
  std::vector<char> local(65536);
  const int localSize = unzGetLocalExtrafield(uf, local.data(), unsigned(local.size()));
  // minizip writes its own ZIP64 fields, so the old ones are left out; every block is checked
  // first, since minizip would trust their sizes.
  QByteArray localKept, globalKept;
  if (!readExtraField(local.data(), qMax(localSize, 0), 0x0001, &localKept) ||
      !readExtraField(extra.data(), qint64(info.size_file_extra), 0x0001, &globalKept)) {
    unzCloseCurrentFile(uf);
    return ZpErrNotAZip;
  }
  // Room for the ZIP64 blocks minizip may add within the 16-bit field lengths.
  if (localKept.size() > 0xFFFF - 32 || globalKept.size() > 0xFFFF - 32) {
    unzCloseCurrentFile(uf);
    return ZpErrUnsupportedMember;
  }
  zip_fileinfo zi{};
  zi.dosDate = info.dosDate;
  zi.internal_fa = info.internal_fa;
  zi.external_fa = info.external_fa;
  const bool encrypted = info.flag & 1;
  // Sizes go into the local header, so no data descriptor follows; an encrypted entry keeps the
  // bit because its check byte depends on it.
  const uLong flag = encrypted ? info.flag : (info.flag & ~uLong(0x0008));
  const int zip64 = info.compressed_size >= 0xFFFFFFFFull || info.uncompressed_size >= 0xFFFFFFFFull ? 1 : 0;
  const std::string entryComment(comment.data(), info.size_file_comment);
  const std::string entryName(name.data(), info.size_filename);
  int r = zipOpenNewFileInZip4_64(zf, entryName.c_str(), &zi, localKept.constData(), unsigned(localKept.size()),
                                  globalKept.constData(), unsigned(globalKept.size()),
                                  entryComment.empty() ? nullptr : entryComment.c_str(),
                                  int(info.compression_method), 0, 1, -MAX_WBITS, DEF_MEM_LEVEL, Z_DEFAULT_STRATEGY,
                                  nullptr, 0, info.version, flag, zip64);
  std::vector<char> buf(kChunk);
  while (r == ZIP_OK) {
    const int n = unzReadCurrentFile(uf, buf.data(), unsigned(buf.size()));
    if (n < 0) {
      unzCloseCurrentFile(uf);
      return ZpErrNotAZip;
    }
    if (n == 0) break;
    r = zipWriteInFileInZip(zf, buf.data(), unsigned(n));
  }
  unzCloseCurrentFile(uf);
  if (r == ZIP_OK) r = zipCloseFileInZipRaw64(zf, info.uncompressed_size, info.crc);
  if (r != ZIP_OK || s.failed) return s.failed ? ZpErrWrite : ZpErrInternal;
  return ZpOk;
}

int Run::finish(zipFile zf, Stream& s) {
  const int r = zipClose(zf, comment_.isEmpty() ? nullptr : comment_.constData());
  if (r != ZIP_OK || s.failed) return s.failed ? ZpErrWrite : ZpErrInternal;
  if (o_.verbose)
    print("total bytes=" + QByteArray::number(totalIn_) + ", compressed=" + QByteArray::number(totalOut_));
  return ZpOk;
}

// Appends in place: the new members go where the central directory began, then the old directory
// records, the new ones and the end records follow. Only the directory is rewritten.
int Run::appendInPlace(const std::vector<Item*>& adds) {
  QFile f(archive_);
  if (!f.open(QIODevice::ReadWrite)) return ZpErrCreate;
  Tail tail;
  if (!readTail(f, tail)) return ZpErrNotAZip;
  int r = f.seek(tail.start) ? ZpOk : ZpErrWrite;
  QByteArray cd = tail.bytes.left(qsizetype(tail.cdSize));
  for (size_t i = 0; r == ZpOk && i < adds.size(); ++i) r = writeMember(f, tail.base, *adds[i], cd);
  if (r == ZpOk) {
    const quint64 entries = tail.entries + adds.size();
    const quint64 cdOffset = quint64(f.pos() - tail.base);
    const quint64 cdSize = quint64(cd.size());
    QByteArray end;
    if (entries >= 0xFFFF || cdOffset >= 0xFFFFFFFFull || cdSize >= 0xFFFFFFFFull) {
      const quint64 recordOffset = cdOffset + cdSize;
      putLe(end, 0x06064b50, 4);
      putLe(end, 44, 8);
      putLe(end, (3 << 8) | 45, 2);
      putLe(end, 45, 2);
      putLe(end, 0, 4);
      putLe(end, 0, 4);
      putLe(end, entries, 8);
      putLe(end, entries, 8);
      putLe(end, cdSize, 8);
      putLe(end, cdOffset, 8);
      putLe(end, 0x07064b50, 4);
      putLe(end, 0, 4);
      putLe(end, recordOffset, 8);
      putLe(end, 1, 4);
    }
    putLe(end, 0x06054b50, 4);
    putLe(end, 0, 2);
    putLe(end, 0, 2);
    putLe(end, qMin<quint64>(entries, 0xFFFF), 2);
    putLe(end, qMin<quint64>(entries, 0xFFFF), 2);
    putLe(end, qMin<quint64>(cdSize, 0xFFFFFFFFull), 4);
    putLe(end, qMin<quint64>(cdOffset, 0xFFFFFFFFull), 4);
    putLe(end, quint64(comment_.size()), 2);
    end += comment_;
    const QByteArray all = cd + end;
    if (f.write(all) != all.size() || !f.resize(f.pos())) r = ZpErrWrite;
  }
  if (r == ZpOk && o_.verbose)
    print("total bytes=" + QByteArray::number(totalIn_) + ", compressed=" + QByteArray::number(totalOut_));
  // Not forced to disk run by run: an archive built member by member is made durable once, by
  // whoever finishes it. The writeback of what this run wrote is started now, without waiting
  // for it, so that it overlaps the next runs instead of all landing on that one sync.
  if (r == ZpOk && !f.flush()) r = ZpErrWrite;
  if (r == ZpOk) (void)::sync_file_range(f.handle(), tail.start, f.size() - tail.start, SYNC_FILE_RANGE_WRITE);
  if (r != ZpOk) {
    // Put the old central directory back where the new members began.
    f.unsetError();
    if (f.resize(tail.start) && f.seek(tail.start)) f.write(tail.bytes);
    syncToDisk(f);
  }
  return r;
}

int Run::rewrite(const std::vector<Item*>& adds, const QHash<QString, Item*>& replaces,
                 const QList<QString>& deletes) {
  QSaveFile out(archive_);
  out.setDirectWriteFallback(false);
  if (!out.open(QIODevice::WriteOnly)) return ZpErrCreate;
  Stream s{&out};
  zlib_filefunc64_def ff = fileFunctions();
  zipFile zf = zipOpen2_64(&s, APPEND_STATUS_CREATE, nullptr, &ff);
  if (!zf) return ZpErrCreate;
  int r = ZpOk;
  if (exists_) {
    QFile old(archive_);
    Stream os{&old};
    zlib_filefunc64_def off = fileFunctions();
    unzFile uf = old.open(QIODevice::ReadOnly) ? unzOpen2_64(&os, &off) : nullptr;
    if (!uf) r = ZpErrNotAZip;
    for (size_t i = 0; r == ZpOk && i < entries_.size(); ++i) {
      r = i == 0 ? unzGoToFirstFile(uf) : unzGoToNextFile(uf);
      if (r != UNZ_OK) {
        r = ZpErrNotAZip;
        break;
      }
      const Entry& en = entries_[i];
      if (deletes.contains(en.key)) {
        print("deleting: " + en.name);
        continue;
      }
      if (Item* it = replaces.value(en.key)) r = addItem(zf, s, *it);
      else r = copyEntry(uf, zf, s);
    }
    if (uf) unzClose(uf);
  }
  for (size_t i = 0; r == ZpOk && i < adds.size(); ++i) r = addItem(zf, s, *adds[i]);
  if (r == ZpOk) r = finish(zf, s);
  else {
    s.discard = true;
    zipClose(zf, nullptr);
  }
  if (r != ZpOk) {
    out.cancelWriting();
    return r;
  }
  return out.commit() ? ZpOk : ZpErrWrite;
}

}  // namespace

ZpTextHandle ZpText(const char* text) {
  if (!text || !*text) return 0;
  for (size_t i = 0; i < g_texts.size(); ++i)
    if (g_texts[i] == text) return ZpTextHandle(i + 1);
  g_texts.emplace_back(text);
  return ZpTextHandle(g_texts.size());
}

const char* ZpTextOf(ZpTextHandle handle) {
  if (handle == 0 || handle > g_texts.size()) return nullptr;
  return g_texts[handle - 1].c_str();
}

int ZpInit(const ZipCallbacks* callbacks) {
  g_callbacks = callbacks ? *callbacks : ZipCallbacks{};
  return 1;
}

int ZpSetOptions(ZipOptions* options) {
  if (!options) return 0;
  g_options = *options;
  return 1;
}

int ZpArchive(int count, const char* archivePath, const ZipNames* names) {
  Run run(g_options);
  return run.archive(count, archivePath, names);
}
