#include "ProcessList.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QtTest>

#include <csignal>
#include <sys/wait.h>
#include <unistd.h>

namespace {
// The state letter of /proc/<pid>/stat, or 0 when the process is gone.
char stateOf(pid_t pid) {
  QFile f(QString("/proc/%1/stat").arg(pid));
  if (!f.open(QIODevice::ReadOnly)) return 0;
  const QByteArray line = f.readAll();
  const qsizetype close = line.lastIndexOf(')');
  return close < 0 || close + 2 >= line.size() ? 0 : line.at(close + 2);
}
}  // namespace

class tst_ProcessList : public QObject {
  Q_OBJECT
private Q_SLOTS:
  void noSuchProcess_data() {
    QTest::addColumn<qint64>("pid");
    QTest::newRow("0") << qint64(0);
    QTest::newRow("negative") << qint64(-1);
    QTest::newRow("past the largest id") << (qint64(1) << 40);
  }
  void noSuchProcess() {
    QFETCH(qint64, pid);
    QCOMPARE(ProcessList::processName(pid), QString());
  }

  void ownProcess() {
    QCOMPARE(ProcessList::processName(QCoreApplication::applicationPid()),
             QFileInfo(QCoreApplication::applicationFilePath()).fileName());
  }

  // A running program is found by its executable's name; once it has ended it is gone, also
  // while nobody has reaped it yet.
  void runningThenZombieThenGone() {
    const pid_t child = fork();
    QVERIFY(child >= 0);
    if (child == 0) {
      execl("/bin/sleep", "sleep", "30", static_cast<char*>(nullptr));
      _exit(127);
    }
    auto reap = qScopeGuard([&] {
      ::kill(child, SIGKILL);
      ::waitpid(child, nullptr, 0);
    });
    QTRY_COMPARE(ProcessList::processName(child), QString("sleep"));
    QCOMPARE(::kill(child, SIGTERM), 0);
    QTRY_COMPARE(stateOf(child), 'Z');
    QCOMPARE(ProcessList::processName(child), QString());
    QCOMPARE(::waitpid(child, nullptr, 0), child);
    QCOMPARE(ProcessList::processName(child), QString());
  }
};

QTEST_GUILESS_MAIN(tst_ProcessList)
#include "tst_ProcessList.moc"
