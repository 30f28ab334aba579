"""Starting the programs with their output kept in log files, and stopping exactly the processes
a test started (by process id), including the ones the programs start themselves."""

import ctypes
import os
import signal
import subprocess
import time

from .waits import Hopeless, wait_until


class Program:
    """One run of a program: its standard output and error go to <logs>/<label>.out and .err."""

    def __init__(self, argv, env, cwd, logs, label):
        self.argv, self.env, self.cwd, self.label = list(argv), dict(env), cwd, label
        self.out_path = os.path.join(logs, label + ".out")
        self.err_path = os.path.join(logs, label + ".err")
        self.process = None

    def start(self):
        # An earlier run under the same label stays in the logs; this run's part starts here.
        self.starts = {p: os.path.getsize(p) if os.path.exists(p) else 0 for p in (self.out_path, self.err_path)}
        with open(self.out_path, "ab") as out, open(self.err_path, "ab") as err:
            # Its own process group, so stopping it takes its helpers (the web engine's) along.
            self.process = subprocess.Popen(self.argv, env=self.env, cwd=self.cwd, stdin=subprocess.DEVNULL,
                                            stdout=out, stderr=err, start_new_session=True)
        return self

    @property
    def pid(self):
        return self.process.pid if self.process else None

    def running(self):
        return self.process is not None and self.process.poll() is None

    def check_running(self):
        """For the probes of waits on this program: raises Hopeless once it has ended."""
        if not self.running():
            raise Hopeless("%s ended with code %s (see logs/%s.err)"
                           % (self.label, self.process.returncode if self.process else None, self.label))

    def wait_exit(self, timeout, what=None):
        wait_until(lambda: not self.running(), timeout, what or "%s to end" % self.label)
        return self.process.returncode

    def stop(self, grace=5):
        if self.process is None:
            return
        if self.process.poll() is None:
            _send(os.killpg, self.process.pid, signal.SIGTERM)
            try:
                self.process.wait(grace)
            except subprocess.TimeoutExpired:
                _send(os.killpg, self.process.pid, signal.SIGKILL)
                self.process.wait(grace)
        # Helpers left in the group after the program itself ended.
        _send(os.killpg, self.process.pid, signal.SIGKILL)

    def log_text(self, which="err"):
        """What this run wrote to its standard error ("err") or output ("out")."""
        path = self.err_path if which == "err" else self.out_path
        with open(path, "rb") as f:
            f.seek(self.starts[path])
            return f.read().decode("utf-8", "replace")


class Running:
    """A process that a program started (detached, so the test has no Program of it), followed
    by its id: it is a child of the test only once the program that started it has ended."""

    def __init__(self, pid, label):
        self.pid, self.label = pid, label

    def running(self):
        return alive(self.pid)

    def check_running(self):
        if not self.running():
            raise Hopeless("%s (process %d) has ended (see the logs of the program that started it)"
                           % (self.label, self.pid))

    def wait_exit(self, timeout, what=None):
        wait_until(lambda: not self.running(), timeout, what or "%s to end" % self.label)


def outputs(pid, folder):
    """Where a process's standard output and error go, relative to `folder`."""
    found = []
    for fd in (1, 2):
        try:
            found.append(os.path.relpath(os.readlink("/proc/%d/fd/%d" % (pid, fd)), folder))
        except OSError:
            found.append("?")
    return found


def executable_of(pid):
    """The program file a process runs, as the system names it: its path, with " (deleted)"
    behind it once that file has been replaced or removed; None when the process is gone."""
    try:
        return os.readlink("/proc/%d/exe" % pid)
    except OSError:
        return None


def _send(kill, target, sig):
    """os.kill or os.killpg, for a process or group that may be gone already."""
    try:
        kill(target, sig)
    except (ProcessLookupError, PermissionError):
        pass


def _pids():
    return [int(e) for e in os.listdir("/proc") if e.isdigit()]


def _stat(pid):
    """(state, parent id) of a process; None when it is gone."""
    try:
        with open("/proc/%d/stat" % pid) as f:
            fields = f.read().rsplit(") ", 1)[1].split()
        return fields[0], int(fields[1])
    except (OSError, IndexError, ValueError):
        return None


def alive(pid):
    stat = _stat(pid)
    return stat is not None and stat[0] != "Z"


def _end(pids, grace):
    """Asks the processes to end and kills those still running after `grace` seconds."""
    for pid in pids:
        _send(os.kill, pid, signal.SIGTERM)
    deadline = time.monotonic() + grace
    while any(alive(p) for p in pids) and time.monotonic() < deadline:
        time.sleep(0.1)
    for pid in pids:
        if alive(pid):
            _send(os.kill, pid, signal.SIGKILL)


def pids_running_from(folder):
    """Ids of the processes whose executable lies in `folder`: the programs of one scratch
    program folder, however they were started (the client starts the uploader and the updater
    detached, and the updater starts the client again)."""
    folder = os.path.realpath(folder) + os.sep
    return [pid for pid in _pids() if (executable_of(pid) or "").startswith(folder)]


def descendants(pid):
    """Ids of the running processes below `pid` (its children, theirs, ...)."""
    parents = {p: (_stat(p) or ("Z", 0)) for p in _pids()}
    found, frontier = [], {pid}
    while frontier:
        frontier = {p for p, (state, parent) in parents.items() if parent in frontier and state != "Z"}
        found.extend(sorted(frontier))
    return found


def pids_of(executable):
    """Ids of the running processes of one program file (a program that another one started
    detached has no Program of the test's)."""
    executable = os.path.realpath(executable)
    return [pid for pid in _pids() if executable_of(pid) == executable and alive(pid)]


def wait_one(executable, label, timeout):
    """The one process of a program file, once it runs (started detached by another program),
    as a Running named `label`."""
    pids = wait_until(lambda: pids_of(executable), timeout, "%s to run" % label)
    assert len(pids) == 1, "%s runs %d times: %r" % (label, len(pids), pids)
    return Running(pids[0], label)


def kill_now(pids, timeout=10):
    """SIGKILL, as a crash or the system's end of a program would; returns once they are gone
    and reaped (on a desktop the system reaps them at once: a zombie would still count as
    running to a program that looks for its earlier instance)."""
    for pid in pids:
        _send(os.kill, pid, signal.SIGKILL)

    def gone():
        for pid in pids:
            try:
                os.waitpid(pid, os.WNOHANG)
            except ChildProcessError:
                pass
        return not any(_stat(p) for p in pids)
    wait_until(gone, timeout, "killed processes %s to go" % pids)


def stop_programs_from(folder, grace=5):
    """Ends every process started from `folder`."""
    _end(pids_running_from(folder), grace)


def become_subreaper():
    """Processes the programs leave behind (the web engine's helpers, the programs they start
    detached) become children of this process instead of init's, so they are stopped and
    reaped here."""
    PR_SET_CHILD_SUBREAPER = 36
    ctypes.CDLL(None, use_errno=True).prctl(PR_SET_CHILD_SUBREAPER, 1, 0, 0, 0)


def stop_children(grace=5):
    """Ends and reaps every child still left to this process."""
    me = os.getpid()
    _end([p for p in _pids() if (_stat(p) or ("", 0))[1] == me], grace)
    deadline = time.monotonic() + grace
    while time.monotonic() < deadline:
        try:
            pid, _ = os.waitpid(-1, os.WNOHANG)
        except ChildProcessError:
            break
        if pid == 0:
            time.sleep(0.05)
