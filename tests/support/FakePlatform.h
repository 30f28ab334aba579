#pragma once
// Fakes for the parts of the platform a person would click: they record what the program asked
// for and answer as the test says.
#include "FlashPlayer.h"
#include "Platform.h"
#include "WebBrowser.h"

#include <QList>
#include <QPointer>
#include <QStringList>
#include <functional>

struct MessageRecord {
  QString text;
  QString title;
  int style = 0;
};

class FakeMessageBox : public MessageBoxPort {
public:
  QList<MessageRecord> shown;
  QList<int> answers;  // answered in order; when empty, `fallback`
  int fallback = Msg::OK;
  std::function<void(const MessageRecord&)> onShow;
  int show(QWidget*, const QString& text, const QString& title, int style) override;
};

class FakeFileDialog : public FileDialogPort {
public:
  QStringList files;  // what the next dialog returns
  QList<bool> multipleAsked;
  QStringList titles;
  QStringList patterns;
  std::function<void()> whileOpen;  // what happens while the dialog is on screen
  QStringList openFiles(QWidget*, const QString& title, const QString& filterName, const QString& patterns,
                        bool multiple) override;
};

class FakeProcess : public ProcessPort {
public:
  QStringList started;  // program paths
  QList<QStringList> startedArgs;
  QList<qint64> pids;   // what each start returned
  QStringList urls;
  QList<int> exits;
  qint64 nextPid = 4242;  // 0 makes every start fail
  bool startForReal = false;  // starts the programs as the Qt platform does, instead of nextPid
  qint64 startDetached(const QString& program, const QStringList& args) override;
  bool openUrl(const QString& url) override;
  void exitProgram(int code) override;
};

class FakeClipboard : public ClipboardPort {
public:
  QString content;
  bool present = false;
  QStringList log;  // "clear", "set:TEXT"
  void clear() override;
  bool hasText() override;
  QString text() override;
  void setText(const QString& t) override;
};

// A tray that records what was asked of it; leftButtonUp() acts as the user's click on the icon.
class FakeTrayIcon : public TrayIconPort {
public:
  bool available = true;
  bool shown = false;
  QString tip;
  QStringList log;  // "add", "tip:TEXT", "remove"
  bool isAvailable() override { return available; }
  void add(const QIcon& icon, std::function<void()> onLeftButtonUp) override;
  void setTip(const QString& t) override;
  void remove() override;
  // The left button released over the icon; nothing happens while no icon is shown.
  void leftButtonUp();

private:
  std::function<void()> onUp_;
};

// A movie player that records what it is handed and lets the test send requests.
class FakeFlashPlayer : public FlashPlayer {
  Q_OBJECT
public:
  using FlashPlayer::FlashPlayer;
  QStringList movies;  // every movie set, in order
  QList<QByteArray> movieBytes;  // each movie file's content when it was set (empty when missing)
  QStringList calls;   // every call text, in order
  QString vars;
  bool stopped = false;
  bool menu = true;
  bool failCalls = false;
  bool setMovie(const QString& path) override;
  bool loadMovie(int, const QString& path) override { return setMovie(path); }
  QString movie() const override { return movies.value(movies.size() - 1); }
  void setFlashVars(const QString& v) override { vars = v; }
  QString flashVars() const override { return vars; }
  bool callFunction(const QString& text) override;
  void stop() override { stopped = true; }
  void setMenu(bool on) override { menu = on; }
  void installInputFilter(QObject* filter) override { installEventFilter(filter); }
  // Sends a request as the movie would.
  void request(const QString& name, const QStringList& args);
};

// A web browser that records where it was sent; follow() starts a navigation as a page would.
class FakeWebBrowser : public WebBrowser {
  Q_OBJECT
public:
  using WebBrowser::WebBrowser;
  QStringList navigated;  // every address handed to Navigate, in order
  QString location;       // the page shown
  void Navigate(const QString& url) override { navigated << url; follow(url); }
  QString LocationURL() const override { return location; }
  // Raises BeforeNavigate2; a main-frame navigation that is not cancelled changes the page shown.
  // True when the navigation went ahead.
  bool follow(const QString& url, bool mainFrame = true);
};

// A platform made of the fakes above; installs itself on construction and the Qt one back on
// destruction.
class FakePlatform {
public:
  FakePlatform();
  ~FakePlatform();
  FakeMessageBox msgBox;
  FakeFileDialog fileDialog;
  FakeProcess process;
  FakeClipboard clipboard;
  FakeTrayIcon tray;
  QList<QPointer<FakeFlashPlayer>> players;  // every player created, in order
  QList<QPointer<FakeWebBrowser>> browsers;  // every browser created, in order
  Platform platform;
  // The player created with the given object name, or null.
  FakeFlashPlayer* player(const QString& objectName) const;
};

// The invoke text a movie player sends for a request.
QString requestText(const QString& name, const QStringList& args);
