#pragma once
// Module `Module1` of the updater: the update folder's address, the caption, and the look-up of
// a started program's process.
#include <QString>

class QWidget;

namespace Module1 {

// The shop's web host (with an optional ":port"), compiled in; tests point it at their server.
extern QString shopHost;
// The connect limit of every download, in seconds.
extern int connectLimit;
// "http://" + the shop's web host + "/novrel/"; set by initUpdater.
extern QString updateUrl;

// Sets updateUrl and the window's caption.
void initUpdater(QWidget& window);

// The executable file name of the running process with that id; empty once it has ended.
QString getProcessName(qint64 pid);

}  // namespace Module1
