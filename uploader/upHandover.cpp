#include "upHandover.h"

#include "Paths.h"

#include <QStringList>

namespace {
// Characters no name of a task may hold: control characters, and what an XML file cannot carry
// (lone surrogate halves, U+FFFE and U+FFFF).
bool unfit(const QString& s) {
  for (qsizetype i = 0; i < s.size(); ++i) {
    const char16_t c = s[i].unicode();
    if (Paths::isControl(s[i]) || c == 0xFFFE || c == 0xFFFF) return true;
    if (QChar::isHighSurrogate(c)) {
      if (i + 1 >= s.size() || !QChar::isLowSurrogate(s[i + 1].unicode())) return true;
      ++i;
    } else if (QChar::isLowSurrogate(c)) {
      return true;
    }
  }
  return false;
}

bool validName(const QString& name) { return Paths::isBareName(name) && !unfit(name); }

bool validId(const QString& id) {
  if (id.isEmpty() || id.contains('/') || id.contains('\\') || unfit(id)) return false;
  for (const QChar c : id)
    if (c.isSpace()) return false;
  return true;
}
}  // namespace

std::optional<upHandover> parseHandover(const QString& text) {
  const QStringList fields = text.split(';');
  if (fields.size() < 3 || fields[0] != QLatin1String("upload@@")) return std::nullopt;
  if (!validName(fields[1]) || !validId(fields[2])) return std::nullopt;
  return upHandover{fields[1], fields[2]};
}
