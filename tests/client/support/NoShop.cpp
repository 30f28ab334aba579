// The client's unit tests never reach the compiled-in shop: a stand-in shop of an end-to-end test
// (or of the developer) may be answering there. The welcome window's update check and any other
// request go to a port where nothing listens; tests that need a shop point the client at theirs.
#include "mainModule.h"

namespace {
const bool pointedAway = [] {
  setShopHost(QStringLiteral("127.0.0.1:9"));
  return true;
}();
}  // namespace
