#include "Forms.h"

#include "ICO.h"
#include "Template.h"
#include "WelCome.h"

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

void showWorkspace() {
  // The design workspace window is added with the workspace module.
}

void showTemplateBrowser() {
  Template& t = templateSlot()();
  t.load();
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
  templateSlot().unload();
}
}  // namespace Forms
