#pragma once
// The movie control the programs host: a movie file, flash variables, calls into the movie and
// requests out of it. MoviePlayer is the real one; tests may use a fake.
#include <QWidget>

class FlashPlayer : public QWidget {
  Q_OBJECT
public:
  using QWidget::QWidget;
  // The longest invoke text, call or request, that is parsed; a longer one fails like one that
  // does not parse. Room for a large design's XML in one request.
  static constexpr qsizetype maxInvokeChars = 8 * 1024 * 1024;
  // Reads the movie file at once and starts it; false when the file cannot be read.
  virtual bool setMovie(const QString& path) = 0;
  virtual bool loadMovie(int layer, const QString& path) = 0;
  virtual QString movie() const = 0;
  virtual void setFlashVars(const QString& vars) = 0;
  virtual QString flashVars() const = 0;
  // Hands an invoke text to the movie. False when the call fails: a text that does not parse, or
  // a function the loaded movie never offered. Calls made before the movie has loaded are held.
  virtual bool callFunction(const QString& invokeText) = 0;
  virtual void stop() = 0;
  // The player's own context menu.
  virtual void setMenu(bool on) = 0;
  // Installs an event filter on every widget that receives the player's input, now and later.
  virtual void installInputFilter(QObject* filter) = 0;

Q_SIGNALS:
  // A request of the movie, as its invoke text.
  void flashCall(const QString& request);
  // A held call that failed when it was delivered.
  void callFailed(const QString& invokeText);
  // The movie has loaded and the held calls have been delivered.
  void movieLoaded();
};
