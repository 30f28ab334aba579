// The right-click filter on a real movie player: the right press is swallowed, all else passes,
// and a right click through the window shows the person no context menu.
#include "MovieFixture.h"
#include "MoviePlayer.h"
#include "rightClick.h"

#include <QMenu>
#include <QSignalSpy>
#include <QWebEnginePage>
#include <QWebEngineView>
#include <QtTest>

namespace {
// Records the events that reach the player's input widget past the filters installed after it.
class Probe : public QObject {
public:
  QList<QEvent::Type> seen;
  bool eventFilter(QObject*, QEvent* e) override {
    switch (e->type()) {
      case QEvent::MouseButtonPress:
      case QEvent::MouseButtonRelease:
      case QEvent::Wheel:
        seen << e->type();
        break;
      default:
        break;
    }
    return false;
  }
};

QWidget* inputWidget(MoviePlayer* p) {
  QWidget* w = p->view()->focusProxy();
  return w ? w : p->view();
}

// The context menu a person would see, if one is open.
QMenu* openMenu() {
  for (QWidget* w : QApplication::topLevelWidgets())
    if (auto* m = qobject_cast<QMenu*>(w); m && m->isVisible()) return m;
  return nullptr;
}

QStringList actionTexts(const QMenu* m) {
  QStringList texts;
  for (const QAction* a : m->actions())
    if (!a->isSeparator()) texts << a->text();
  return texts;
}

// A movie that counts the presses of each mouse button it is given.
const char* kCountingMovie =
    "<html><body style='margin:0;height:100%'>movie<script>"
    "window.presses = [0, 0, 0];"
    "document.addEventListener('mousedown', function (e) { window.presses[e.button]++; });"
    "</script></body></html>";
}  // namespace

class TestRightClick : public QObject {
  Q_OBJECT
  void sendAll(QWidget* target) {
    const QPointF pos(10, 10);
    QMouseEvent rightPress(QEvent::MouseButtonPress, pos, target->mapToGlobal(pos), Qt::RightButton, Qt::RightButton, {});
    QMouseEvent rightRelease(QEvent::MouseButtonRelease, pos, target->mapToGlobal(pos), Qt::RightButton, {}, {});
    QMouseEvent leftPress(QEvent::MouseButtonPress, pos, target->mapToGlobal(pos), Qt::LeftButton, Qt::LeftButton, {});
    QMouseEvent leftRelease(QEvent::MouseButtonRelease, pos, target->mapToGlobal(pos), Qt::LeftButton, {}, {});
    QWheelEvent wheel(pos, target->mapToGlobal(pos), {}, QPoint(0, 120), {}, {}, Qt::NoScrollPhase, false);
    for (QEvent* e : std::initializer_list<QEvent*>{&rightPress, &rightRelease, &leftPress, &leftRelease, &wheel})
      QApplication::sendEvent(target, e);
  }

  // How many presses of the button the movie has seen.
  static int pressesSeen(MoviePlayer* player, int button) {
    const QVariant seen = runScript(player->view()->page(), QString("window.presses ? window.presses[%1] : -1").arg(button));
    return seen.userType() == QMetaType::QString ? -1 : seen.toInt();  // a string: no answer
  }

private Q_SLOTS:
  void swallowsOnlyTheRightPress() {
    QTemporaryDir dir;
    QWidget form;
    form.resize(300, 200);
    auto* player = new MoviePlayer(&form);
    player->resize(300, 200);
    form.show();
    QSignalSpy loaded(player, &FlashPlayer::movieLoaded);
    player->setMovie(writeMovie(dir, "m.ctr", "<html><body>movie</body></html>"));
    QTRY_VERIFY_WITH_TIMEOUT(loaded.count() == 1, 20000);
    QWidget* target = inputWidget(player);

    Probe probe;
    target->installEventFilter(&probe);
    // Two searches on a window with one player: the second finds nothing, the third starts over.
    QCOMPARE(rightClick::installFilter(1, &form, nullptr), player);
    QCOMPARE(rightClick::installFilter(2, &form, player), nullptr);
    QCOMPARE(rightClick::installFilter(3, &form, nullptr), player);
    QCOMPARE(rightClick::prevProc[1].data(), player);
    QCOMPARE(rightClick::prevProc[3].data(), player);

    sendAll(target);
    QCOMPARE(probe.seen, (QList<QEvent::Type>{QEvent::MouseButtonRelease, QEvent::MouseButtonPress,
                                              QEvent::MouseButtonRelease, QEvent::Wheel}));
  }

  // A right click through the window system, as a person makes it, on a movie whose host allows
  // the player's menu: without the filter the web engine's menu opens (so the check can see one);
  // with it, the movie never hears of the click and no menu opens, while left clicks still arrive.
  void noMenuForARightClick_data() {
    QTest::addColumn<bool>("filtered");
    QTest::newRow("filter installed") << true;
    QTest::newRow("no filter: the menu the filter keeps away") << false;
  }
  void noMenuForARightClick() {
    QFETCH(bool, filtered);
    QTemporaryDir dir;
    QWidget form;
    form.resize(300, 200);
    auto* player = new MoviePlayer(&form);
    player->setMenu(true);
    player->resize(300, 200);
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    QSignalSpy loaded(player, &FlashPlayer::movieLoaded);
    player->setMovie(writeMovie(dir, "m.ctr", kCountingMovie));
    QTRY_VERIFY_WITH_TIMEOUT(loaded.count() == 1, 20000);
    if (filtered) QCOMPARE(rightClick::installFilter(1, &form, nullptr), player);

    QWindow* window = form.windowHandle();
    const QPoint at(60, 60);
    QTest::mouseClick(window, Qt::RightButton, {}, at);
    if (!filtered) {
      QTRY_VERIFY_WITH_TIMEOUT(openMenu(), 10000);
      const QStringList texts = actionTexts(openMenu());
      QVERIFY2(texts.contains("Reload") && texts.contains("View page source"), qPrintable(texts.join(", ")));
      openMenu()->close();
      return;
    }
    // A left click after it: once the movie has seen that, it has had every event before it.
    QTest::mouseClick(window, Qt::LeftButton, {}, at);
    QTRY_COMPARE_WITH_TIMEOUT(pressesSeen(player, 0), 1, 10000);
    QTest::qWait(200);
    QVERIFY2(!openMenu(), openMenu() ? qPrintable(actionTexts(openMenu()).join(", ")) : "");
    QCOMPARE(pressesSeen(player, 2), 0);
  }
};

QTEST_MAIN(TestRightClick)
#include "tst_rightClick.moc"
