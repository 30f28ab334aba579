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

QStringList filesUnder(const QString& root, QDir::Filters filters) {
  QStringList out;
  QDirIterator it(root, filters | QDir::Hidden | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
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

QByteArray designBytes(const QString& xml) {
  QByteArray b("\xFF\xFE", 2);
  for (const QChar c : xml) {
    b += char(c.unicode() & 0xFF);
    b += char(c.unicode() >> 8);
  }
  return b;
}

void writeIndex(const QString& designFolder, const QString& xml) { writeFile(designFolder + "/index.DPT", designBytes(xml)); }
