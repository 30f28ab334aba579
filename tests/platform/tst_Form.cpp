// The window base: load once, refusal to unload, modal showing, the program's end with its last
// window; and the case-insensitive path helper.
#include "DoEvents.h"
#include "Form.h"
#include "Paths.h"
#include "VbMath.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

namespace {
class Probe : public Form {
public:
  int loads = 0, unloads = 0, refuse = 0;
  std::function<void()> whileUnloading;  // runs inside the unload step, as a question would
protected:
  void Form_Load() override { ++loads; }
  void Form_Unload(int& cancel) override {
    ++unloads;
    if (whileUnloading) whileUnloading();
    cancel = refuse;
  }
};
}  // namespace

class TestForm : public QObject {
  Q_OBJECT
private Q_SLOTS:
  void loadsOnceAndMayRefuse() {
    Form::setQuitWhenLastUnloaded(false);
    Probe f;
    const int before = Form::loadedCount();
    f.showForm();
    f.showForm();
    QCOMPARE(f.loads, 1);
    QCOMPARE(Form::loadedCount(), before + 1);
    f.hideForm();
    QVERIFY(f.isLoaded());  // hidden windows stay loaded
    f.refuse = 1;
    QVERIFY(!f.unload());
    QVERIFY(f.isLoaded());
    f.refuse = 0;
    QVERIFY(f.unload());
    QVERIFY(!f.isLoaded());
    QCOMPARE(Form::loadedCount(), before);
    // A closed window is unloaded through the same step, and may refuse there too.
    f.showForm();
    f.refuse = 1;
    f.close();
    QVERIFY(f.isLoaded());
    f.refuse = 0;
    f.close();
    QVERIFY(!f.isLoaded());
    QCOMPARE(f.loads, 2);
  }

  void modalReturnsWhenHidden() {
    Form::setQuitWhenLastUnloaded(false);
    Probe f;
    bool wasModal = false;
    QTimer::singleShot(50, &f, [&] { wasModal = f.isShownModal(); f.hideForm(); });
    f.showForm(true);
    QVERIFY(wasModal);
    QVERIFY(!f.isShownModal());
    QVERIFY(f.unload());
  }

  // The program ends only when its last loaded window goes, not when one is merely hidden.
  void lastUnloadEndsTheProgram() {
    Form::setQuitWhenLastUnloaded(true);
    QVERIFY(Form::loadedCount() == 0);
    Probe a, b;
    a.load();
    b.load();
    QTimer::singleShot(0, [&] { a.hideForm(); a.unload(); });
    QTimer::singleShot(20, [&] { b.hideForm(); });
    QTimer::singleShot(60, [&] { b.unload(); });
    QTimer::singleShot(3000, qApp, [] { QCoreApplication::exit(1); });
    // The application's quit ends its loop with 0; had the hidden window ended it, b would
    // still be loaded here.
    const int rc = QCoreApplication::exec();
    Form::setQuitWhenLastUnloaded(false);
    QCOMPARE(rc, 0);
    QVERIFY(!a.isLoaded());
    QVERIFY(!b.isLoaded());
  }

  // A window is deleted only once no handler of its own that lets events run is on the stack:
  // whether it was unloaded inside the handler, or the handler began after the unload (a timer
  // of the unloaded window) with the deletion already posted. The handler learns of an unload
  // inside it, and the slot hands out a fresh window at once.
  void deletedOnlyOnceIdle_data() {
    QTest::addColumn<bool>("unloadInside");
    QTest::newRow("unloaded inside the handler") << true;
    QTest::newRow("handler begun after the unload") << false;
  }
  void deletedOnlyOnceIdle() {
    QFETCH(bool, unloadInside);
    Form::setQuitWhenLastUnloaded(false);
    FormSlot<Probe> slot;
    QPointer<Probe> first(&slot());
    first->showForm();
    if (unloadInside) QTimer::singleShot(0, [&] { QVERIFY(slot.unload()); });
    else QVERIFY(slot.unload());
    bool toldUnloaded = false, goneInside = false, freshMeanwhile = false;
    {
      Form::Busy busy(*first);
      for (int i = 0; i < 20 && !toldUnloaded; ++i) {
        QTest::qWait(1);  // deferred deletions are delivered here too
        goneInside = goneInside || !first;
        toldUnloaded = busy.unloaded();
      }
      freshMeanwhile = first && &slot() != first.data() && !slot().isLoaded();
    }
    QCOMPARE(toldUnloaded, unloadInside);
    QVERIFY(!goneInside);
    QVERIFY(freshMeanwhile);
    QTRY_VERIFY(!first);
    QVERIFY(slot.get() && slot.get()->loads == 0);
    slot.reset();

    // Not unloaded: nothing is deleted when a handler ends.
    QPointer<Probe> kept(&slot());
    kept->load();
    {
      Form::Busy busy(*kept);
      QVERIFY(!busy.unloaded());
    }
    QTest::qWait(1);
    QVERIFY(kept && kept->isLoaded());
    slot.reset();
  }

  // Asked to unload again while its unload step waits (a question on screen): the first unload
  // decides, and the window is counted out once.
  void unloadAskedAgainWhileUnloading() {
    Form::setQuitWhenLastUnloaded(false);
    const int before = Form::loadedCount();
    Probe f;
    f.load();
    bool second = true;
    f.whileUnloading = [&] {
      f.whileUnloading = nullptr;
      second = f.unload();
    };
    QVERIFY(f.unload());
    QVERIFY(!second);
    QCOMPARE(f.unloads, 1);
    QVERIFY(!f.isLoaded());
    QCOMPARE(Form::loadedCount(), before);
  }

  void vbArithmetic_data() {
    QTest::addColumn<double>("x");
    QTest::addColumn<long long>("rounded");
    QTest::newRow("2.5") << 2.5 << 2LL;
    QTest::newRow("3.5") << 3.5 << 4LL;
    QTest::newRow("-2.5") << -2.5 << -2LL;
    QTest::newRow("2.51") << 2.51 << 3LL;
    QTest::newRow("0.5") << 0.5 << 0LL;
  }
  void vbArithmetic() {
    QFETCH(double, x);
    QFETCH(long long, rounded);
    QCOMPARE(VbMath::roundEven(x), rounded);
    QCOMPARE(VbMath::intDiv(-7, 2), -4LL);
    QCOMPARE(VbMath::intDiv(7, 2), 3LL);
    QCOMPARE(VbMath::toInt16(32768), int16_t(-32768));
    QCOMPARE(VbMath::roundTo(0.125, 2), 0.12);
    QCOMPARE(VbMath::roundTo(0.375, 2), 0.38);
    QCOMPARE(VbMath::roundTo(-0.625, 2), -0.62);
  }

  void resolveCase() {
    QTemporaryDir dir;
    QVERIFY(QDir(dir.path()).mkpath("MyDesign/Trip"));
    QFile f(dir.filePath("MyDesign/Trip/Trip.DPT"));
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.close();
    const QString base = dir.path();
    QCOMPARE(Paths::resolveCase(base + "\\mydesign\\TRIP\\trip.dpt"), base + "/MyDesign/Trip/Trip.DPT");
    QCOMPARE(Paths::resolveCase(base + "/MyDesign/none.txt"), base + "/MyDesign/none.txt");
    QVERIFY(Paths::existsAnyCase(base + "/MYDESIGN/trip"));
    QVERIFY(!Paths::existsAnyCase(base + "/MyDesign/Trap"));
    QCOMPARE(Paths::join(base + "/", "x"), base + "/x");
  }
};

QTEST_MAIN(TestForm)
#include "tst_Form.moc"
