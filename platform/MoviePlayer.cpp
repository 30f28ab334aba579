#include "MoviePlayer.h"

#include "XmlDom.h"

#include <QChildEvent>
#include <QDomDocument>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonValue>
#include <QJsonArray>
#include <QUrl>
#include <QVBoxLayout>
#include <QWebChannel>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineScript>
#include <QWebEngineScriptCollection>
#include <QWebEngineSettings>
#include <QWebEngineView>

#include <cstdio>

// The object the page's `player` talks to over the web channel.
class PlayerBridge : public QObject {
  Q_OBJECT
public:
  explicit PlayerBridge(MoviePlayer* p) : QObject(p), player_(p) {}
  // Handed on from the event loop, not inside the channel's delivery: a request may open dialogs
  // or wait for the network, and the web engine holds back page loads until the delivery returns.
  Q_INVOKABLE void request(const QString& invokeText) {
    QMetaObject::invokeMethod(player_, [p = player_, invokeText] { Q_EMIT p->flashCall(invokeText); },
                              Qt::QueuedConnection);
  }
  Q_INVOKABLE void offer(const QString& name) { player_->onOffer(name); }
  Q_INVOKABLE void ready() { player_->onBridgeReady(); }

private:
  MoviePlayer* player_;
};

namespace {

// Every console message of a movie goes to standard error, whatever its level.
class MoviePage : public QWebEnginePage {
public:
  using QWebEnginePage::QWebEnginePage;

protected:
  void javaScriptConsoleMessage(JavaScriptConsoleMessageLevel, const QString& message, int,
                                const QString&) override {
    fprintf(stderr, "js: %s\n", message.toUtf8().constData());
    fflush(stderr);
  }
};

QWebEngineProfile* movieProfile() {
  // Off the record: movies leave nothing behind in the user's home folder.
  static QWebEngineProfile* profile = new QWebEngineProfile();
  return profile;
}

QString webChannelScript() {
  static QString source = [] {
    QFile f(":/qtwebchannel/qwebchannel.js");
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
  }();
  return source;
}

QString jsString(const QString& s) {
  const QByteArray json = QJsonDocument(QJsonArray{s}).toJson(QJsonDocument::Compact);
  return QString::fromUtf8(json.mid(1, json.size() - 2));
}

// Defines `player` before the page's own scripts run. Requests and offers made before the
// channel is up are queued and sent, in order, once it is.
const char* kPlayerScript = R"JS(
(function () {
  if (window.player) return;
  var host = null, queue = [], callbacks = {}, stopped = false;
  function esc(s) {
    return String(s).replace(/&/g, '&amp;').replace(/</g, '&lt;').replace(/>/g, '&gt;')
                    .replace(/"/g, '&quot;');
  }
  function send(kind, text) { if (host) host[kind](text); else queue.push([kind, text]); }
  var player = {
    flashVars: __FLASHVARS__,
    call: function (name) {
      var text = '<invoke name="' + esc(name) + '" returntype="xml"><arguments>';
      for (var i = 1; i < arguments.length; i++) text += '<string>' + esc(arguments[i]) + '</string>';
      send('request', text + '</arguments></invoke>');
    },
    addCallback: function (name, fn) { callbacks[name] = fn; send('offer', String(name)); },
    get stopped() { return stopped; },
    __stop: function () {
      stopped = true;
      try { document.getAnimations().forEach(function (a) { a.pause(); }); } catch (e) {}
      window.dispatchEvent(new Event('playerstop'));
    },
    __deliver: function (text) {
      var doc = new DOMParser().parseFromString(text, 'text/xml');
      if (doc.getElementsByTagName('parsererror').length) return 'badxml';
      var root = doc.documentElement, fn = callbacks[root.getAttribute('name')];
      if (typeof fn !== 'function') return 'nofunc';
      var args = [], list = null;
      for (var c = root.firstElementChild; c; c = c.nextElementSibling)
        if (c.nodeName === 'arguments') { list = c; break; }
      if (list)
        for (var a = list.firstElementChild; a; a = a.nextElementSibling)
          args.push(a.firstElementChild ? a.innerHTML : a.textContent);
      try { fn.apply(null, args); } catch (e) { console.error('movie function failed: ' + e); return 'error'; }
      return 'ok';
    }
  };
  window.player = player;
  new QWebChannel(qt.webChannelTransport, function (channel) {
    host = channel.objects.host;
    queue.forEach(function (q) { host[q[0]](q[1]); });
    queue = [];
    host.ready();
  });
})();
)JS";

}  // namespace

MoviePlayer::MoviePlayer(QWidget* parent) : FlashPlayer(parent) {
  setObjectName("MoviePlayer");
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  view_ = new QWebEngineView(this);
  page_ = new MoviePage(movieProfile(), view_);
  view_->setPage(page_);
  layout->addWidget(view_);

  auto* s = page_->settings();
  s->setAttribute(QWebEngineSettings::LocalContentCanAccessRemoteUrls, true);
  s->setAttribute(QWebEngineSettings::LocalContentCanAccessFileUrls, true);
  s->setAttribute(QWebEngineSettings::JavascriptEnabled, true);
  s->setAttribute(QWebEngineSettings::AllowRunningInsecureContent, true);

  bridge_ = new PlayerBridge(this);
  channel_ = new QWebChannel(this);
  channel_->registerObject("host", bridge_);
  page_->setWebChannel(channel_);
  connect(page_, &QWebEnginePage::loadFinished, this, &MoviePlayer::onLoadFinished);
  watchWidget(view_);
}

