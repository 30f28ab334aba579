#include "Module2.h"

#include "Platform.h"
#include "upload.h"

#include <QPointer>

namespace Module2 {
namespace {
QPointer<upload> g_window;
}

void addTray(upload& window) {
  g_window = &window;
  platform().tray->add(window.windowIcon(), [] {
    if (g_window) g_window->trayLeftButtonUp();
  });
}

void setTrayTip(const QString& text) { platform().tray->setTip(text.left(64)); }

void delTray() { platform().tray->remove(); }
}  // namespace Module2
