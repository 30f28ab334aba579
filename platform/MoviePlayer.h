#pragma once
// The movie control on Qt WebEngine: a movie is an HTML document, read from its file at once and
// shown with local-file and network access. Before any script of the page runs, a global object
// `player` offers call(name, ...args), addCallback(name, fn) and flashVars to the page.
#include "FlashPlayer.h"

#include <QList>
#include <QPointer>
#include <QSet>
#include <QStringList>

class QWebEngineView;
class QWebEnginePage;
class QWebChannel;
class PlayerBridge;

class MoviePlayer : public FlashPlayer {
  Q_OBJECT
public:
  explicit MoviePlayer(QWidget* parent = nullptr);
  ~MoviePlayer() override;

  bool setMovie(const QString& path) override;
  bool loadMovie(int layer, const QString& path) override;
  QString movie() const override { return movie_; }
  void setFlashVars(const QString& vars) override { flashVars_ = vars; }
  QString flashVars() const override { return flashVars_; }
  bool callFunction(const QString& invokeText) override;
  void stop() override;
  void setMenu(bool on) override;
  void installInputFilter(QObject* filter) override;

  // The movie has loaded and its bridge is up: calls now go straight to it.
  bool isReady() const { return loaded_ && bridgeReady_; }
  QWebEngineView* view() const { return view_; }

protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

private:
  friend class PlayerBridge;
  void onLoadFinished(bool ok);
  void onBridgeReady();
  void onOffer(const QString& name);
  void deliverHeld();
  void deliver(const QString& invokeText);
  void watchWidget(QWidget* w);

  QWebEngineView* view_ = nullptr;
  QWebEnginePage* page_ = nullptr;
  QWebChannel* channel_ = nullptr;
  PlayerBridge* bridge_ = nullptr;
  QString movie_;
  QString flashVars_;
  bool loaded_ = false;
  bool bridgeReady_ = false;
  bool stopped_ = false;
  int generation_ = 0;
  QStringList held_;
  QSet<QString> offered_;
  QList<QPointer<QObject>> inputFilters_;
  QSet<QWidget*> watched_;
};

// Finds the next movie player among the direct child widgets of parent: the first one when after
// is null, else the first one after `after`. Null when there is none.
QWidget* FindPlayerWindow(QWidget* parent, QWidget* after);
