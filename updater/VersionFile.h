#pragma once
// The release list "ver.tmp" that the client left in the program folder, read and checked whole
// before anything is downloaded. A pure function of the file's bytes: nothing is read from disk
// or the network here.
//
// The list's elements are found by position: the root's first child is the release (attribute
// "ver"), the release's first child lists the files (text: the name; attributes "size" and
// "Lurl"), its second child, when there is one, lists the programs to start afterwards.
#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

namespace VersionFile {

struct FileEntry {
  QString name;         // a bare file name: the last part of its address and its name on disk
  QString size;         // the attribute "size" as written
  qint64 listedSize = 0;  // its leading number
  QString lurl;         // the attribute "Lurl" as written: the destination folder, "" for the program folder
};

struct Release {
  bool ok = false;      // false: the list is damaged and nothing of it may be used
  QString version;      // the attribute "ver" of the release: also the staging folder's name
  QList<FileEntry> files;
  QStringList runs;     // the start list as written: paths relative to the program folder
};

Release read(const QByteArray& bytes);

// The list's text: UTF-8, or UTF-16 when it starts with its byte-order mark (there is no
// declaration to say otherwise); nothing when the bytes are not that, unpaired surrogate halves
// included.
std::optional<QString> decode(const QByteArray& bytes);

// The decimal number a text begins with; 0 when it begins with anything else.
qint64 leadingNumber(const QString& text);
// Whether a path given relative to the program folder stays inside it: not absolute, and every
// part between "\" or "/" a bare name. The empty text is the folder itself.
bool staysInside(const QString& relative);
// The same path with "/" separators, to join to the program folder.
QString nativeRelative(const QString& relative);

}  // namespace VersionFile
