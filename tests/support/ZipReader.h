#pragma once
// Reads zip archives the way outside tools do: Python's zipfile (every member's data, CRC checked)
// and Info-ZIP's "unzip -t".
#include <QJsonArray>
#include <QJsonObject>
#include <QString>

struct ZipReadOut {
  bool ok = false;
  QString error;
  QByteArray comment;
  QJsonArray members;  // each: name, method, size, compressed, flag, offset, dir, sha256, head (hex)
  QJsonObject member(const QString& name) const;
  QStringList names() const;
};

// Members larger than maxRead bytes (when not negative) are listed but their data is not read.
ZipReadOut readZipWithPython(const QString& archive, const QString& password = QString(), qint64 maxRead = -1);
// The data of one member as Python's zipfile reads it; empty when it cannot.
QByteArray readZipMember(const QString& archive, const QString& name);
// True when "unzip -t" finds the archive sound.
bool unzipTestOk(const QString& archive, QString* output = nullptr);
// The hex SHA-256 of bytes, to compare with a member's "sha256".
QString sha256Hex(const QByteArray& bytes);
