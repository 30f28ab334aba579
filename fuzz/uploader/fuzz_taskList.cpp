// The task list "set.xml" as start-up reads it and every save writes it back. Besides not
// crashing or hanging: a text that is not a well-formed `list` within the bounds gives no list;
// otherwise the reader keeps exactly the root's child elements with their attributes, as a
// token-by-token reading finds them, and the same text with white space between its elements
// reads the same. The writer's bytes have the exact form (root `list`, one empty element per
// task, the four task attributes first and in their order and the others by name, no
// declaration, no indentation or line breaks), read back as the same elements and are written
// again byte for byte. An element start-up cannot fully use is restored as an unfinished task
// with the names it has.
#include "FuzzSupport.h"
#include "XmlDom.h"
#include "taskList.h"

#include <QHash>
#include <QRegularExpression>
#include <QStringList>
#include <QXmlStreamReader>

#include <algorithm>
#include <charconv>
#include <cstdint>

namespace {
const QStringList kTaskAttributes = {"dno", "wdno", "uped", "real"};

using Attributes = QList<std::pair<QString, QString>>;

QString describe(const taskItem& item) {
  QStringList out{item.tag};
  for (const auto& [n, v] : item.attributes) out << n + "=" + v;
  return out.join(' ');
}

QString describe(const QList<taskItem>& items) {
  QStringList out;
  for (const taskItem& item : items) out << describe(item);
  return out.join(" | ");
}

bool same(const QList<taskItem>& a, const QList<taskItem>& b) {
  if (a.size() != b.size()) return false;
  for (qsizetype i = 0; i < a.size(); ++i)
    if (a[i].tag != b[i].tag || a[i].attributes != b[i].attributes) return false;
  return true;
}

// The root's child elements as the stream reader finds them, their attributes in name order.
QList<taskItem> childElements(const QString& text) {
  QList<taskItem> out;
  QXmlStreamReader r(text);
  r.setNamespaceProcessing(false);
  int depth = 0;
  while (!r.atEnd()) {
    switch (r.readNext()) {
      case QXmlStreamReader::StartElement:
        if (++depth == 2) {
          taskItem item;
          item.tag = r.qualifiedName().toString();
          for (const QXmlStreamAttribute& a : r.attributes())
            item.attributes.append({a.qualifiedName().toString(), a.value().toString()});
          std::sort(item.attributes.begin(), item.attributes.end());
          out << item;
        }
        break;
      case QXmlStreamReader::EndElement: --depth; break;
      default: break;
    }
  }
  return out;
}

// Whether the names come as the writer must put them: the task attributes it has in their
// order, then the others in ascending order.
bool inWrittenOrder(const QStringList& names) {
  qsizetype i = 0, known = 0;
  for (; i < names.size() && kTaskAttributes.contains(names[i]); ++i) {
    const qsizetype k = kTaskAttributes.indexOf(names[i]);
    if (k < known) return false;
    known = k + 1;
  }
  for (qsizetype j = i; j < names.size(); ++j)
    if (kTaskAttributes.contains(names[j]) || (j > i && !(names[j - 1] < names[j]))) return false;
  return true;
}

// The written bytes, token by token: no declaration, the root `list` without attributes, then
// only empty elements with the items' tags and attributes in order, and nothing else.
void checkWrittenForm(const QByteArray& bytes, const QList<taskItem>& items) {
  FUZZ_CHECK(bytes.startsWith("<list>") && bytes.endsWith("</list>"), QString::fromUtf8(bytes.left(300)));
  FUZZ_CHECK(!bytes.contains('\n') && !bytes.contains('\r') && !bytes.contains('\t'), "a line break or tab written");
  QXmlStreamReader r(bytes);
  r.setNamespaceProcessing(false);
  FUZZ_CHECK(r.readNext() == QXmlStreamReader::StartDocument && r.documentVersion().isEmpty(), "a declaration");
  FUZZ_CHECK(r.readNext() == QXmlStreamReader::StartElement && r.qualifiedName() == u"list" && r.attributes().isEmpty(),
             r.tokenString());
  for (const taskItem& item : items) {
    FUZZ_CHECK(r.readNext() == QXmlStreamReader::StartElement && r.qualifiedName() == item.tag,
               r.tokenString() + " " + r.qualifiedName().toString() + " for " + describe(item));
    Attributes written;
    QStringList names;
    for (const QXmlStreamAttribute& a : r.attributes()) {
      written.append({a.qualifiedName().toString(), a.value().toString()});
      names << a.qualifiedName().toString();
    }
    FUZZ_CHECK(written == item.attributes, describe(item));
    FUZZ_CHECK(inWrittenOrder(names), names.join(' '));
    FUZZ_CHECK(r.readNext() == QXmlStreamReader::EndElement, "an element with content: " + r.tokenString());
  }
  FUZZ_CHECK(r.readNext() == QXmlStreamReader::EndElement && r.qualifiedName() == u"list", r.tokenString());
  FUZZ_CHECK(r.readNext() == QXmlStreamReader::EndDocument && !r.hasError(), r.tokenString() + " " + r.errorString());
}

// "True" or "False" in any letter case, or a decimal number, blanks around it aside. A number
// that no double holds (too large, or too small to be told from zero) is no truth value.
enum class Truth { True, False, None };
Truth truthOf(const QString& text) {
  static const QRegularExpression number(R"(^[+-]?(\d+\.?\d*|\.\d+)([eE][+-]?\d+)?$)");
  const QString t = text.trimmed();
  if (t.compare(u"true", Qt::CaseInsensitive) == 0) return Truth::True;
  if (t.compare(u"false", Qt::CaseInsensitive) == 0) return Truth::False;
  if (!number.match(t).hasMatch()) return Truth::None;
  const QByteArray digits = t.toLatin1();
  const char* begin = digits.constData() + (digits.startsWith('+') ? 1 : 0);
  double value = 0;
  const auto [end, error] = std::from_chars(begin, digits.constData() + digits.size(), value);
  if (error == std::errc::result_out_of_range) return Truth::None;
  FUZZ_CHECK(error == std::errc() && end == digits.constData() + digits.size(), "the number model: " + t);
  return value != 0 ? Truth::True : Truth::False;
}

void checkRestored(const taskItem& item) {
  const RestoredTask t = restoredTask(item);
  FUZZ_CHECK(t.dNO == item.value("dno") && t.wDNO == item.value("wdno"), t.dNO + " / " + t.wDNO + " of " + describe(item));
  bool whole = true;
  for (const QString& name : kTaskAttributes) {
    bool present = false;
    item.value(name, &present);
    whole = whole && present;
  }
  const Truth uped = truthOf(item.value("uped")), real = truthOf(item.value("real"));
  if (!whole || uped == Truth::None || real == Truth::None) {
    FUZZ_CHECK(!t.uped && !t.real, "a defective element restored as done: " + describe(item));
    return;
  }
  FUZZ_CHECK(t.uped == (uped == Truth::True) && t.real == (real == Truth::True), describe(item));
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
  // As start-up reads the file: its bytes as UTF-8.
  const QString text = QString::fromUtf8(bytes);

  const TaskListRead read = readTaskList(text);
  const QString body = text.startsWith(QChar(0xFEFF)) ? text.mid(1) : text;
  const XmlReading model = readXml(body);
  const bool expected = body.size() <= kMaxTaskListChars && model.wellFormed && model.depth <= XmlDom::kMaxDepth &&
                        model.root == u"list";
  FUZZ_CHECK(read.parsed == expected, "parsed " + QString::number(read.parsed) + ": " + text.left(300));
  if (!read.parsed) {
    FUZZ_CHECK(read.items.isEmpty(), "tasks from a list that did not parse: " + describe(read.items));
    return 0;
  }

  QList<taskItem> sorted = read.items;
  for (taskItem& item : sorted) std::sort(item.attributes.begin(), item.attributes.end());
  FUZZ_CHECK(same(sorted, childElements(body)), describe(read.items) + "\nof " + text.left(300));

  const QString blanked = withBlanksBetweenElements(body, quint32(qHash(bytes)));
  if (!blanked.isNull()) {
    const TaskListRead again = readTaskList(blanked);
    FUZZ_CHECK(again.parsed && same(again.items, read.items), describe(again.items) + "\nof " + blanked.left(300));
  }

  const QByteArray written = writeTaskList(read.items);
  checkWrittenForm(written, read.items);
  const TaskListRead back = readTaskList(QString::fromUtf8(written));
  FUZZ_CHECK(back.parsed && same(back.items, read.items), describe(back.items) + "\nwritten " + QString::fromUtf8(written.left(300)));
  FUZZ_CHECK(writeTaskList(back.items) == written, "written differently the second time");

  for (const taskItem& item : read.items) checkRestored(item);
  return 0;
}
