// The design uploader: loading its window is the program's start.
#include "Platform.h"
#include "Translations.h"
#include "upload.h"

#include <QApplication>

int main(int argc, char* argv[]) {
  QApplication app(argc, argv);
  Translations::install();
  app.setQuitOnLastWindowClosed(false);  // hidden in the tray it keeps running
  setPlatform(&qtPlatform());
  upload window;
  window.load();
  if (!window.isLoaded()) return 0;
  window.showForm();
  return app.exec();
}
