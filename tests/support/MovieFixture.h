#pragma once
// Writes small movie files for tests of the real movie player, and reads what a page holds.
#include <QString>
#include <QVariant>

class FakePlatform;
class QTemporaryDir;
class QWebEnginePage;

// Writes html as a movie file named name in dir; returns its path.
QString writeMovie(const QTemporaryDir& dir, const QString& name, const QString& html);
// The value of a script run in the page, waited for with the event loop running;
// "(no answer)" when none came within timeoutMs.
QVariant runScript(QWebEnginePage* page, const QString& code, int timeoutMs = 10000);
// Makes the fake platform's movies real ones: MoviePlayer, on the web engine.
void useRealMovies(FakePlatform& fake);
