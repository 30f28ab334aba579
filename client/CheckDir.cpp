#include "CheckDir.h"

#include "Paths.h"

#include <QFileInfo>

bool DirExists(const QString& path) {
  if (path.isEmpty()) return false;
  return QFileInfo(Paths::resolveCase(path)).isDir();
}
