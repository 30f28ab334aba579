// Work on the pool handed back in order, with the event loop running while it waits.
#include "OrderedWork.h"

#include <QSemaphore>
#include <QThread>
#include <QThreadPool>
#include <QTimer>
#include <QtTest>

#include <atomic>
#include <thread>

class TestOrderedWork : public QObject {
  Q_OBJECT
private Q_SLOTS:
  // Jobs that finish in the reverse order are handed back in the queued order, steps between
  // them in their places, all on the queuing thread.
  void handsBackInOrder() {
    QStringList seen;
    bool onThisThread = true;
    {
      OrderedWork work;
      for (int i = 0; i < 6; ++i) {
        work.run<int>([i] {
          QThread::msleep(5 * (6 - i));
          return i * i;
        },
                      [&, i](const int& square) {
                        onThisThread = onThisThread && QThread::currentThread() == qApp->thread();
                        seen << QString("%1:%2").arg(i).arg(square);
                      });
        if (i % 2) work.then([&, i] { seen << QString("after %1").arg(i); });
      }
      work.finish();
      QCOMPARE(work.pending(), 0);
    }
    QCOMPARE(seen, QStringList({"0:0", "1:1", "after 1", "2:4", "3:9", "after 3", "4:16", "5:25", "after 5"}));
    QVERIFY(onThisThread);
  }

  // No more than `ahead` jobs are outstanding, and they do run side by side.
  void boundedAndSideBySide() {
    if (QThreadPool::globalInstance()->maxThreadCount() < 2) QSKIP("one thread only");
    std::atomic<int> live{0}, most{0};
    QSemaphore secondStarted;
    bool overlapped = false;
    OrderedWork work(3);
    for (int i = 0; i < 12; ++i) {
      work.run<bool>([&, i] {
        most = std::max(most.load(), ++live);
        bool ok = true;
        if (i == 0) ok = secondStarted.tryAcquire(1, 5000);  // waits for job 1 to be running
        if (i == 1) secondStarted.release();
        QThread::msleep(2);
        --live;
        return ok;
      },
                     [&, i](const bool& ok) {
                       if (i == 0) overlapped = ok;
                     });
      QVERIFY(work.pending() <= 3);
    }
    work.finish();
    QVERIFY(overlapped);
    QVERIFY(most <= 3);
  }

  // Waiting lets the event loop run: here a job can only end once a timer has fired.
  void waitsWithTheEventLoopRunning() {
    QSemaphore timerFired;
    QTimer::singleShot(0, [&] { timerFired.release(); });
    bool ended = false;
    OrderedWork work;
    work.run<bool>([&] { return timerFired.tryAcquire(1, 5000); }, [&](const bool& ok) { ended = ok; });
    work.finish();
    QVERIFY(ended);
  }

  // Once its stop condition holds (here from the first step handed back): nothing more is handed
  // back, jobs not given to the pool never run, and later calls queue nothing and return at once.
  void stopsWhenAsked() {
    std::atomic<int> ran{0};
    int handedBack = 0;
    bool stop = false, laterStep = false;
    {
      OrderedWork work(2);
      work.stopWhen([&] { return stop; });
      for (int i = 0; i < 6; ++i)
        work.run<int>([&] {
          ++ran;
          QThread::msleep(20);
          return 0;
        },
                      [&](const int&) {
                        ++handedBack;
                        stop = true;
                      });
      work.then([&] { laterStep = true; });
      work.finish();
      QVERIFY(work.stopped());
      QCOMPARE(work.pending(), 0);
    }
    QCOMPARE(handedBack, 1);
    QVERIFY(!laterStep);
    QVERIFY(ran <= 2);
  }

  // Gone before its jobs are done: it waits for the running one, drops the rest, and hands back
  // nothing.
  void destroyedWithJobsOutstanding() {
    QSemaphore release;
    std::atomic<bool> firstEnded{false};
    std::atomic<int> started{0};
    int handedBack = 0;
    std::thread later;
    {
      OrderedWork work(4);
      work.run<int>([&] {
        ++started;
        release.tryAcquire(1, 5000);
        firstEnded = true;
        return 1;
      },
                    [&](const int&) { ++handedBack; });
      QTRY_COMPARE(started.load(), 1);
      for (int i = 0; i < 3; ++i) work.then([&] { ++handedBack; });
      later = std::thread([&] {
        QThread::msleep(50);
        release.release();
      });
    }
    QVERIFY(firstEnded);
    QCOMPARE(handedBack, 0);
    later.join();
  }
};

QTEST_MAIN(TestOrderedWork)
#include "tst_OrderedWork.moc"
