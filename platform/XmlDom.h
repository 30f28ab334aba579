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

// XML that comes from a server, a movie, the clipboard or a list file is bounded before the
// document is built: QDom recurses per level, and a deep or huge input would freeze or crash the
// program. No more than this many nested elements are accepted.
constexpr int kMaxDepth = 64;
// Whether text is at most maxChars long, reads to its end as XML and no element nests deeper
// than maxDepth.
bool withinBounds(QStringView text, qsizetype maxChars, int maxDepth = kMaxDepth);
// loadXML on a text that is first checked by withinBounds; a text out of bounds loads nothing
// and counts as not well-formed.
bool loadBounded(QDomDocument& doc, const QString& text, qsizetype maxChars, int maxDepth = kMaxDepth);
// The same for an encoded text (a file as received): at most maxBytes, decoded as the parse
// decodes it (a byte-order mark, UTF-8 by default).
bool withinBounds(const QByteArray& bytes, qsizetype maxBytes, int maxDepth = kMaxDepth);
bool loadBounded(QDomDocument& doc, const QByteArray& bytes, qsizetype maxBytes, int maxDepth = kMaxDepth);
// The value of node's attribute name; present tells whether the node carries it at all.
QString attributeValue(const QDomNode& node, const QString& name, bool* present = nullptr);
// The first child element of node with that exact name, or a null node.
QDomNode selectSingleNode(const QDomNode& node, const QString& childName);
// The text of a node and everything below it, joined.
QString text(const QDomNode& node);
}  // namespace XmlDom
