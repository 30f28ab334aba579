// The downloader and new-design movies in real movie players, with the template browser, against
// a loopback server that serves a template as the shop does: the files arrive byte for byte,
// files already stored are not fetched again, and the new-design movie creates the design.
#include "FileFixture.h"
#include "FakePlatform.h"
#include "Forms.h"
#include "ICO.h"
#include "LoopbackHttpServer.h"
#include "MovieFixture.h"
#include "MoviePlayer.h"
#include "Paths.h"
#include "Template.h"
#include "WelCome.h"
#include "mainModule.h"

#include <QApplication>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>
#include <QWebEnginePage>
#include <QWebEngineView>

namespace {
const char* kNo = "0123456789ABCDEF0123456789ABCDEF";
}  // namespace

class TemplateMoviesTest : public QObject {
  Q_OBJECT

  QTemporaryDir dir_;
  LoopbackHttpServer server_;
  std::unique_ptr<FakePlatform> fp_;
  QByteArray package_, picture_;

  QString at(const QString& rel) const { return dir_.path() + "/" + rel; }
  QWebEnginePage* page(const QString& player) const {
    return static_cast<MoviePlayer*>(Forms::templateSlot().get()->findChild<FlashPlayer*>(player))->view()->page();
  }
  QStringList templateRequests() const { return server_.requested.filter("/templates/"); }
  QVariant script(const QString& player, const QString& code) const { return runScript(page(player), code); }

private Q_SLOTS:
  void initTestCase() {
    Form::setQuitWhenLastUnloaded(false);
    QVERIFY(dir_.isValid());
    for (const char* movie : {"Downloader.ctr", "NewDesign.ctr"})
      QVERIFY(QFile::copy(QString(QUORVEL_PROGRAM_DIR) + "/" + movie, at(movie)));
    QRandomGenerator rng(11);
    package_.resize(1500 * 1000 + 1);  // many chunks, the last one short
    for (char& c : package_) c = char(rng.bounded(256));
    picture_ = QByteArray("\xFF\xD8\xFF\xE0 not much of a picture \xFF\xD9", 27);
    const QString base = QString("/templates/") + kNo + "/";
    server_.setFile(base + "files.txt", QByteArray("book\n") + kNo + ".DPT\n" + kNo + "_1.jpg\nempty.txt\n", "text/plain");
    server_.setFile(base + kNo + ".DPT", package_);
    server_.setFile(base + kNo + "_1.jpg", picture_, "image/jpeg");
    server_.setFile(base + "empty.txt", QByteArray());
    QVERIFY(server_.start());

    fp_ = std::make_unique<FakePlatform>();
    useRealMovies(*fp_);
    Paths::setProgramFolder(dir_.path());
    InitGlobals();
    g.siteURL = server_.root();
  }

  void cleanupTestCase() {
    Forms::templateSlot().reset();
    Forms::welcomeSlot().reset();
    Forms::icoSlot().reset();
    fp_.reset();
  }

  void downloadStoresEveryFile() {
    g.templateNO = kNo;
    Forms::showTemplateBrowser();
    Forms::startTemplateDownload();
    Template& t = *Forms::templateSlot().get();
    QTRY_VERIFY_WITH_TIMEOUT(!t.newDesign->isHidden(), 60000);
    QCOMPARE(readAll(at(QString("Template/") + kNo + ".DPT")).size(), package_.size());
    QVERIFY(readAll(at(QString("Template/") + kNo + ".DPT")) == package_);
    QCOMPARE(readAll(at(QString("Template/Pages/") + kNo + "_1.jpg")), picture_);
    QCOMPARE(readAll(at("Template/Pages/empty.txt")), QByteArray());
    QCOMPARE(readAll(at("DownList.Lst")), QString(kNo).toLower().toLatin1() + "/book\r\n");
    QCOMPARE(templateRequests().size(), 4);
    // Done: a strip that leaves the page free and offers no cancel button any more.
    QVERIFY(!t.download->geometry().intersects(t.Picture1->geometry()));
    QTRY_COMPARE_WITH_TIMEOUT(script("download", "getComputedStyle(document.getElementById('cancel')).display"),
                              QVariant("none"), 10000);
    QCOMPARE(script("download", "document.getElementById('title').textContent"), QVariant(QString::fromUtf8("模板下载完成")));
  }

  void storedFilesAreSkipped() {
    Template& t = *Forms::templateSlot().get();
    server_.requested.clear();
    t.flashCmd("showTemplate", "");
    QVERIFY(t.newDesign->isHidden());
    t.startDownload();
    QTRY_VERIFY_WITH_TIMEOUT(!t.newDesign->isHidden(), 60000);
    QCOMPARE(templateRequests(), QStringList{QString("/templates/") + kNo + "/files.txt"});
    QCOMPARE(readAll(at("DownList.Lst")).count("/book\r\n"), 2);
  }

  void newDesignMovieCreatesDesign() {
    Template& t = *Forms::templateSlot().get();
    page("newDesign")->runJavaScript(
        "document.getElementById('name').value = ' Summer '; document.getElementById('ok').click();");
    QTRY_COMPARE_WITH_TIMEOUT(t.exitMode, QString("1"), 30000);
    QVERIFY(readAll(at("MyDesign/Summer/Summer.DPT")) == package_);
    QCOMPARE(readAll(at("Design.Lst")), QByteArray("Summer/") + kNo + "\r\n");
  }

  void cancelButtonGoesBack() {
    Forms::templateSlot().reset();
    Forms::showTemplateBrowser();
    Template& t = *Forms::templateSlot().get();
    server_.requested.clear();
    t.startDownload();
    QTRY_VERIFY_WITH_TIMEOUT(!templateRequests().isEmpty(), 30000);  // the movie is running
    page("download")->runJavaScript("document.getElementById('cancel').click();");
    QTRY_COMPARE_WITH_TIMEOUT(t.exitMode, QString("1"), 30000);
    QVERIFY(t.isHidden());
    QVERIFY(Forms::welcome().isVisible());
    QTRY_VERIFY_WITH_TIMEOUT(!Forms::templateSlot().isLoaded(), 10000);
  }
};

int main(int argc, char** argv) {
  QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
  QApplication app(argc, argv);
  TemplateMoviesTest t;
  return QTest::qExec(&t, argc, argv);
}
#include "tst_TemplateMovies.moc"
