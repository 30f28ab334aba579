#include "ReplaceFile.h"

#include <QFile>
#include <QFileInfo>

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>

bool syncFile(const QString& path) {
  const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  const bool synced = ::fsync(fd) == 0;
  ::close(fd);
  return synced;
}

bool replaceFile(const QString& from, const QString& to) {
  if (std::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) != 0) return false;
  // The rename is done either way; a folder that cannot be synced leaves it to the next writeback.
  const int dir =
      ::open(QFile::encodeName(QFileInfo(to).absolutePath()).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir >= 0) {
    ::fsync(dir);
    ::close(dir);
  }
  return true;
}
