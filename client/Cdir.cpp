#include "Cdir.h"

#include "Paths.h"

#include <QDir>

void MakeDirs(const QString& path) {
  QString p = Paths::native(path);
  if (!p.endsWith('/')) p += '/';
  for (int i = p.indexOf('/'); i >= 0; i = p.indexOf('/', i + 1)) {
    const QString level = p.left(i + 1);
    if (level == "/") continue;
    QDir().mkdir(level);  // a level that exists, or a name the file system refuses, is ignored
  }
}
