#pragma once
// Starting a program that outlives its starter: in a session of its own, not a child of the
// starting process, with only standard input, output and error inherited.
//
// The web engine leaves many of its descriptors open across exec (its IPC sockets, shared memory,
// resource files, the DevTools connections). A program started from the client with those would
// hold them for as long as it runs (the tray uploader, for days): after the client ended, the
// engine's helper processes would then never see their browser go and stay behind.
#include <QString>
#include <QStringList>

namespace DetachedProcess {
// Starts program with args in workingDirectory; returns its process id, or 0 when it could not
// be started (no such program, not executable, no process to be had).
qint64 start(const QString& program, const QStringList& args, const QString& workingDirectory);
}  // namespace DetachedProcess
