#include "SingleInstance.h"

#include "Paths.h"

#include <QLockFile>
#include <memory>

namespace SingleInstance {
bool previousInstance(const QString& programName) {
  static std::unique_ptr<QLockFile> held;
  auto lock = std::make_unique<QLockFile>(Paths::join(Paths::programFolder(), "." + programName + ".lock"));
  lock->setStaleLockTime(0);
  if (!lock->tryLock(0)) return true;
  held = std::move(lock);
  return false;
}
}  // namespace SingleInstance
