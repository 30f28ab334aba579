#include "XmlDom.h"

#include <QDomElement>
#include <QDomNamedNodeMap>
#include <QXmlStreamReader>

namespace XmlDom {
namespace {
// A document of text or bytes, or an empty one when they are not well-formed.
template <class Input>
bool parse(QDomDocument& doc, const Input& input) {
  doc = QDomDocument();
  if (doc.setContent(input)) return true;
  doc = QDomDocument();
  return false;
}

// Read as the document parse reads (names with prefixes, no namespaces). A text the scan cannot
// read to its end is out of bounds: the nesting beyond the error has not been seen.
bool nestingWithin(QXmlStreamReader& reader, int maxDepth) {
  reader.setNamespaceProcessing(false);
  int depth = 0;
  while (!reader.atEnd()) {
    switch (reader.readNext()) {
      case QXmlStreamReader::StartElement:
        if (++depth > maxDepth) return false;
        break;
      case QXmlStreamReader::EndElement: --depth; break;
      default: break;
    }
  }
  return !reader.hasError();
}
}  // namespace

bool loadXML(QDomDocument& doc, const QString& text) { return parse(doc, text); }

bool withinBounds(QStringView text, qsizetype maxChars, int maxDepth) {
  if (text.size() > maxChars) return false;
  QXmlStreamReader reader(text.toString());
  return nestingWithin(reader, maxDepth);
}

bool withinBounds(const QByteArray& bytes, qsizetype maxBytes, int maxDepth) {
  if (bytes.size() > maxBytes) return false;
  QXmlStreamReader reader(bytes);
  return nestingWithin(reader, maxDepth);
}

bool loadBounded(QDomDocument& doc, const QString& text, qsizetype maxChars, int maxDepth) {
  doc = QDomDocument();
  return withinBounds(text, maxChars, maxDepth) && parse(doc, text);
}

bool loadBounded(QDomDocument& doc, const QByteArray& bytes, qsizetype maxBytes, int maxDepth) {
  doc = QDomDocument();
  return withinBounds(bytes, maxBytes, maxDepth) && parse(doc, bytes);
}

QString attributeValue(const QDomNode& node, const QString& name, bool* present) {
  const QDomNode a = node.attributes().namedItem(name);
  if (present) *present = !a.isNull();
  return a.isNull() ? QString() : a.nodeValue();
}

QDomNode selectSingleNode(const QDomNode& node, const QString& childName) {
  return node.firstChildElement(childName);
}

QString text(const QDomNode& node) {
  if (node.isElement()) return node.toElement().text();
  return node.nodeValue();
}
}  // namespace XmlDom
