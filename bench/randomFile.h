#pragma once
// Files of random bytes for the transfer benchmarks: nothing in them compresses or repeats.
#include <QByteArray>
#include <QFile>
#include <QRandomGenerator>
#include <QString>

#include <algorithm>

// Writes size bytes drawn from seed to path, replacing what was there.
inline bool writeRandomFile(const QString& path, qint64 size, quint32 seed) {
  QFile f(path);
  if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate)) return false;
  QByteArray block(4 << 20, Qt::Uninitialized);
  QRandomGenerator g(seed);
  for (qint64 left = size; left > 0;) {
    g.fillRange(reinterpret_cast<quint32*>(block.data()), block.size() / 4);
    const qint64 n = std::min<qint64>(left, block.size());
    if (f.write(block.constData(), n) != n) return false;
    left -= n;
  }
  return f.flush();
}
