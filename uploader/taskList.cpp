#include "taskList.h"

#include "XmlDom.h"

#include <QDomDocument>
#include <QDomElement>
#include <QDomNamedNodeMap>
#include <QSaveFile>
#include <algorithm>

namespace {
const QStringList kOrder = {QStringLiteral("dno"), QStringLiteral("wdno"), QStringLiteral("uped"),
                            QStringLiteral("real")};

// An attribute value as XML text. Tabs and line ends are written as references, so they are read
// back as they were and not as blanks.
void appendEscaped(QString& out, const QString& value) {
  for (const QChar c : value) {
    switch (c.unicode()) {
      case '&': out += QLatin1String("&amp;"); break;
      case '<': out += QLatin1String("&lt;"); break;
      case '>': out += QLatin1String("&gt;"); break;
      case '"': out += QLatin1String("&quot;"); break;
      case '\t': out += QLatin1String("&#9;"); break;
      case '\n': out += QLatin1String("&#10;"); break;
      case '\r': out += QLatin1String("&#13;"); break;
      default: out += c; break;
    }
  }
}
}  // namespace

QString taskItem::value(const QString& name, bool* present) const {
  for (const auto& [n, v] : attributes)
    if (n == name) {
      if (present) *present = true;
      return v;
    }
  if (present) *present = false;
  return QString();
}

void taskItem::set(const QString& name, const QString& value) {
  for (auto& a : attributes)
    if (a.first == name) {
      a.second = value;
      return;
    }
  attributes.append({name, value});
}

taskItem newTaskItem(const QString& dNO, const QString& wDNO) {
  taskItem item;
  item.attributes = {{"dno", dNO}, {"wdno", wDNO}, {"uped", "False"}, {"real", "False"}};
  return item;
}

TaskListRead readTaskList(const QString& text) {
  TaskListRead r;
  QDomDocument doc;
  // A byte-order mark, as editors may write one, is not part of the document.
  const QString body = text.startsWith(QChar(0xFEFF)) ? text.mid(1) : text;
  if (!XmlDom::loadBounded(doc, body, kMaxTaskListChars)) return r;
  const QDomElement root = doc.documentElement();
  if (root.tagName() != QLatin1String("list")) return r;
  r.parsed = true;
  for (QDomElement e = root.firstChildElement(); !e.isNull(); e = e.nextSiblingElement()) {
    taskItem item;
    item.tag = e.tagName();
    const QDomNamedNodeMap attrs = e.attributes();
    for (int i = 0; i < attrs.count(); ++i) {
      const QDomNode a = attrs.item(i);
      item.attributes.append({a.nodeName(), a.nodeValue()});
    }
    // The attribute list of the parse has no order of its own: the known ones first, in their
    // order, then the others by name.
    const auto rank = [](const std::pair<QString, QString>& a) {
      const qsizetype i = kOrder.indexOf(a.first);
      return std::pair(i < 0 ? kOrder.size() : i, a.first);
    };
    std::sort(item.attributes.begin(), item.attributes.end(),
              [&](const auto& a, const auto& b) { return rank(a) < rank(b); });
    r.items.append(item);
  }
  return r;
}

QByteArray writeTaskList(const QList<taskItem>& items) {
  QString out = QStringLiteral("<list>");
  for (const taskItem& item : items) {
    out += '<' + item.tag;
    for (const auto& [name, value] : item.attributes) {
      out += ' ' + name + "=\"";
      appendEscaped(out, value);
      out += '"';
    }
    out += QLatin1String("/>");
  }
  out += QLatin1String("</list>");
  return out.toUtf8();
}

bool saveTaskList(const QString& path, const QList<taskItem>& items) {
  QSaveFile file(path);
  if (!file.open(QIODevice::WriteOnly)) return false;
  file.write(writeTaskList(items));
  return file.commit();
}

bool truthValue(const QString& text, bool* ok) {
  const QString t = text.trimmed();
  *ok = true;
  if (t.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0) return true;
  if (t.compare(QLatin1String("false"), Qt::CaseInsensitive) == 0) return false;
  // A number is written in decimal: the conversion alone would take "nan" and "inf" as well.
  const auto decimal = [](QChar c) { return QStringView(u"0123456789+-.eE").contains(c); };
  if (t.isEmpty() || !std::all_of(t.begin(), t.end(), decimal)) {
    *ok = false;
    return false;
  }
  const double n = t.toDouble(ok);
  return *ok && n != 0;
}

RestoredTask restoredTask(const taskItem& item) {
  RestoredTask t;
  bool hasDno = false, hasWdno = false, hasUped = false, hasReal = false;
  t.dNO = item.value("dno", &hasDno);
  t.wDNO = item.value("wdno", &hasWdno);
  const QString upedText = item.value("uped", &hasUped);
  const QString realText = item.value("real", &hasReal);
  bool upedOk = false, realOk = false;
  const bool uped = truthValue(upedText, &upedOk);
  const bool real = truthValue(realText, &realOk);
  if (hasDno && hasWdno && hasUped && hasReal && upedOk && realOk) {
    t.uped = uped;
    t.real = real;
  }
  return t;
}
