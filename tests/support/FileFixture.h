#pragma once
// Small file helpers shared by the tests.
#include <QByteArray>
#include <QDir>
#include <QString>
#include <QStringList>

// The bytes of a file, or "<missing>" when it cannot be read.
QByteArray readAll(const QString& path);
// Writes bytes to path, creating its folders; a failure fails the running test.
void writeFile(const QString& path, const QByteArray& bytes);
// n bytes drawn from seed: nothing in them compresses or repeats. The stream of words is the
// one bench/randomFile.h writes, so the same seed gives the same bytes.
QByteArray randomBytes(qsizetype n, quint32 seed);
// Every file (or, with other filters, every entry they take) under root, hidden ones too,
// relative to it, sorted.
QStringList filesUnder(const QString& root, QDir::Filters filters = QDir::Files);
// The size of a file that another process may still be writing (a server after the end of its
// connection), once it stops growing: two looks 100 ms apart agree, or 5 s have gone.
qint64 settledSize(const QString& path);
// The files under root that this process holds open, relative to it, sorted.
QStringList openFilesUnder(const QString& root);
// A design file's bytes as the editor saves one: FF FE and the text as UTF-16LE code units.
QByteArray designBytes(const QString& xml);
// Writes xml as the design folder's "index.DPT", as the editor's save does.
void writeIndex(const QString& designFolder, const QString& xml);
