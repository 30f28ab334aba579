#include "WebEngineBrowser.h"

#include <QVBoxLayout>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineView>

// Every navigation request of the page, its frames' included, passes through the browser's
// BeforeNavigate2 first.
class BrowserPage : public QWebEnginePage {
public:
  BrowserPage(QWebEngineProfile* profile, WebEngineBrowser* owner, QObject* parent)
      : QWebEnginePage(profile, parent), owner_(owner) {}

protected:
  bool acceptNavigationRequest(const QUrl& url, NavigationType, bool isMainFrame) override {
    return owner_->beforeNavigate(url, isMainFrame);
  }

private:
  WebEngineBrowser* owner_;
};

namespace {
QWebEngineProfile* browserProfile() {
  // Off the record: the shop's pages leave nothing behind in the user's home folder.
  static QWebEngineProfile* profile = new QWebEngineProfile();
  return profile;
}
}  // namespace

WebEngineBrowser::WebEngineBrowser(QWidget* parent) : WebBrowser(parent) {
  setObjectName("WebBrowser");
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  view_ = new QWebEngineView(this);
  page_ = new BrowserPage(browserProfile(), this, view_);
  view_->setPage(page_);
  layout->addWidget(view_);
}

void WebEngineBrowser::Navigate(const QString& url) {
  // An empty address shows a blank page.
  page_->load(url.isEmpty() ? QUrl("about:blank") : QUrl::fromUserInput(url));
}

QString WebEngineBrowser::LocationURL() const {
  const QUrl u = page_->url();
  return u.isEmpty() ? QString() : u.toString();
}

bool WebEngineBrowser::beforeNavigate(const QUrl& url, bool mainFrame) {
  bool cancel = false;
  Q_EMIT BeforeNavigate2(url.toString(), mainFrame, &cancel);
  return !cancel;
}
