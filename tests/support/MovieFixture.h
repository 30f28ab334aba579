#pragma once
// Writes small movie files for tests of the real movie player.
#include <QString>

class QTemporaryDir;

// Writes html as a movie file named name in dir; returns its path.
QString writeMovie(const QTemporaryDir& dir, const QString& name, const QString& html);
