#pragma once
// What the fuzz targets share: a scratch folder for the files they write, a failed invariant that
// stops the run (libFuzzer keeps the input), a test for control characters, and a second,
// independent reading of an XML text token by token, to hold the programs' document readings
// against.
#include <QByteArray>
#include <QString>
#include <QXmlStreamAttributes>

// A folder of this process for the files a target writes, under TMPDIR (tools/fuzz.sh points
// that into its own scratch folder, which it removes).
QString scratchFolder();

[[noreturn]] void invariantFailed(const char* condition, const char* file, int line, const QString& detail);
// Stops the run with the condition, where it stands, and detail (a QString) when cond is false.
#define FUZZ_CHECK(cond, detail) \
  do { \
    if (!(cond)) invariantFailed(#cond, __FILE__, __LINE__, (detail)); \
  } while (0)

// Whether s holds a control character, by its Unicode category: the targets' own test, written
// apart from the programs' on purpose.
inline bool hasControl(const QString& s) {
  for (const QChar c : s)
    if (c.category() == QChar::Other_Control) return true;
  return false;
}

// One node of a document as a document parse keeps it: text of white space only is dropped.
struct XmlNode {
  enum Kind { None, Element, Text, Other };
  Kind kind = None;
  QString name;                     // of an element
  QXmlStreamAttributes attributes;  // of an element
  QString text;  // a text's or comment's value; an element's text content (firstGrandchild only)
};

struct XmlReading {
  bool wellFormed = false;
  int depth = 0;             // the deepest nesting of elements
  QString root;              // the name of the first element
  XmlNode first;             // the document's first node (a DOCTYPE is not one)
  XmlNode firstChild;        // the first node inside it
  XmlNode firstGrandchild;   // the first node inside that
};

// Read with QXmlStreamReader as a document parse reads: names with prefixes, no namespaces.
XmlReading readXml(const QString& text);
XmlReading readXml(const QByteArray& bytes);

// The text with white space (blanks, tabs, line ends) put in at some of the places where one
// element's tag directly follows another's, and after the end: what an indenting writer adds,
// which a reader that drops such text must read as the text itself. seed picks the places and
// the blanks. Empty when the text is not well-formed or has a DOCTYPE (whose entities may hold
// tags of their own).
QString withBlanksBetweenElements(const QString& text, quint32 seed);

// The value of an element's attribute; empty when it has none.
inline QString attribute(const XmlNode& n, const QString& name) { return n.attributes.value(name).toString(); }

// Writes bytes to path, replacing what was there; a failure stops the run.
void writeOrStop(const QString& path, const QByteArray& bytes);
