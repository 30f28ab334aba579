#pragma once
// Small file helpers shared by the tests.
#include <QByteArray>
#include <QString>
#include <QStringList>

// The bytes of a file, or "<missing>" when it cannot be read.
QByteArray readAll(const QString& path);
// Writes bytes to path, creating its folders; a failure fails the running test.
void writeFile(const QString& path, const QByteArray& bytes);
// n bytes drawn from seed: nothing in them compresses or repeats. The stream of words is the
// one bench/randomFile.h writes, so the same seed gives the same bytes.
QByteArray randomBytes(qsizetype n, quint32 seed);
// Every file under root (hidden ones too), relative to it, sorted.
QStringList filesUnder(const QString& root);
// The files under root that this process holds open, relative to it, sorted.
QStringList openFilesUnder(const QString& root);
