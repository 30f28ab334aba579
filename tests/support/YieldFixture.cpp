#include "YieldFixture.h"

#include <QPointer>
#include <QTimer>
#include <QWidget>

void eachYield(QObject* context, std::function<bool()> step) {
  auto* timer = new QTimer(context);
  timer->setInterval(0);
  QObject::connect(timer, &QTimer::timeout, timer, [timer, step = std::move(step)] {
    if (!step()) return;
    timer->stop();
    timer->deleteLater();
  });
  timer->start();
}

bool staysThrough(QObject* object, const std::function<void()>& call) {
  QPointer<QObject> watched(object);
  bool inside = true, goneInside = false;
  QObject watching;
  eachYield(&watching, [&] {
    if (inside && !watched) goneInside = true;
    return !inside;
  });
  call();
  inside = false;
  return !goneInside && watched;
}

void closeWhen(QWidget* window, std::function<bool()> when) {
  QPointer<QWidget> w(window);
  eachYield(window, [w, when = std::move(when)] {
    if (!when()) return false;
    if (w) w->close();
    return true;
  });
}
