#include "Form.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QEventLoop>
#include <QGuiApplication>
#include <QScreen>

#include "Twips.h"

namespace {
int g_loaded = 0;
bool g_quitWhenLast = true;
}

Form::Form(QWidget* parent) : QWidget(parent) {}

Form::~Form() {
  if (loaded_) --g_loaded;
}

void Form::load() {
  if (loaded_ || loading_) return;
  loading_ = true;
  loaded_ = true;
  ++g_loaded;
  Q_EMIT loadedChanged(true);
  Form_Load();
  loading_ = false;
}

bool Form::unload() {
  if (!loaded_) return true;
  int cancel = 0;
  Form_Unload(cancel);
  if (cancel) return false;
  loaded_ = false;
  --g_loaded;
  hide();
  Q_EMIT loadedChanged(false);
  if (g_loaded == 0 && g_quitWhenLast) QCoreApplication::quit();
  return true;
}

void Form::showForm(bool modal) {
  load();
  if (!loaded_) return;
  if (!modal) {
    show();
    raise();
    activateWindow();
    return;
  }
  // Modal: the caller waits here, with events still running, until the window is hidden or unloaded.
  QEventLoop loop;
  QPointer<Form> self(this);
  modalLoop_ = &loop;
  modal_ = true;
  setWindowModality(Qt::ApplicationModal);
  show();
  raise();
  activateWindow();
  connect(this, &QObject::destroyed, &loop, &QEventLoop::quit);
  loop.exec();
  if (self) {
    modalLoop_ = nullptr;
    modal_ = false;
    setWindowModality(Qt::NonModal);
  }
}

void Form::hideForm() { hide(); }

void Form::hideEvent(QHideEvent* e) {
  QWidget::hideEvent(e);
  if (modalLoop_) modalLoop_->quit();
}

void Form::setClientSizeTwips(int width, int height) {
  resize(Twips::toPixelsX(width), Twips::toPixelsY(height));
}

int Form::scaleWidth() const { return Twips::fromPixelsX(width()); }
int Form::scaleHeight() const { return Twips::fromPixelsY(height()); }

void Form::centreOnScreen() {
  QScreen* s = QGuiApplication::primaryScreen();
  if (!s) return;
  const QRect r = s->availableGeometry();
  move(r.x() + (r.width() - width()) / 2, r.y() + (r.height() - height()) / 2);
}

int Form::loadedCount() { return g_loaded; }
void Form::setQuitWhenLastUnloaded(bool on) { g_quitWhenLast = on; }

void Form::resizeEvent(QResizeEvent* e) {
  QWidget::resizeEvent(e);
  if (loaded_) Form_Resize();
}

void Form::closeEvent(QCloseEvent* e) {
  // The close button unloads the window unless its unload step refuses.
  if (unload()) e->accept();
  else e->ignore();
}
