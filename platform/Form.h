#pragma once
// A window as the programs think of one: loaded on first use (its load step runs then), unloaded
// with a cancel flag that lets it refuse, shown modeless or modal, hidden while it stays loaded.
// The program ends when its last loaded window has been unloaded; a hidden but loaded window
// keeps it running.
#include <QPointer>
#include <QWidget>

#include <cstdint>

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

  // Held by a handler of the window while it lets events run (DoEvents, a wait, a dialog), where
  // the window may be unloaded under it: while one is held the window is not deleted, and
  // unloaded() tells the handler to stop at once instead of going on for a closed window.
  class Busy {
  public:
    explicit Busy(Form& form);
    ~Busy();
    Busy(const Busy&) = delete;
    Busy& operator=(const Busy&) = delete;
    // Whether the window has been unloaded since this was taken.
    bool unloaded() const;

  private:
    QPointer<Form> form_;
    std::uint64_t unloads_;
  };

  // Deletes the window (later) once no handler holds it busy; the window is done with.
  void deleteWhenIdle();
  bool isDeleting() const { return deleteWhenIdle_; }

Q_SIGNALS:
  void loadedChanged(bool loaded);

protected:
  virtual void Form_Load() {}
  // Set cancel to a non-zero value to refuse.
  virtual void Form_Unload(int& cancel) { Q_UNUSED(cancel); }
  virtual void Form_Resize() {}

  bool event(QEvent* e) override;
  void resizeEvent(QResizeEvent* e) override;
  void closeEvent(QCloseEvent* e) override;
  void hideEvent(QHideEvent* e) override;

private:
  bool loaded_ = false;
  bool loading_ = false;
  bool unloading_ = false;
  bool modal_ = false;
  QEventLoop* modalLoop_ = nullptr;
  int busy_ = 0;
  std::uint64_t unloads_ = 0;
  bool deleteWhenIdle_ = false;
  bool deletePosted_ = false;
  void postDelete();
};

// Holds one window of the program: created on first use, destroyed after it is unloaded (once
// its handlers have returned), so the next use loads a fresh one, even while the old one is
// still finishing a handler.
template <class T>
class FormSlot {
public:
  T& operator()() {
    if (!get()) {
      p_ = new T;
      QObject::connect(p_, &Form::loadedChanged, p_, [f = p_](bool loaded) {
        if (!loaded) f->deleteWhenIdle();
      });
    }
    return *p_;
  }
  T* get() const { return p_ && !p_->isDeleting() ? p_.data() : nullptr; }
  bool isLoaded() const { return get() && p_->isLoaded(); }
  // Unloads the window when it is loaded; false when it refused.
  bool unload() { return !isLoaded() || p_->unload(); }
  void reset() { delete p_.data(); }

private:
  QPointer<T> p_;
};
