#pragma once
// Path helpers. Names are resolved without regard to letter case when the exact name does not
// exist, as the programs' file names are meant to be.
#include <QString>

namespace Paths {
// The folder of the running executable, without a trailing separator.
QString programFolder();
// Overrides the program folder (tests).
void setProgramFolder(const QString& folder);
// "\" separators become "/".
QString native(const QString& path);
// Joins folder and name with one "/".
QString join(const QString& folder, const QString& name);
// The existing path that matches path without regard to letter case, component by component;
// path itself (in native form) when it exists as written or nothing matches.
QString resolveCase(const QString& path);
// Whether a file or folder exists at path, letter case aside.
bool existsAnyCase(const QString& path);
// A name that stays inside the folder it is joined to: not empty, not "." or "..", without "/",
// "\", NUL or control characters. Names that come from outside are checked with it.
bool isBareName(const QString& name);
// A control character of either range: C0 with DEL, and C1 (U+0080 to U+009F). No name that
// comes from outside may hold one.
bool isControl(QChar c);
}  // namespace Paths
