#pragma once
// Small file helpers shared by the tests.
#include <QByteArray>
#include <QString>
#include <QStringList>

// The bytes of a file, or "<missing>" when it cannot be read.
QByteArray readAll(const QString& path);
// Writes bytes to path, creating its folders; a failure fails the running test.
void writeFile(const QString& path, const QByteArray& bytes);
// The size of a file that another process may still be writing (a server after the end of its
// connection), once it stops growing: two looks 100 ms apart agree, or 5 s have gone.
qint64 settledSize(const QString& path);
// Every file under root (hidden ones too), relative to it, sorted.
QStringList filesUnder(const QString& root);
// The files under root that this process holds open, relative to it, sorted.
QStringList openFilesUnder(const QString& root);
