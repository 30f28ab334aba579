#pragma once
// Release lists as the shop writes them, for the updater's tests and benchmark.
#include <QByteArray>
#include <QByteArrayList>
#include <QList>

struct ListedFile {
  QByteArray name;
  QByteArray lurl;  // the destination folder, "" for the program folder
  qint64 size = 0;  // the attribute "size"
};

// A release of version with the files in order and the start list runs.
inline QByteArray releaseListXml(const QByteArray& version, const QList<ListedFile>& files,
                                 const QByteArrayList& runs = {}) {
  QByteArray x = "<ver><release ver=\"" + version + "\"><files>";
  for (const ListedFile& f : files)
    x += "<file size=\"" + QByteArray::number(f.size) + "\" Lurl=\"" + f.lurl + "\">" + f.name + "</file>";
  x += "</files><runs>";
  for (const QByteArray& r : runs) x += "<runItem>" + r + "</runItem>";
  return x + "</runs></release></ver>";
}
