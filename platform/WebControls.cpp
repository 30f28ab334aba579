#include "WebControls.h"

#include "MoviePlayer.h"
#include "Platform.h"
#include "WebEngineBrowser.h"

namespace WebControls {
void install(Platform& p) {
  p.newFlashPlayer = [](QWidget* parent) -> FlashPlayer* { return new MoviePlayer(parent); };
  p.newWebBrowser = [](QWidget* parent) -> WebBrowser* { return new WebEngineBrowser(parent); };
}
}  // namespace WebControls
