#include "Forms.h"

#include "ICO.h"
#include "LogIN.h"
#include "Template.h"
#include "WelCome.h"
#include "buy.h"
#include "frmMain.h"

#include <QTimer>

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
FormSlot<frmMain>& workspaceSlot() {
  static FormSlot<frmMain> slot;
  return slot;
}
frmMain& workspace() { return workspaceSlot()(); }
FormSlot<buy>& buySlot() {
  static FormSlot<buy> slot;
  return slot;
}
buy& buyWindow() { return buySlot()(); }
FormSlot<Template>& templateSlot() {
  static FormSlot<Template> slot;
  return slot;
}
WelCome& welcome() { return welcomeSlot()(); }
ICO& ico() { return icoSlot()(); }

QIcon programIcon() {
  ICO& i = ico();
  i.load();
  return i.programIcon();
}

void showWorkspace() { workspace().showForm(); }


void showTemplateBrowser() {
  Template& t = templateSlot()();
  if (t.isLoaded()) t.showAsNew();
  else t.load();
  t.Timer1->stop();
  t.showForm();
}

void startTemplateDownload() {
  Template& t = templateSlot()();
  t.load();
  t.startDownload();
}

void unloadTemplateBrowser() { templateSlot().unload(); }

void unloadOthers() {
  // In this order: ICO, the workspace frmMain, the order window buy, the login dialog LogIN and
  // the template browser Template. A window that refuses stays open.
  icoSlot().unload();
  workspaceSlot().unload();
  buySlot().unload();
  logINSlot().unload();
  templateSlot().unload();
}
}  // namespace Forms
