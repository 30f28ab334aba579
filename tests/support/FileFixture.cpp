#include "FileFixture.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QtTest>

QByteArray readAll(const QString& path) {
  QFile f(path);
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

void writeFile(const QString& path, const QByteArray& bytes) {
  QDir().mkpath(QFileInfo(path).absolutePath());
  QFile f(path);
  QVERIFY(f.open(QIODevice::WriteOnly));
  QCOMPARE(f.write(bytes), bytes.size());
}

qint64 settledSize(const QString& path) {
  qint64 size = -1;
  for (int i = 0; i < 50; ++i) {
    const qint64 now = QFileInfo(path).size();
    if (now == size) break;
    size = now;
    QTest::qWait(100);
  }
  return size;
}

QStringList filesUnder(const QString& root) {
  QStringList out;
  QDirIterator it(root, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
  while (it.hasNext()) out << QDir(root).relativeFilePath(it.next());
  out.sort();
  return out;
}

QStringList openFilesUnder(const QString& root) {
  const QString base = QFileInfo(root).canonicalFilePath();
  QStringList out;
  for (const QFileInfo& fd : QDir("/proc/self/fd").entryInfoList(QDir::Files | QDir::System | QDir::NoDotAndDotDot)) {
    const QString target = fd.symLinkTarget();
    if (!base.isEmpty() && target.startsWith(base + "/")) out << QDir(base).relativeFilePath(target);
  }
  out.sort();
  return out;
}
