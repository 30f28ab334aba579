#include "Forms.h"

#include "ICO.h"
#include "LogIN.h"
#include "WelCome.h"

namespace Forms {
FormSlot<WelCome>& welcomeSlot() {
  static FormSlot<WelCome> slot;
  return slot;
}
FormSlot<ICO>& icoSlot() {
  static FormSlot<ICO> slot;
  return slot;
}
FormSlot<LogIN>& logINSlot() {
  static FormSlot<LogIN> slot;
  return slot;
}
LogIN& logIN() { return logINSlot()(); }
WelCome& welcome() { return welcomeSlot()(); }
ICO& ico() { return icoSlot()(); }

QIcon programIcon() {
  ICO& i = ico();
  i.load();
  return i.programIcon();
}

void showWorkspace() {
  // The design workspace window is added with the workspace module.
}

void showTemplateBrowser() {
  // The template browser window is added with the template module.
}

void startTemplateDownload() {
  // The template browser window is added with the template module.
}

void unloadTemplateBrowser() {
  // The template browser window is added with the template module.
}

void unloadOthers() {
  // In this order: ICO, the workspace frmMain, the order window buy, the login dialog LogIN and
  // the template browser Template. A window that refuses stays open.
  icoSlot().unload();
  logINSlot().unload();
}
}  // namespace Forms
