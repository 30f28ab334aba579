// The workspace with the real editor movie, driven as a person drives it: a frame filled and
// uploaded without saving first is in the design package afterwards, so reopening the design
// shows it.
#include "DesignPackage.h"
#include "FakePlatform.h"
#include "FileFixture.h"
#include "Form.h"
#include "Forms.h"
#include "HttpRecorder.h"
#include "ICO.h"
#include "ImageFixture.h"
#include "MovieFixture.h"
#include "MoviePlayer.h"
#include "Paths.h"
#include "WelCome.h"
#include "ZipReader.h"
#include "buy.h"
#include "frmMain.h"
#include "mainModule.h"

#include <QApplication>
#include <QDomDocument>
#include <QTemporaryDir>
#include <QTest>
#include <QWebEnginePage>
#include <QWebEngineView>

namespace {
const QString kDesign = QStringLiteral(
    "<design><attributes><name>T1</name><dpi>300</dpi></attributes>"
    "<page><template><title>P1</title>"
    "<image><fro></fro><x>0</x><y>0</y><w>144</w><h>108</h><src></src></image>"
    "</template></page></design>");

// The design XML in a design package, as the editor reads it back.
QString packagedDesign(const QString& package) {
  const QByteArray bytes = readZipMember(package, "index.DPT");
  if (!bytes.startsWith("\xFF\xFE")) return QString();
  return QString::fromUtf16(reinterpret_cast<const char16_t*>(bytes.constData() + 2), (bytes.size() - 2) / 2);
}
}  // namespace

class EditorMovieTest : public QObject {
  Q_OBJECT

  QTemporaryDir dir_;
  std::unique_ptr<FakePlatform> fp_;
  HttpRecorder server_;

  QVariant script(const QString& code) const {
    return runScript(static_cast<MoviePlayer*>(Forms::workspace().WorkArea)->view()->page(), code);
  }

private Q_SLOTS:
  void initTestCase() {
    Form::setQuitWhenLastUnloaded(false);
    QVERIFY(dir_.isValid());
    for (const char* movie : {"waiting.ctr", "Progress.ctr"})
      QVERIFY(QFile::copy(QString(QUORVEL_PROGRAM_DIR) + "/" + movie, dir_.filePath(movie)));
    fp_ = std::make_unique<FakePlatform>();
    useRealMovies(*fp_);
    Paths::setProgramFolder(dir_.path());
    setCommand(QString());
    InitGlobals();
    QVERIFY(server_.port());
    g.serverURL = server_.url();
    g.isLogin = true;
    g.designName = "D";
    g.designPath = g.myDesignPath + "/D";
    QVERIFY(QDir().mkpath(g.designPath + "/Images"));
    QVERIFY(writeJpeg(g.designPath + "/Images/a.jpg", 400, 300));
    // The design's first package, as a new design has it.
    writeIndex(g.designPath, kDesign);
    DesignPackage::buildDfile();
    QVERIFY(packagedDesign(g.designPath + "/D.DPT").contains("<src></src>"));
  }

  void cleanupTestCase() {
    Forms::buySlot().reset();
    Forms::workspaceSlot().reset();
    Forms::welcomeSlot().reset();
    Forms::icoSlot().reset();
    fp_.reset();
  }

  void uploadWithoutSavingKeepsTheEdit() {
    server_.replyBody = "<reply flag=\"ok\" did=\"D1\"/>";
    Forms::showWorkspace();
    QTRY_COMPARE_WITH_TIMEOUT(script("!!document.getElementById('upload') && !document.getElementById('upload').disabled &&"
                                     " document.querySelectorAll('.pic').length +"
                                     " document.querySelectorAll('.frame.user').length"),
                              QVariant(2), 30000);
    // Pick the picture, put it into the frame, and upload at once.
    script("document.querySelector('.pic').click(); document.querySelector('.frame.user').click();");
    QTRY_COMPARE_WITH_TIMEOUT(g.designState, QString("editing"), 10000);
    script("document.getElementById('upload').click();");
    QTRY_VERIFY_WITH_TIMEOUT(Forms::buySlot().isLoaded(), 30000);

    QDomDocument saved;
    QVERIFY(saved.setContent(packagedDesign(g.designPath + "/D.DPT")));
    const QDomElement frame = saved.documentElement().firstChildElement("page").firstChildElement("template")
                                  .firstChildElement("image");
    QCOMPARE(frame.firstChildElement("src").text(), QString("MyDesign\\D\\Images\\a.jpg"));
    QCOMPARE(frame.firstChildElement("fro").text(), QString("l"));
    QCOMPARE(g.designState, QString());
    for (const MessageRecord& m : fp_->msgBox.shown) QVERIFY2(false, qPrintable(m.title + ": " + m.text));
    QCOMPARE(fp_->clipboard.log.last(), QString("set:upload@@;D;D1"));
  }
};

int main(int argc, char** argv) {
  QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
  QApplication app(argc, argv);
  EditorMovieTest t;
  return QTest::qExec(&t, argc, argv);
}
#include "tst_EditorMovie.moc"
