#include "SingleInstance.h"

#include "Paths.h"

#include <QFile>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace SingleInstance {
namespace {

// A lock the system holds for the process on an open lock file: it goes with the process however
// that ends (a program that ends at once, a kill), so there is never a stale lock to judge, and
// taking it writes nothing and waits for no disk.
struct HeldLock {
  int fd = -1;
  QString path;
  ~HeldLock() { release(); }
  void release() {
    if (fd >= 0) ::close(fd);
    fd = -1;
    path.clear();
  }
};

}  // namespace

bool previousInstance(const QString& programName) {
  static HeldLock held;
  const QString path = Paths::join(Paths::programFolder(), "." + programName + ".lock");
  // This process is the instance that holds the lock.
  if (held.fd >= 0 && held.path == path) return false;
  // Not handed on to the programs this one starts. A lock that cannot be had counts as held by
  // another copy.
  const int fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) return true;
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    ::close(fd);
    return true;
  }
  held.release();
  held.fd = fd;
  held.path = path;
  return false;
}

}  // namespace SingleInstance
