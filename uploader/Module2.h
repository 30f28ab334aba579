#pragma once
// Module `Module2`: the uploader's tray icon, one for the life of the program.
#include <QString>

class upload;

namespace Module2 {
// Shows the window's icon in the tray; a release of the left button over it reaches the window.
void addTray(upload& window);
// The tip, cut after 64 characters.
void setTrayTip(const QString& text);
void delTray();
}  // namespace Module2
