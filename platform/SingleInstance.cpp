#include "SingleInstance.h"

#include "Paths.h"

#include <QLockFile>
#include <memory>

namespace SingleInstance {
bool previousInstance(const QString& programName) {
  static std::unique_ptr<QLockFile> held;
  static QString heldPath;
  const QString path = Paths::join(Paths::programFolder(), "." + programName + ".lock");
  // This process is the instance that holds the lock.
  if (held && heldPath == path) return false;
  auto lock = std::make_unique<QLockFile>(path);
  lock->setStaleLockTime(0);
  if (!lock->tryLock(0)) return true;
  held = std::move(lock);
  heldPath = path;
  return false;
}
}  // namespace SingleInstance
