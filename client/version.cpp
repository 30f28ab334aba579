// The client's version text, compiled apart from the rest of module main: a client of another
// version (the next release that the update road publishes) costs this one file and a link.
#include "mainModule.h"

QString versionText() {
  return QString("%1.%2.%3").arg(QUORVEL_VERSION_MAJOR).arg(QUORVEL_VERSION_MINOR).arg(QUORVEL_VERSION_REVISION);
}
