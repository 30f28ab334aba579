// The web browser control on WebEngine, against pages of a loopback server: every navigation,
// the first one and a frame's included, passes BeforeNavigate2, and a cancelled one never
// reaches the server and leaves the page as it was.
#include "LoopbackHttpServer.h"
#include "WebEngineBrowser.h"

#include <QApplication>
#include <QTest>
#include <QWebEnginePage>
#include <QWebEngineView>

class WebBrowserTest : public QObject {
  Q_OBJECT

  struct Seen {
    QString url;
    bool mainFrame;
  };
  LoopbackHttpServer server_;
  QList<Seen> seen_;

  // A browser that cancels every address holding "Design".
  std::unique_ptr<WebEngineBrowser> makeBrowser() {
    auto b = std::make_unique<WebEngineBrowser>();
    connect(b.get(), &WebBrowser::BeforeNavigate2, this,
            [this](const QString& url, bool mainFrame, bool* cancel) {
              seen_ << Seen{url, mainFrame};
              if (url.contains("Design")) *cancel = true;
            },
            Qt::DirectConnection);
    b->resize(400, 300);
    b->show();
    return b;
  }
  bool sawUrl(const QString& path, bool mainFrame) const {
    for (const Seen& s : seen_)
      if (s.url == server_.root() + path && s.mainFrame == mainFrame) return true;
    return false;
  }

private Q_SLOTS:
  void initTestCase() {
    QVERIFY(server_.start());
    server_.setFile("/start.html",
                    "<html><body><a id='l' href='/Design.X1.aspx'>t</a><a id='n' href='/next.html'>n</a>"
                    "<iframe src='/frame.html'></iframe><iframe src='/Design.F2.aspx'></iframe></body></html>",
                    "text/html");
    server_.setFile("/frame.html", "<html><body>frame</body></html>", "text/html");
    server_.setFile("/next.html", "<html><body>next</body></html>", "text/html");
  }
  void init() {
    seen_.clear();
    server_.requested.clear();
  }

  void firstNavigationAndFrames() {
    auto b = makeBrowser();
    b->Navigate(server_.root() + "/start.html");
    QTRY_VERIFY_WITH_TIMEOUT(server_.requested.contains("/frame.html"), 20000);
    QTRY_COMPARE_WITH_TIMEOUT(b->LocationURL(), server_.root() + "/start.html", 20000);
    QTRY_VERIFY_WITH_TIMEOUT(sawUrl("/Design.F2.aspx", false), 20000);
    QVERIFY(sawUrl("/start.html", true));
    QVERIFY(sawUrl("/frame.html", false));
    QVERIFY(!server_.requested.contains("/Design.F2.aspx"));

    // A link the receiver cancels: the server is never asked and the page stays.
    b->view()->page()->runJavaScript("document.getElementById('l').click()");
    QTRY_VERIFY_WITH_TIMEOUT(sawUrl("/Design.X1.aspx", true), 20000);
    // A link that goes ahead afterwards proves the cancelled one had its turn already.
    b->view()->page()->runJavaScript("document.getElementById('n').click()");
    QTRY_COMPARE_WITH_TIMEOUT(b->LocationURL(), server_.root() + "/next.html", 20000);
    QVERIFY(!server_.requested.contains("/Design.X1.aspx"));
  }

  void firstNavigationCancelled() {
    auto b = makeBrowser();
    b->Navigate(server_.root() + "/Design.Y3.aspx");
    QTRY_VERIFY_WITH_TIMEOUT(sawUrl("/Design.Y3.aspx", true), 20000);
    b->Navigate(server_.root() + "/next.html");
    QTRY_COMPARE_WITH_TIMEOUT(b->LocationURL(), server_.root() + "/next.html", 20000);
    QVERIFY(!server_.requested.contains("/Design.Y3.aspx"));
  }
};

int main(int argc, char** argv) {
  QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
  QApplication app(argc, argv);
  WebBrowserTest t;
  return QTest::qExec(&t, argc, argv);
}
#include "tst_WebBrowser.moc"
