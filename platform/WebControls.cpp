#include "WebControls.h"

#include "MoviePlayer.h"
#include "Platform.h"
#include "Translations.h"
#include "WebEngineBrowser.h"

#include <QByteArray>

namespace WebControls {
void install(Platform& p) {
  Translations::installCatalogue("qtwebengine");
  // WebEngine reads its flags when its first page is made, which is after this.
  QByteArray flags = qgetenv("QTWEBENGINE_CHROMIUM_FLAGS");
  if (!flags.contains("--lang=")) {
    if (!flags.isEmpty()) flags += ' ';
    flags += "--lang=zh-CN";
    qputenv("QTWEBENGINE_CHROMIUM_FLAGS", flags);
  }
  p.newFlashPlayer = [](QWidget* parent) -> FlashPlayer* { return new MoviePlayer(parent); };
  p.newWebBrowser = [](QWidget* parent) -> WebBrowser* { return new WebEngineBrowser(parent); };
}
}  // namespace WebControls
