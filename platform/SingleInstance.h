#pragma once
// The previous-instance test: one running copy of a program per program folder.
#include <QString>

namespace SingleInstance {
// True when another copy of the named program already runs from this program folder; otherwise
// this process takes the lock and keeps it until it ends.
bool previousInstance(const QString& programName);
}
