// The online updater: loading its window is the program's start; it ends itself once the start
// list has been started, or at the first thing that stops the update.
#include "Form1.h"
#include "Platform.h"
#include "Translations.h"

#include <QApplication>

int main(int argc, char* argv[]) {
  QApplication app(argc, argv);
  Translations::install();
  app.setQuitOnLastWindowClosed(false);  // hidden while it waits for the start list
  setPlatform(&qtPlatform());
  Form1 form;
  form.load();
  if (form.ended()) return 0;
  form.showForm();
  return app.exec();
}
