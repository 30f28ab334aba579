#pragma once
// Whole processes for the benchmarks: each side runs as a process of its own and is measured
// the same way, its wall time, its CPU time (user and system, its children's included) and its
// peak resident memory (for a tree of processes, the largest one's).
#include <QByteArray>
#include <QFile>
#include <QString>
#include <QStringList>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <functional>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

struct ProcessRun {
  double wall = 0;     // seconds
  double cpu = 0;      // seconds
  double peakMb = 0;   // MiB
  bool ok = false;     // exit status 0
};

// Runs argv (looked up on PATH) in folder and waits.
inline ProcessRun runProcess(const QStringList& argv, const QString& folder = QString()) {
  std::vector<QByteArray> bytes;
  for (const QString& a : argv) bytes.push_back(a.toLocal8Bit());
  std::vector<char*> args;
  for (QByteArray& b : bytes) args.push_back(b.data());
  args.push_back(nullptr);
  const QByteArray dir = folder.toLocal8Bit();
  timespec start{}, end{};
  clock_gettime(CLOCK_MONOTONIC, &start);
  const pid_t pid = fork();
  if (pid == 0) {
    if (!dir.isEmpty() && chdir(dir.constData()) != 0) _exit(127);
    execvp(args[0], args.data());
    _exit(127);
  }
  int status = 0;
  rusage use{};
  if (pid < 0 || wait4(pid, &status, 0, &use) != pid) return {};
  clock_gettime(CLOCK_MONOTONIC, &end);
  ProcessRun r;
  r.wall = double(end.tv_sec - start.tv_sec) + double(end.tv_nsec - start.tv_nsec) / 1e9;
  r.cpu = double(use.ru_utime.tv_sec + use.ru_stime.tv_sec) + double(use.ru_utime.tv_usec + use.ru_stime.tv_usec) / 1e6;
  r.peakMb = double(use.ru_maxrss) / 1024;
  r.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
  return r;
}

// Writes lines to path, one a line, for `xargs -a`.
inline bool writeLines(const QString& path, const QStringList& lines) {
  QFile f(path);
  return f.open(QIODevice::WriteOnly) && f.write((lines.join('\n') + '\n').toLocal8Bit()) > 0;
}

inline double median(std::vector<double> v) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

// The rounds of one side, and their medians.
struct Side {
  std::vector<double> wall, cpu, peak;
  bool ok = true;
  void add(const ProcessRun& r) {
    wall.push_back(r.wall);
    cpu.push_back(r.cpu);
    peak.push_back(r.peakMb);
    ok = ok && r.ok;
  }
  double medianWall() const { return median(wall); }
  double medianCpu() const { return median(cpu); }
  double medianPeak() const { return median(peak); }
};

// The program itself, for the side that runs our code as a process of its own.
inline QString selfPath() {
  char buf[4096];
  const ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
  return n > 0 ? QString::fromLocal8Bit(buf, int(n)) : QString();
}

// One round of two sides, in that round's order: ours first in even rounds (counting from 0),
// so that neither side always runs on a machine the other just warmed.
inline void inTurn(int round, const std::function<void()>& ours, const std::function<void()>& theirs) {
  if (round % 2 == 0) {
    ours();
    theirs();
  } else {
    theirs();
    ours();
  }
}

// rounds rounds of the two sides, each in its round's order.
inline void interleave(int rounds, const std::function<void()>& ours, const std::function<void()>& theirs) {
  for (int round = 0; round < rounds; ++round) inTurn(round, ours, theirs);
}
