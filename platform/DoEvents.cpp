#include "DoEvents.h"

#include <QCoreApplication>

void DoEvents() {
  QCoreApplication::sendPostedEvents();
  QCoreApplication::processEvents(QEventLoop::AllEvents);
}
