#pragma once
// The client's windows, each created on first use and unloaded when it closes, and the steps by
// which one window hands over to another.
#include "Form.h"

class WelCome;
class buy;
class ICO;
class LogIN;
class frmMain;
class Template;

namespace Forms {
WelCome& welcome();
ICO& ico();
FormSlot<WelCome>& welcomeSlot();
FormSlot<ICO>& icoSlot();
// The login dialog, created when first used; each showing starts with empty boxes.
LogIN& logIN();
FormSlot<LogIN>& logINSlot();
frmMain& workspace();
FormSlot<frmMain>& workspaceSlot();
// The template browser.
FormSlot<Template>& templateSlot();

// The order window.
buy& buyWindow();
FormSlot<buy>& buySlot();

// The program icon, loading ICO (without showing it) when needed.
QIcon programIcon();

// Shows the design workspace on designName / designPath without waiting for it.
void showWorkspace();
// Loads the template browser with its closing timer switched off and shows it; one still loaded
// is shown as new (Template::showAsNew).
void showTemplateBrowser();
// Starts the template download of templateNO in the template browser.
void startTemplateDownload();
// Unloads the template browser when it is loaded.
void unloadTemplateBrowser();

// The welcome window's close step: unloads the other windows in their fixed order, skipping
// windows that are not loaded and going on after any that refuses.
void unloadOthers();
}  // namespace Forms
