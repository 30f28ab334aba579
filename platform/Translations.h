#pragma once
// The interface speaks Chinese; Qt's own dialogs (message-box buttons, the file dialog) and
// WebEngine's error pages should too, whatever the machine's locale.
namespace Translations {
// Loads Qt's zh_CN translations into the running application and starts WebEngine with the
// Chinese locale. Call once, right after the application object is made.
void install();
}
