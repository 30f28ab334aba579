#include "TitleDrag.h"

#include <QGuiApplication>
#include <QMouseEvent>
#include <QWidget>
#include <QWindow>

TitleDrag::TitleDrag(QWidget* handle) : QObject(handle), handle_(handle) { handle->installEventFilter(this); }

// The window system moves the window where that works. On X11, Qt 6.4's system move leaves the
// window stuck to the pointer after the button is released, so there (and where there is no
// system move) the window follows the mouse itself.
bool TitleDrag::eventFilter(QObject* watched, QEvent* e) {
  if (watched != handle_) return false;
  QWidget* window = handle_->window();
  if (e->type() == QEvent::MouseButtonPress) {
    manual_ = false;
    offset_ = static_cast<QMouseEvent*>(e)->globalPosition().toPoint() - window->pos();
  } else if (e->type() == QEvent::MouseButtonRelease) {
    manual_ = false;
  } else if (e->type() == QEvent::MouseMove) {
    auto* m = static_cast<QMouseEvent*>(e);
    if (m->buttons() != Qt::LeftButton || window->isMinimized()) return false;
    if (!manual_) {
      static const bool systemMove = QGuiApplication::platformName() != QLatin1String("xcb");
      if (systemMove && window->windowHandle() && window->windowHandle()->startSystemMove()) return false;
      manual_ = true;
    }
    window->move(m->globalPosition().toPoint() - offset_);
  }
  return false;
}
