#pragma once
// A file put in place of another by one rename, so that a crash at any moment leaves the old
// file or the new one whole, never a mix or neither.
#include <QString>

// Puts from in place of to (or at to, when there is nothing there): from is synced to disk, then
// renamed over to, then the folder is synced so that the rename itself lasts. False, with to as
// it was, when from cannot be synced or the rename fails.
bool replaceFile(const QString& from, const QString& to);
