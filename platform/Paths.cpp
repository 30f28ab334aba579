#include "Paths.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include <algorithm>

namespace Paths {
namespace {
QString g_programFolder;
}

QString programFolder() {
  if (g_programFolder.isEmpty()) g_programFolder = QCoreApplication::applicationDirPath();
  return g_programFolder;
}

void setProgramFolder(const QString& folder) {
  g_programFolder = folder;
  while (g_programFolder.size() > 1 && g_programFolder.endsWith('/')) g_programFolder.chop(1);
}

QString native(const QString& path) { return QString(path).replace('\\', '/'); }

QString join(const QString& folder, const QString& name) {
  QString f = native(folder);
  QString n = native(name);
  while (f.endsWith('/') && f.size() > 1) f.chop(1);
  while (n.startsWith('/')) n.remove(0, 1);
  return f + "/" + n;
}

QString resolveCase(const QString& path) {
  const QString p = native(path);
  if (p.isEmpty() || QFileInfo::exists(p)) return p;
  QString prefix = p.startsWith('/') ? "/" : "";
  for (const QString& part : p.split('/', Qt::SkipEmptyParts)) {
    QString next = prefix + part;
    if (part != "." && part != ".." && !QFileInfo::exists(next)) {
      const QDir dir(prefix.isEmpty() ? "." : prefix);
      const QStringList entries = dir.entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
      auto it = std::find_if(entries.begin(), entries.end(),
                             [&](const QString& e) { return e.compare(part, Qt::CaseInsensitive) == 0; });
      if (it == entries.end()) return p;
      next = prefix + *it;
    }
    prefix = next + "/";
  }
  return prefix.chopped(1);
}

bool existsAnyCase(const QString& path) { return QFileInfo::exists(resolveCase(path)); }

bool isBareName(const QString& name) {
  // "." and ".." name folders; a name that merely holds ".." ("cover..jpg") is an ordinary file.
  if (name.isEmpty() || name == "." || name == ".." || name.contains('/') || name.contains('\\'))
    return false;
  return std::none_of(name.begin(), name.end(), isControl);
}

bool isControl(QChar c) { return c.unicode() < 0x20 || (c.unicode() >= 0x7F && c.unicode() < 0xA0); }
}  // namespace Paths
