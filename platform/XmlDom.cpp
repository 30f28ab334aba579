#include "XmlDom.h"

#include <QDomElement>
#include <QDomNamedNodeMap>

namespace XmlDom {
bool loadXML(QDomDocument& doc, const QString& text) {
  doc = QDomDocument();
  if (doc.setContent(text)) return true;
  doc = QDomDocument();
  return false;
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
