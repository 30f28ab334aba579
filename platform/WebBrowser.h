#pragma once
// The web page control the programs host: navigate to an address, read the address shown, and
// watch every navigation (frames and the first one included) with the chance to cancel it.
// WebEngineBrowser (platform_web) is the real one; tests may use a fake.
#include <QWidget>

class WebBrowser : public QWidget {
  Q_OBJECT
public:
  using QWidget::QWidget;
  virtual void Navigate(const QString& url) = 0;
  // The address of the page shown ("" before the first page has loaded).
  virtual QString LocationURL() const = 0;

Q_SIGNALS:
  // Raised before the browser follows an address. A receiver connected directly sets *cancel to
  // true to stop the navigation; the page shown then stays as it is.
  void BeforeNavigate2(const QString& url, bool mainFrame, bool* cancel);
};
