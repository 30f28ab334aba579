#include "FuzzSupport.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QXmlStreamReader>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <random>

QString scratchFolder() {
  static std::unique_ptr<QTemporaryDir> dir = [] {
    auto d = std::make_unique<QTemporaryDir>();
    if (!d->isValid()) {
      fprintf(stderr, "no scratch folder under %s\n", qPrintable(QDir::tempPath()));
      std::abort();
    }
    return d;
  }();
  return dir->path();
}

void invariantFailed(const char* condition, const char* file, int line, const QString& detail) {
  fprintf(stderr, "\n%s:%d: invariant failed: %s\n%s\n", file, line, condition, detail.toUtf8().constData());
  fflush(stderr);
  std::abort();
}

namespace {
XmlReading read(QXmlStreamReader& r) {
  r.setNamespaceProcessing(false);
  XmlReading out;
  XmlNode* firsts[3] = {&out.first, &out.firstChild, &out.firstGrandchild};
  // Per open element, from the document down: whether it lies on the path of first nodes.
  QList<bool> onPath{true};
  int grandchildLevel = -1;
  bool seenDtd = false, seenRoot = false, misplacedDtd = false;  // level of the open first grandchild element, whose text is gathered
  auto place = [&](const XmlNode& node) {
    const int level = int(onPath.size()) - 1;  // 0: the document
    if (level < 3 && onPath.last() && firsts[level]->kind == XmlNode::None) {
      *firsts[level] = node;
      return true;
    }
    return false;
  };
  while (!r.atEnd()) {
    switch (r.readNext()) {
      case QXmlStreamReader::StartElement: {
        if (!seenRoot) out.root = r.qualifiedName().toString();
        seenRoot = true;
        XmlNode n{XmlNode::Element, r.qualifiedName().toString(), r.attributes(), {}};
        const bool first = place(n);
        onPath << first;
        if (first && onPath.size() == 4) grandchildLevel = int(onPath.size());
        out.depth = qMax(out.depth, int(onPath.size()) - 1);
        break;
      }
      case QXmlStreamReader::EndElement:
        if (int(onPath.size()) == grandchildLevel) grandchildLevel = -2;  // done gathering
        onPath.removeLast();
        break;
      case QXmlStreamReader::Characters: {
        const QString t = r.text().toString();
        if (!r.isCDATA() && t.trimmed().isEmpty()) break;  // dropped by the document parse
        if (grandchildLevel > 0) out.firstGrandchild.text += t;
        else place({XmlNode::Text, {}, {}, t});
        break;
      }
      case QXmlStreamReader::Comment: place({XmlNode::Other, {}, {}, r.text().toString()}); break;
      case QXmlStreamReader::ProcessingInstruction:
        place({XmlNode::Other, {}, {}, r.processingInstructionData().toString()});
        break;
      case QXmlStreamReader::EntityReference: place({XmlNode::Other, {}, {}, {}}); break;
      case QXmlStreamReader::StartDocument:
        // A document parse keeps the XML declaration as its first node.
        if (!r.documentVersion().isEmpty()) place({XmlNode::Other, "xml", {}, {}});
        break;
      case QXmlStreamReader::DTD:
        // The stream reader lets a second DOCTYPE, or one after the root, pass; the document
        // parse refuses both.
        if (seenDtd || seenRoot) misplacedDtd = true;
        seenDtd = true;
        break;
      default: break;  // the document's end
    }
  }
  out.wellFormed = !r.hasError() && !misplacedDtd;
  return out;
}
}  // namespace

XmlReading readXml(const QString& text) {
  QXmlStreamReader r(text);
  return read(r);
}

XmlReading readXml(const QByteArray& bytes) {
  QXmlStreamReader r(bytes);
  return read(r);
}

QString withBlanksBetweenElements(const QString& text, quint32 seed) {
  QXmlStreamReader r(text);
  r.setNamespaceProcessing(false);
  // The offset after an element's tag is exact (after other tokens the reader may have looked
  // one character ahead); an empty element gives its start and end at one offset.
  QList<qint64> places;
  bool afterTag = false;
  qint64 tagEnd = -1;
  while (!r.atEnd()) {
    const QXmlStreamReader::TokenType t = r.readNext();
    if (t == QXmlStreamReader::DTD) return {};
    const bool tag = t == QXmlStreamReader::StartElement || t == QXmlStreamReader::EndElement;
    const qint64 at = r.characterOffset();
    if (tag && afterTag && at > tagEnd && tagEnd > 0 && tagEnd < text.size() && text[tagEnd - 1] == u'>' &&
        text[tagEnd] == u'<')
      places << tagEnd;
    afterTag = tag;
    if (tag) tagEnd = at;
  }
  if (r.hasError()) return {};
  places << text.size();

  static const char* const blanks[] = {" ", "\t", "\n", "\r\n", "\r", "  \t "};
  std::minstd_rand pick(seed);
  QString out = text;
  for (qsizetype i = places.size() - 1; i >= 0; --i)
    if (pick() % 3 != 0) out.insert(places[i], QLatin1String(blanks[pick() % std::size(blanks)]));
  return out;
}

void writeOrStop(const QString& path, const QByteArray& bytes) {
  QFile f(path);
  if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size()) invariantFailed("write", __FILE__, __LINE__, path);
}
