// The design client: loading the welcome window is the program's start.
#include "Form.h"
#include "Forms.h"
#include "Platform.h"
#include "Translations.h"
#include "WebControls.h"
#include "WelCome.h"

#include <QApplication>

int main(int argc, char* argv[]) {
  QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
  QApplication app(argc, argv);
  Translations::install();
  app.setQuitOnLastWindowClosed(false);  // hidden but loaded windows keep the client running
  WebControls::install(qtPlatform());
  setPlatform(&qtPlatform());
  WelCome& welcome = Forms::welcome();
  welcome.load();
  if (welcome.isLoaded() && !welcome.handedOver()) welcome.showForm();
  if (Form::loadedCount() == 0) return 0;
  return app.exec();
}
