#pragma once
// The process list: whether a process id names a running program, and which.
#include <QString>

namespace ProcessList {
// The executable file name (no folder) of the running process with that id; empty when there is
// none. A process that has ended but not yet been reaped (a zombie) counts as ended.
QString processName(qint64 pid);
}
