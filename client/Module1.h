#pragma once
// Module `Module1`: the update check at start. Fetches the shop's release list into "ver.tmp" in
// the program folder, compares its release version with the client's own and, when they differ
// and the user agrees, starts the updater "Novrel" and ends the client at once. Every failure is
// silent.
#include "releaseList.h"
#include "socketGet.h"

#include <QString>

class Winsock;

namespace Module1 {

// Deletes "ver.tmp" and sends the request for the release list on socket.
void RequestVersion(Winsock& socket);
// Every DataArrival of that socket: writes the reply into "ver.tmp" and, once the list is in,
// runs the version test.
void OnVersionData(qint64 bytesTotal, Winsock& socket);
// The question with Yes and No; returns the answer (Msg::Yes starts the update).
int AskUpdate(const QString& text);

// The release version of a release list: true when the list's first node is "ver"
// and its first child carries the attribute "ver". A list longer than releaseList::maxBytes or
// nested deeper than XmlDom::kMaxDepth is not read; a reply that announces more is not fetched.
bool readReleaseList(const QByteArray& list, QString& version);

// The connect limit in seconds.
extern int connectLimit;

QString verPath();        // "ver.tmp" in the program folder; set by RequestVersion
QString serverVersion();  // the release's version text; empty until read
QString localVersion();   // the client's own version text, e.g. 3.5.15
const socketGet::Reply& replyState();

}  // namespace Module1
