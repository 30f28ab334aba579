#include "FileFixture.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QtTest>

#include <cstring>

QByteArray readAll(const QString& path) {
  QFile f(path);
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

QByteArray randomBytes(qsizetype n, quint32 seed) {
  QByteArray b(n, Qt::Uninitialized);
  QRandomGenerator g(seed);
  g.fillRange(reinterpret_cast<quint32*>(b.data()), n / 4);
  // The last bytes are the first ones of the next word.
  const quint32 tail = g.generate();
  std::memcpy(b.data() + n / 4 * 4, &tail, size_t(n % 4));
  return b;
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
