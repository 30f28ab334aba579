// The movie player on a real page under offscreen WebEngine.
#include "MovieFixture.h"
#include "MoviePlayer.h"

#include <QSignalSpy>
#include <QtTest>

namespace {
const char* kEchoMovie = R"(<!DOCTYPE html><html><body><script>
  player.addCallback("echo", function (a, b) { player.call("got", a, b === undefined ? "none" : b); });
  player.call("hello", "a&b<c>", player.flashVars);
</script></body></html>)";

QString invoke(const QString& name, const QStringList& args) {
  QString t = "<invoke name=\"" + name + "\"  returntype=\"xml\"><arguments>";
  for (const QString& a : args) t += "<string>" + a + "</string>";
  return t + "</arguments></invoke>";
}
}  // namespace

class TestMoviePlayer : public QObject {
  Q_OBJECT
private Q_SLOTS:
  // A call made before the page has loaded is held and delivered once it has; the file may go
  // right after it is set; requests reach the program as the exact invoke text.
  void heldCallsAndRequests() {
    QTemporaryDir dir;
    const QString path = writeMovie(dir, "echo.ctr", kEchoMovie);
    MoviePlayer player;
    player.resize(300, 200);
    player.show();
    QSignalSpy requests(&player, &FlashPlayer::flashCall);
    player.setFlashVars("title=上传&n=1");
    QVERIFY(player.setMovie(path));
    QVERIFY(QFile::remove(path));
    QVERIFY(player.callFunction(invoke("echo", {"first", "second"})));
    QVERIFY(player.callFunction(invoke("echo", {"<lst><t>1</t></lst>"})));
    QTRY_VERIFY_WITH_TIMEOUT(requests.count() >= 3, 20000);
    QCOMPARE(requests.at(0).at(0).toString(),
             QString(R"(<invoke name="hello" returntype="xml"><arguments><string>a&amp;b&lt;c&gt;</string>)"
                     R"(<string>title=上传&amp;n=1</string></arguments></invoke>)"));
    QCOMPARE(requests.at(1).at(0).toString(),
             QString(R"(<invoke name="got" returntype="xml"><arguments><string>first</string><string>second</string></arguments></invoke>)"));
    // An argument holding elements arrives as its inner markup.
    QCOMPARE(requests.at(2).at(0).toString(),
             QString(R"(<invoke name="got" returntype="xml"><arguments><string>&lt;lst&gt;&lt;t&gt;1&lt;/t&gt;&lt;/lst&gt;</string>)"
                     R"(<string>none</string></arguments></invoke>)"));
    QVERIFY(player.isReady());
  }

  void failingCalls() {
    QTemporaryDir dir;
    MoviePlayer player;
    player.show();
    QSignalSpy loaded(&player, &FlashPlayer::movieLoaded);
    QSignalSpy failed(&player, &FlashPlayer::callFailed);
    QVERIFY(player.setMovie(writeMovie(dir, "echo.ctr", kEchoMovie)));
    // Held until load, then failing there: the movie never offered it.
    QVERIFY(player.callFunction(invoke("neverOffered", {"x"})));
    QTRY_VERIFY_WITH_TIMEOUT(loaded.count() == 1, 20000);
    QTRY_COMPARE_WITH_TIMEOUT(failed.count(), 1, 5000);
    // Once loaded, a failing call fails at once.
    QVERIFY(!player.callFunction(invoke("neverOffered", {"x"})));
    QVERIFY(!player.callFunction("<invoke name=\"echo\"><arguments><string>x</arguments>"));
    // Too deep or too long to parse: failing like any text that does not parse.
    QVERIFY(player.callFunction(invoke("echo", {QString("<a>").repeated(61) + QString("</a>").repeated(61)})));
    QVERIFY(!player.callFunction(invoke("echo", {QString("<a>").repeated(62) + QString("</a>").repeated(62)})));
    QVERIFY(!player.callFunction(invoke("echo", {QString(FlashPlayer::maxInvokeChars, 'x')})));
    QVERIFY(player.callFunction(invoke("echo", {"x"})));
    player.stop();
    QVERIFY(!player.callFunction(invoke("echo", {"x"})));
  }

  void missingMovieFile() {
    MoviePlayer player;
    QVERIFY(!player.setMovie("/nonexistent/movie.ctr"));
    QCOMPARE(player.movie(), QString());
  }

  void findPlayerWindows() {
    QWidget form;
    new QWidget(&form);
    auto* a = new MoviePlayer(&form);
    new QWidget(&form);
    auto* b = new MoviePlayer(&form);
    QCOMPARE(FindPlayerWindow(&form, nullptr), a);
    QCOMPARE(FindPlayerWindow(&form, a), b);
    QCOMPARE(FindPlayerWindow(&form, b), nullptr);
  }
};

QTEST_MAIN(TestMoviePlayer)
#include "tst_MoviePlayer.moc"
