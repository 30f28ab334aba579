#include "ProcessList.h"

#include <QFile>
#include <QFileInfo>

namespace ProcessList {
QString processName(qint64 pid) {
  if (pid <= 0) return {};
  const QString dir = "/proc/" + QString::number(pid);
  QFile stat(dir + "/stat");
  if (!stat.open(QIODevice::ReadOnly)) return {};
  // "pid (comm) S ...": the state letter follows the last ")", since comm may hold one itself.
  const QByteArray line = stat.readAll();
  const qsizetype close = line.lastIndexOf(')');
  if (close < 0 || close + 2 >= line.size()) return {};
  const char state = line.at(close + 2);
  if (state == 'Z' || state == 'X' || state == 'x') return {};
  // The executable's own name; another user's process hides it, and its short name stands in.
  const QString exe = QFileInfo(dir + "/exe").symLinkTarget();
  if (!exe.isEmpty()) return QFileInfo(exe).fileName();
  const qsizetype open = line.indexOf('(');
  return open < 0 ? QString() : QString::fromLocal8Bit(line.mid(open + 1, close - open - 1));
}
}  // namespace ProcessList
