// The right-click filter on a real movie player: the right press is swallowed, all else passes.
#include "MovieFixture.h"
#include "MoviePlayer.h"
#include "rightClick.h"

#include <QSignalSpy>
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
};

QTEST_MAIN(TestRightClick)
#include "tst_rightClick.moc"
