#pragma once
// The interface speaks Chinese; Qt's own dialogs (message-box buttons, the file dialog) and
// WebEngine's error pages should too, whatever the machine's locale.
namespace Translations {
// Loads Qt's zh_CN translations of its own dialogs into the running application. Call once,
// right after the application object is made. WebEngine's are loaded by WebControls::install.
void install();
// Loads Qt's zh_CN catalogue of that name ("qtbase", "qtwebengine") into the running application;
// nothing when it is not installed.
void installCatalogue(const char* catalogue);
}
