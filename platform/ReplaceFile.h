#pragma once
// A file put in place of another by one rename, so that a crash at any moment leaves the old
// file or the new one whole, never a mix or neither.
#include <QString>

// Flushes a written file's data to disk; false when it cannot be opened or the disk reports an
// error. Called before replaceFile by writers whose file is not on disk yet.
bool syncFile(const QString& path);

// Renames from over to (or to to, when there is nothing there) in one step, then syncs the
// folder so that the rename itself lasts. False, with to as it was, when the rename fails.
bool replaceFile(const QString& from, const QString& to);
