#include "MovieFixture.h"

#include <QFile>
#include <QTemporaryDir>

QString writeMovie(const QTemporaryDir& dir, const QString& name, const QString& html) {
  const QString path = dir.filePath(name);
  QFile f(path);
  if (f.open(QIODevice::WriteOnly)) f.write(html.toUtf8());
  return path;
}
