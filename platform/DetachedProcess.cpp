#include "DetachedProcess.h"

#include <QFile>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#if __has_include(<linux/close_range.h>)
#include <linux/close_range.h>
#endif
#ifndef CLOSE_RANGE_CLOEXEC
#define CLOSE_RANGE_CLOEXEC (1U << 2)
#endif

extern char** environ;

namespace {
// What the two forked processes tell the starter through the status pipe.
struct Report {
  enum Kind : int { Started, Failed } kind;
  long long value;  // the program's process id, or the errno of what failed
};

void report(int fd, Report::Kind kind, long long value) {
  const Report r{kind, value};
  // One write of a few bytes to a pipe is atomic; nothing more can be done if it fails.
  while (::write(fd, &r, sizeof r) < 0 && errno == EINTR) {
  }
}

// Every descriptor above standard error is closed by the exec. Only calls that are safe
// between fork and exec in a process with threads.
void closeOnExecAboveStandard() {
  if (::syscall(SYS_close_range, 3U, ~0U, CLOSE_RANGE_CLOEXEC) == 0) return;
  rlimit limit{};
  const long long top = ::getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY
                            ? (long long)limit.rlim_cur
                            : 65536;
  for (long long fd = 3; fd < top && fd < (1 << 20); ++fd) ::fcntl(int(fd), F_SETFD, FD_CLOEXEC);
}

[[noreturn]] void runProgram(const char* path, char* const* argv, const char* dir, int status) {
  if (dir && *dir && ::chdir(dir) != 0) {
    report(status, Report::Failed, errno);
    ::_exit(127);
  }
  closeOnExecAboveStandard();
  // A fresh program starts with the signals as the system gives them, not as the starter had them.
  struct sigaction dfl {};
  dfl.sa_handler = SIG_DFL;
  ::sigemptyset(&dfl.sa_mask);
  ::sigaction(SIGPIPE, &dfl, nullptr);
  sigset_t none;
  ::sigemptyset(&none);
  ::sigprocmask(SIG_SETMASK, &none, nullptr);
  ::execve(path, argv, environ);
  report(status, Report::Failed, errno);
  ::_exit(127);
}
}  // namespace

namespace DetachedProcess {
qint64 start(const QString& program, const QStringList& args, const QString& workingDirectory) {
  // Everything the forked processes use is made here: after fork only async-signal-safe calls.
  const QByteArray path = QFile::encodeName(program);
  const QByteArray dir = QFile::encodeName(workingDirectory);
  std::vector<QByteArray> words{path};
  for (const QString& a : args) words.push_back(a.toLocal8Bit());
  std::vector<char*> argv;
  for (QByteArray& w : words) argv.push_back(w.data());
  argv.push_back(nullptr);

  int pipeFds[2];
  if (::pipe2(pipeFds, O_CLOEXEC) != 0) return 0;
  const pid_t child = ::fork();
  if (child < 0) {
    ::close(pipeFds[0]);
    ::close(pipeFds[1]);
    return 0;
  }
  if (child == 0) {
    ::close(pipeFds[0]);
    ::setsid();  // away from the starter's terminal and process group
    const pid_t grandchild = ::fork();
    if (grandchild == 0) runProgram(path.constData(), argv.data(), dir.constData(), pipeFds[1]);
    if (grandchild < 0) report(pipeFds[1], Report::Failed, errno);
    else report(pipeFds[1], Report::Started, grandchild);
    // The program is handed to the system's reaper when this process ends.
    ::_exit(0);
  }
  ::close(pipeFds[1]);
  while (::waitpid(child, nullptr, 0) < 0 && errno == EINTR) {
  }
  // Until both forked processes have closed their end: the first, by its end; the program, by
  // its exec, or after reporting why the exec failed.
  qint64 pid = 0;
  bool failed = false;
  Report r{};
  for (;;) {
    const ssize_t n = ::read(pipeFds[0], &r, sizeof r);
    if (n < 0 && errno == EINTR) continue;
    if (n != sizeof r) break;
    if (r.kind == Report::Started) pid = qint64(r.value);
    else failed = true;
  }
  ::close(pipeFds[0]);
  return failed ? 0 : pid;
}
}  // namespace DetachedProcess
