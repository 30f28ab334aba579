#pragma once
// The web page control on QtWebEngine.
#include "WebBrowser.h"

class QWebEngineView;
class QWebEnginePage;

class WebEngineBrowser : public WebBrowser {
  Q_OBJECT
public:
  explicit WebEngineBrowser(QWidget* parent = nullptr);
  void Navigate(const QString& url) override;
  QString LocationURL() const override;
  QWebEngineView* view() const { return view_; }

private:
  friend class BrowserPage;
  bool beforeNavigate(const QUrl& url, bool mainFrame);
  QWebEngineView* view_ = nullptr;
  QWebEnginePage* page_ = nullptr;
};
