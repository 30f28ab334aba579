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
  Busy busy(*this);
  loading_ = true;
  loaded_ = true;
  ++g_loaded;
  Q_EMIT loadedChanged(true);
  Form_Load();
  loading_ = false;
}

bool Form::unload() {
  if (!loaded_) return true;
  // Asked again while the unload step still waits for its answer: that first unload decides.
  if (unloading_) return false;
  Busy busy(*this);
  unloading_ = true;
  int cancel = 0;
  Form_Unload(cancel);
  unloading_ = false;
  if (cancel) return false;
  loaded_ = false;
  ++unloads_;
  --g_loaded;
  hide();
  Q_EMIT loadedChanged(false);
  if (g_loaded == 0 && g_quitWhenLast) QCoreApplication::quit();
  return true;
}

Form::Busy::Busy(Form& form) : form_(&form), unloads_(form.unloads_) { ++form.busy_; }

Form::Busy::~Busy() {
  if (form_ && --form_->busy_ == 0 && form_->deleteWhenIdle_) form_->postDelete();
}

bool Form::Busy::unloaded() const { return !form_ || form_->unloads_ != unloads_; }

void Form::deleteWhenIdle() {
  deleteWhenIdle_ = true;
  if (busy_ == 0) postDelete();
}

void Form::postDelete() {
  if (deletePosted_) return;
  deletePosted_ = true;
  // Posted from inside the handler's own scope: it runs once control is back in the event loop.
  deleteLater();
}

bool Form::event(QEvent* e) {
  // A handler that began after the deletion was posted (a timer, a movie's request) holds it
  // off as well; its end posts it again.
  if (e->type() == QEvent::DeferredDelete && busy_ > 0) {
    deletePosted_ = false;
    return true;
  }
  return QWidget::event(e);
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
  Busy busy(*this);
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
