#pragma once
// The ports through which the programs reach what a person would click or see. Each program is
// handed one Platform at start; tests hand fakes for these parts. Sockets, HTTP, XML, imaging,
// zip and files stay real and are not behind this object.
#include <QString>
#include <QStringList>
#include <functional>

class QIcon;
class QWidget;
class FlashPlayer;
class WebBrowser;

// Button and icon codes of a message box, and its answers, in the classic numbering the
// programs were written against.
namespace Msg {
enum Style {
  OKOnly = 0, OKCancel = 1, AbortRetryIgnore = 2, YesNoCancel = 3, YesNo = 4, RetryCancel = 5,
  Critical = 16, Question = 32, Exclamation = 48, Information = 64,
};
enum Answer { OK = 1, Cancel = 2, Abort = 3, Retry = 4, Ignore = 5, Yes = 6, No = 7 };
}

class MessageBoxPort {
public:
  virtual ~MessageBoxPort() = default;
  // Shows text and title exactly as given; style is buttons + icon. Returns a Msg::Answer.
  virtual int show(QWidget* parent, const QString& text, const QString& title, int style) = 0;
};

class FileDialogPort {
public:
  virtual ~FileDialogPort() = default;
  // The chosen files' full paths in the order the dialog gives them; empty when cancelled.
  virtual QStringList openFiles(QWidget* parent, const QString& title, const QString& filterName,
                                const QString& patterns, bool multiple) = 0;
};

class ProcessPort {
public:
  virtual ~ProcessPort() = default;
  // Starts a program detached; returns its process id, or 0 when it could not be started.
  virtual qint64 startDetached(const QString& program, const QStringList& args = {}) = 0;
  // Opens an address in the user's web browser.
  virtual bool openUrl(const QString& url) = 0;
  // The program's end, in place of a normal return from the event loop.
  virtual void exitProgram(int code) = 0;
};

class ClipboardPort {
public:
  virtual ~ClipboardPort() = default;
  virtual void clear() = 0;
  virtual bool hasText() = 0;
  virtual QString text() = 0;
  virtual void setText(const QString& text) = 0;
};

// The notification-area icon of a program that lives in the tray.
class TrayIconPort {
public:
  virtual ~TrayIconPort() = default;
  // Whether the desktop offers a notification area at all.
  virtual bool isAvailable() = 0;
  // Shows the icon; onLeftButtonUp runs each time the left button is released over it.
  virtual void add(const QIcon& icon, std::function<void()> onLeftButtonUp) = 0;
  virtual void setTip(const QString& tip) = 0;
  // Removes the icon; harmless when it is not shown.
  virtual void remove() = 0;
};

struct Platform {
  MessageBoxPort* msgBox = nullptr;
  FileDialogPort* fileDialog = nullptr;
  ProcessPort* process = nullptr;
  ClipboardPort* clipboard = nullptr;
  // Movie and web page controls; tests may replace them with fakes.
  std::function<FlashPlayer*(QWidget* parent)> newFlashPlayer;
  std::function<WebBrowser*(QWidget* parent)> newWebBrowser;
  // The tray icon.
  TrayIconPort* tray = nullptr;
};

// The one Platform of this process, set by the program's main (or a test) before any window loads.
Platform& platform();
void setPlatform(Platform* p);

// The Qt-backed ports a real program uses.
Platform& qtPlatform();
