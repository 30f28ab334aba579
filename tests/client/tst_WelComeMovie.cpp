// The welcome window with its real movie: the saved designs a person sees, whatever characters
// their folder names hold, and a list that follows the designs each time the window comes back.
#include "FakePlatform.h"
#include "Form.h"
#include "Forms.h"
#include "ICO.h"
#include "MovieFixture.h"
#include "MoviePlayer.h"
#include "Paths.h"
#include "WelCome.h"
#include "mainModule.h"

#include <QApplication>
#include <QDir>
#include <QTemporaryDir>
#include <QTest>
#include <QWebEnginePage>
#include <QWebEngineView>

class WelComeMovieTest : public QObject {
  Q_OBJECT

  QTemporaryDir dir_;
  std::unique_ptr<FakePlatform> fp_;

  MoviePlayer* movie() const { return static_cast<MoviePlayer*>(Forms::welcome().ad01); }
  // The design names the movie shows, in order; {"(none)"} while it shows its empty notice.
  QStringList shownNames() const {
    return runScript(movie()->view()->page(),
                     "document.getElementById('empty') ? ['(none)'] :"
                     " Array.from(document.querySelectorAll('.design .name')).map(function (n) { return n.textContent; })")
        .toStringList();
  }

private Q_SLOTS:
  void initTestCase() {
    Form::setQuitWhenLastUnloaded(false);
    QVERIFY(dir_.isValid());
    QVERIFY(QFile::copy(QString(QUORVEL_PROGRAM_DIR) + "/WelCome.ctr", dir_.filePath("WelCome.ctr")));
    fp_ = std::make_unique<FakePlatform>();
    useRealMovies(*fp_);
    Paths::setProgramFolder(dir_.path());
    setCommand(QString());
  }

  void cleanupTestCase() {
    Forms::welcomeSlot().reset();
    Forms::icoSlot().reset();
    fp_.reset();
  }

  void namesWithMarkupCharactersAreListed() {
    for (const char* name : {"a&b", "c<d", "e>f \"g\" 'h'", "plain"}) QVERIFY(QDir(dir_.path()).mkpath(QString("MyDesign/") + name));
    Forms::welcome().showForm();
    QTRY_COMPARE_WITH_TIMEOUT(shownNames(), (QStringList{"a&b", "c<d", "e>f \"g\" 'h'", "plain"}), 20000);
  }

  void listFollowsTheDesignsWhenShownAgain() {
    WelCome& w = Forms::welcome();
    w.hideForm();
    QVERIFY(QDir(dir_.path()).mkpath("MyDesign/summer"));
    QVERIFY(QDir(dir_.path() + "/MyDesign/plain").removeRecursively());
    w.showForm();
    QTRY_COMPARE_WITH_TIMEOUT(shownNames(), (QStringList{"a&b", "c<d", "e>f \"g\" 'h'", "summer"}), 20000);
  }
};

int main(int argc, char** argv) {
  QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
  QApplication app(argc, argv);
  WelComeMovieTest t;
  return QTest::qExec(&t, argc, argv);
}
#include "tst_WelComeMovie.moc"