MoviePlayer::~MoviePlayer() {
  // The watched widgets die with the view below, after this object's own members would be gone:
  // drop their destroy notices first, then take the view and its page down while the channel lives.
  for (QWidget* w : std::as_const(watched_)) disconnect(w, &QObject::destroyed, this, nullptr);
  watched_.clear();
  delete view_;
}

bool MoviePlayer::setMovie(const QString& path) {
  QFile f(path);
  if (!f.open(QIODevice::ReadOnly)) return false;
  const QByteArray html = f.readAll();
  f.close();

  movie_ = path;
  ++generation_;
  loaded_ = bridgeReady_ = stopped_ = false;
  held_.clear();
  offered_.clear();

  auto* scripts = &page_->scripts();
  scripts->clear();
  QWebEngineScript channelJs;
  channelJs.setName("qwebchannel");
  channelJs.setSourceCode(webChannelScript());
  channelJs.setInjectionPoint(QWebEngineScript::DocumentCreation);
  channelJs.setWorldId(QWebEngineScript::MainWorld);
  channelJs.setRunsOnSubFrames(false);
  scripts->insert(channelJs);
  QWebEngineScript playerJs;
  playerJs.setName("player");
  playerJs.setSourceCode(QString::fromUtf8(kPlayerScript).replace("__FLASHVARS__", jsString(flashVars_)));
  playerJs.setInjectionPoint(QWebEngineScript::DocumentCreation);
  playerJs.setWorldId(QWebEngineScript::MainWorld);
  playerJs.setRunsOnSubFrames(false);
  scripts->insert(playerJs);

  page_->setContent(html, "text/html;charset=UTF-8", QUrl::fromLocalFile(QFileInfo(path).absoluteFilePath()));
  return true;
}

bool MoviePlayer::loadMovie(int, const QString& path) { return setMovie(path); }

bool MoviePlayer::callFunction(const QString& invokeText) {
  if (stopped_) return false;
  if (!isReady()) {
    held_ << invokeText;
    return true;
  }
  QDomDocument doc;
  if (!XmlDom::loadBounded(doc, invokeText, maxInvokeChars)) return false;
  if (!offered_.contains(doc.documentElement().attribute("name"))) return false;
  deliver(invokeText);
  return true;
}

void MoviePlayer::deliver(const QString& invokeText) {
  const int gen = generation_;
  QPointer<MoviePlayer> self(this);
  page_->runJavaScript("window.player ? player.__deliver(" + jsString(invokeText) + ") : 'nofunc'",
                       QWebEngineScript::MainWorld, [self, gen, invokeText](const QVariant& r) {
                         if (!self || self->generation_ != gen) return;
                         if (r.toString() != "ok") {
                           fprintf(stderr, "movie call failed (%s): %s\n", qPrintable(r.toString()),
                                   invokeText.toUtf8().constData());
                           Q_EMIT self->callFailed(invokeText);
                         }
                       });
}

void MoviePlayer::stop() {
  stopped_ = true;
  held_.clear();
  page_->runJavaScript("window.player && player.__stop()");
}

void MoviePlayer::setMenu(bool on) {
  view_->setContextMenuPolicy(on ? Qt::DefaultContextMenu : Qt::NoContextMenu);
}

void MoviePlayer::installInputFilter(QObject* filter) {
  inputFilters_ << QPointer<QObject>(filter);
  for (QWidget* w : std::as_const(watched_)) w->installEventFilter(filter);
}

void MoviePlayer::watchWidget(QWidget* w) {
  if (watched_.contains(w)) return;
  watched_.insert(w);
  connect(w, &QObject::destroyed, this, [this, w] { watched_.remove(w); });
  w->installEventFilter(this);
  for (auto& f : inputFilters_)
    if (f) w->installEventFilter(f);
  for (QObject* c : w->children())
    if (c->isWidgetType()) watchWidget(static_cast<QWidget*>(c));
}

bool MoviePlayer::eventFilter(QObject* watched, QEvent* event) {
  // The web view creates the widget that takes its input only once a page shows: follow it.
  if (event->type() == QEvent::ChildAdded || event->type() == QEvent::ChildPolished) {
    QObject* c = static_cast<QChildEvent*>(event)->child();
    if (c && c->isWidgetType()) watchWidget(static_cast<QWidget*>(c));
  }
  return FlashPlayer::eventFilter(watched, event);
}

void MoviePlayer::onLoadFinished(bool ok) {
  if (!ok) return;
  loaded_ = true;
  if (isReady()) deliverHeld();
}

void MoviePlayer::onBridgeReady() {
  bridgeReady_ = true;
  if (isReady()) deliverHeld();
}

void MoviePlayer::onOffer(const QString& name) { offered_.insert(name); }

void MoviePlayer::deliverHeld() {
  const QStringList calls = held_;
  held_.clear();
  for (const QString& c : calls) deliver(c);
  Q_EMIT movieLoaded();
}

QWidget* FindPlayerWindow(QWidget* parent, QWidget* after) {
  if (!parent) return nullptr;
  bool passed = (after == nullptr);
  for (QObject* c : parent->children()) {
    auto* player = qobject_cast<FlashPlayer*>(c);
    if (!player) continue;
    if (passed) return player;
    if (player == after) passed = true;
  }
  return nullptr;
}

#include "MoviePlayer.moc"
