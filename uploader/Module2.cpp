#include "Module2.h"

#include "Platform.h"
#include "upload.h"

#include <QPointer>

namespace Module2 {
void addTray(upload& window) {
  // The window may go before the icon does.
  platform().tray->add(window.windowIcon(), [w = QPointer<upload>(&window)] {
    if (w) w->trayLeftButtonUp();
  });
}

void setTrayTip(const QString& text) { platform().tray->setTip(text.left(64)); }

void delTray() { platform().tray->remove(); }
}  // namespace Module2
