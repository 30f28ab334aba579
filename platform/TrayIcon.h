#pragma once
// The tray icon port on QSystemTrayIcon.
#include "Platform.h"

// The one tray icon port of the process, made on first use.
TrayIconPort* qtTrayIcon();
