// Programs started detached: their own session, not children of the starter, only the standard
// descriptors inherited, arguments and working folder as given, failures reported.
#include "DetachedProcess.h"
#include "Platform.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {
QString link(qint64 pid, const char* what) {
  char target[4096];
  const QByteArray path = QString("/proc/%1/%2").arg(pid).arg(what).toLocal8Bit();
  const ssize_t n = ::readlink(path.constData(), target, sizeof target);
  return n > 0 ? QString::fromLocal8Bit(target, n) : QString();
}

QStringList descriptors(qint64 pid) {
  return QDir(QString("/proc/%1/fd").arg(pid)).entryList(QDir::NoDotAndDotDot | QDir::AllEntries, QDir::Name);
}
}  // namespace

class TestDetachedProcess : public QObject {
  Q_OBJECT
private Q_SLOTS:
  void startsApartWithStandardDescriptorsOnly() {
    QTemporaryDir dir;
    QFile script(dir.filePath("wait"));
    QVERIFY(script.open(QIODevice::WriteOnly) && script.write("#!/bin/sh\nexec sleep 30\n") > 0);
    script.close();
    QVERIFY(script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    // Descriptors as the web engine leaves them: open across exec.
    const int leaky = ::open("/dev/null", O_RDONLY);
    int pipeFds[2];
    QVERIFY(leaky >= 0 && ::pipe(pipeFds) == 0);
    const qint64 pid = qtPlatform().process->startDetached(script.fileName(), {});
    QVERIFY(pid > 0);
    QTRY_COMPARE_WITH_TIMEOUT(QFileInfo(link(pid, "exe")).fileName(), QStringLiteral("sleep"), 10000);
    const QStringList fds = descriptors(pid);
    const QString cwd = link(pid, "cwd");
    const QString out = link(pid, "fd/1");
    const pid_t sid = ::getsid(pid_t(pid));
    const pid_t reaped = ::waitpid(pid_t(pid), nullptr, WNOHANG);
    const int waitError = errno;
    ::kill(pid_t(pid), SIGKILL);
    ::close(leaky);
    ::close(pipeFds[0]);
    ::close(pipeFds[1]);

    QCOMPARE(fds, QStringList({"0", "1", "2"}));
    QCOMPARE(out, link(::getpid(), "fd/1"));         // its output goes where the starter's goes
    QCOMPARE(cwd, QFileInfo(dir.path()).canonicalFilePath());  // the program's own folder
    QVERIFY(sid > 0 && sid != ::getsid(0));          // a session of its own
    QVERIFY(reaped == -1 && waitError == ECHILD);    // not a child of the starter
  }

  void argumentsArriveUnchanged() {
    QTemporaryDir dir;
    const QString file = dir.filePath("args");
    const QStringList args = {"-c", "printf '%s|' \"$@\" > \"$0.tmp\" && mv \"$0.tmp\" \"$0\"", file, "a b", "甲;乙", ""};
    QVERIFY(DetachedProcess::start("/bin/sh", args, dir.path()) > 0);
    QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(file), 10000);
    QFile f(file);
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(QString::fromUtf8(f.readAll()), QStringLiteral("a b|甲;乙||"));
  }

  void failuresGiveNoProcess_data() {
    QTest::addColumn<QString>("program");
    QTest::addColumn<QString>("folder");
    QTest::newRow("no such program") << "missing" << "";
    QTest::newRow("not executable") << "plain" << "";
    QTest::newRow("no such folder") << "/bin/true" << "/no/such/folder";
  }
  void failuresGiveNoProcess() {
    QFETCH(QString, program);
    QFETCH(QString, folder);
    QTemporaryDir dir;
    QFile plain(dir.filePath("plain"));
    QVERIFY(plain.open(QIODevice::WriteOnly) && plain.write("#!/bin/sh\n") > 0);
    plain.close();
    const QString path = program.startsWith('/') ? program : dir.filePath(program);
    QCOMPARE(DetachedProcess::start(path, {}, folder.isEmpty() ? dir.path() : folder), qint64(0));
  }
};

QTEST_GUILESS_MAIN(TestDetachedProcess)
#include "tst_DetachedProcess.moc"
