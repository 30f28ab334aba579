#pragma once
// The few XML document operations the programs use, on QDomDocument: load a text, the first
// child node, an attribute's value, a child element by name and a node's text.
#include <QDomDocument>
#include <QDomNode>
#include <QString>

namespace XmlDom {
// Replaces the document by the parse of text; false (and an empty document) when it is not
// well-formed. Text nodes of white space only are not kept.
bool loadXML(QDomDocument& doc, const QString& text);
// The value of node's attribute name; present tells whether the node carries it at all.
QString attributeValue(const QDomNode& node, const QString& name, bool* present = nullptr);
// The first child element of node with that exact name, or a null node.
QDomNode selectSingleNode(const QDomNode& node, const QString& childName);
// The text of a node and everything below it, joined.
QString text(const QDomNode& node);
}  // namespace XmlDom
