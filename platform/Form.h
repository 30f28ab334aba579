#pragma once
// A window as the programs think of one: loaded on first use (its load step runs then), unloaded
// with a cancel flag that lets it refuse, shown modeless or modal, hidden while it stays loaded.
// The program ends when its last loaded window has been unloaded; a hidden but loaded window
// keeps it running.
#include <QPointer>
#include <QWidget>

class QEventLoop;

class Form : public QWidget {
  Q_OBJECT
public:
  explicit Form(QWidget* parent = nullptr);
  ~Form() override;

  bool isLoaded() const { return loaded_; }
  // Runs the load step once; showing or touching a window that is not loaded loads it.
  void load();
  // Runs the unload step; false when the window refused (cancel set) and stays loaded.
  bool unload();
  // Loads the window when needed and shows it; modal waits (events still run) until it is hidden.
  void showForm(bool modal = false);
  void hideForm();
  bool isShownModal() const { return modal_; }

  // The client area in twips.
  void setClientSizeTwips(int width, int height);
  int scaleWidth() const;   // client width in twips
  int scaleHeight() const;  // client height in twips
  void centreOnScreen();

  // How many windows of the program are loaded now.
  static int loadedCount();
  // Whether the end of the last window ends the program (off in tests).
  static void setQuitWhenLastUnloaded(bool on);

Q_SIGNALS:
  void loadedChanged(bool loaded);

protected:
  virtual void Form_Load() {}
  // Set cancel to a non-zero value to refuse.
  virtual void Form_Unload(int& cancel) { Q_UNUSED(cancel); }
  virtual void Form_Resize() {}

  void resizeEvent(QResizeEvent* e) override;
  void closeEvent(QCloseEvent* e) override;
  void hideEvent(QHideEvent* e) override;

private:
  bool loaded_ = false;
  bool loading_ = false;
  bool modal_ = false;
  QEventLoop* modalLoop_ = nullptr;
};

// Holds one window of the program: created on first use, destroyed after it is unloaded, so the
// next use loads a fresh one.
template <class T>
class FormSlot {
public:
  T& operator()() {
    if (!p_) {
      p_ = new T;
      QObject::connect(p_, &Form::loadedChanged, p_, [f = p_](bool loaded) {
        if (!loaded) f->deleteLater();
      });
    }
    return *p_;
  }
  T* get() const { return p_.data(); }
  bool isLoaded() const { return p_ && p_->isLoaded(); }
  // Unloads the window when it is loaded; false when it refused.
  bool unload() { return !isLoaded() || p_->unload(); }
  void reset() { delete p_.data(); }

private:
  QPointer<T> p_;
};
