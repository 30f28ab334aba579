#include "VersionFile.h"

#include "Paths.h"
#include "XmlDom.h"
#include "releaseList.h"

#include <QDomDocument>
#include <QSet>
#include <QStringDecoder>

#include <limits>

namespace VersionFile {
namespace {

// A name that is requested, stored and installed as it is: bare, and without the blank that
// could not stand in a request line unescaped.
bool isFileName(const QString& name) { return Paths::isBareName(name) && !name.contains(' '); }

}  // namespace

std::optional<QString> decode(const QByteArray& bytes) {
  const auto bom = QStringConverter::encodingForData(bytes);
  const bool utf16 = bom && (*bom == QStringConverter::Utf16LE || *bom == QStringConverter::Utf16BE);
  QStringDecoder decoder(utf16 ? *bom : QStringConverter::Utf8);
  const QString text = decoder.decode(bytes);
  // The UTF-16 decoder lets unpaired surrogate halves through; they name no character, and a file
  // name holding one would be requested and stored under another name.
  if (decoder.hasError() || !text.isValidUtf16()) return std::nullopt;
  return text;
}

qint64 leadingNumber(const QString& text) {
  qint64 n = 0;
  for (const QChar c : text) {
    if (c < u'0' || c > u'9') break;
    const int d = c.unicode() - '0';
    if (n > (std::numeric_limits<qint64>::max() - d) / 10) return std::numeric_limits<qint64>::max();
    n = n * 10 + d;
  }
  return n;
}

bool staysInside(const QString& relative) {
  if (relative.startsWith('/') || relative.startsWith('\\')) return false;
  for (const QString& part : Paths::native(relative).split('/', Qt::SkipEmptyParts))
    if (!Paths::isBareName(part)) return false;
  return true;
}

QString nativeRelative(const QString& relative) {
  return Paths::native(relative).split('/', Qt::SkipEmptyParts).join('/');
}

Release read(const QByteArray& bytes) {
  Release damaged;
  if (bytes.size() > releaseList::maxBytes) return damaged;
  const std::optional<QString> text = decode(bytes);
  if (!text) return damaged;
  QDomDocument doc;
  if (!XmlDom::loadBounded(doc, *text, releaseList::maxBytes)) return damaged;

  // Found by position: whatever stands before the root (a declaration, a comment) shifts it.
  const QDomNode root = doc.firstChild();
  const QDomNode release = root.firstChild();
  if (!root.isElement() || !release.isElement()) return damaged;
  bool present = false;
  Release r;
  r.version = XmlDom::attributeValue(release, "ver", &present);
  if (!present || !isFileName(r.version)) return damaged;

  const QDomNodeList children = release.childNodes();
  const QDomNode files = children.at(0);
  const QDomNodeList entries = files.childNodes();
  if (!files.isElement() || entries.isEmpty()) return damaged;
  QSet<QString> seen;
  for (int i = 0; i < entries.size(); ++i) {
    const QDomNode e = entries.at(i);
    FileEntry f;
    f.name = XmlDom::text(e);
    f.size = XmlDom::attributeValue(e, "size", &present);
    f.lurl = XmlDom::attributeValue(e, "Lurl");
    // Names are one file each in the staging folder, whatever their letter case.
    if (!e.isElement() || !present || !isFileName(f.name) || !staysInside(f.lurl) || seen.contains(f.name.toLower()))
      return damaged;
    seen.insert(f.name.toLower());
    f.listedSize = leadingNumber(f.size);
    r.files << f;
  }

  // No start list at all starts nothing, as an empty one does.
  const QDomNodeList runs = children.size() > 1 ? children.at(1).childNodes() : QDomNodeList();
  for (int i = 0; i < runs.size(); ++i) {
    const QString program = XmlDom::text(runs.at(i));
    if (!runs.at(i).isElement() || nativeRelative(program).isEmpty() || !staysInside(program)) return damaged;
    r.runs << program;
  }
  r.ok = true;
  return r;
}

}  // namespace VersionFile
