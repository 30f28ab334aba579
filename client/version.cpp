// The client's version text, compiled apart from the rest of module main: a client of another
// version (the next release that the update road publishes) costs this one file and a link.
#include "mainModule.h"

QString versionText() {
  return QStringLiteral(QUORVEL_VERSION_TEXT);
}
