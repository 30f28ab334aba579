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
            _signal_group(self.process.pid, signal.SIGTERM)
            try:
                self.process.wait(grace)
            except subprocess.TimeoutExpired:
                _signal_group(self.process.pid, signal.SIGKILL)
                self.process.wait(grace)
        # Helpers left in the group after the program itself ended.
        _signal_group(self.process.pid, signal.SIGKILL)

    def log_text(self, which="err"):
        path = self.err_path if which == "err" else self.out_path
        with open(path, encoding="utf-8", errors="replace") as f:
            return f.read()


def _signal_group(pgid, sig):
    try:
        os.killpg(pgid, sig)
    except (ProcessLookupError, PermissionError):
        pass


def pids_running_from(folder):
    """Ids of the processes whose executable lies in `folder`: the programs of one scratch
    program folder, however they were started (the client starts the uploader and the updater
    detached, and the updater starts the client again)."""
    folder = os.path.realpath(folder) + os.sep
    found = []
    for entry in os.listdir("/proc"):
        if not entry.isdigit():
            continue
        try:
            exe = os.readlink("/proc/%s/exe" % entry)
        except OSError:
            continue
        if exe.startswith(folder):
            found.append(int(entry))
    return found


def stop_programs_from(folder, grace=5):
    """Ends every process started from `folder`: asked first, killed after `grace` seconds."""
    pids = pids_running_from(folder)
    for pid in pids:
        _signal(pid, signal.SIGTERM)
    deadline = time.monotonic() + grace
    while pids and time.monotonic() < deadline:
        time.sleep(0.1)
        pids = [p for p in pids if _alive(p)]
    for pid in pids:
        _signal(pid, signal.SIGKILL)


def _signal(pid, sig):
    try:
        os.kill(pid, sig)
    except (ProcessLookupError, PermissionError):
        pass


def _alive(pid):
    try:
        with open("/proc/%d/stat" % pid) as f:
            return f.read().split(") ", 1)[1][:1] != "Z"
    except (OSError, IndexError):
        return False


def become_subreaper():
    """Processes the programs leave behind (the web engine's helpers, the programs they start
    detached) become children of this process instead of init's, so they are stopped and
    reaped here."""
    PR_SET_CHILD_SUBREAPER = 36
    ctypes.CDLL(None, use_errno=True).prctl(PR_SET_CHILD_SUBREAPER, 1, 0, 0, 0)


def stop_children(grace=5):
    """Ends and reaps every child still left to this process."""
    me = str(os.getpid())
    children = []
    for entry in os.listdir("/proc"):
        if not entry.isdigit():
            continue
        try:
            with open("/proc/%s/stat" % entry) as f:
                if f.read().rsplit(") ", 1)[1].split()[1] == me:
                    children.append(int(entry))
        except (OSError, IndexError):
            continue
    for pid in children:
        _signal(pid, signal.SIGTERM)
    deadline = time.monotonic() + grace
    while any(_alive(p) for p in children) and time.monotonic() < deadline:
        time.sleep(0.1)
    for pid in children:
        _signal(pid, signal.SIGKILL)
    deadline = time.monotonic() + grace
    while time.monotonic() < deadline:
        try:
            pid, _ = os.waitpid(-1, os.WNOHANG)
        except ChildProcessError:
            break
        if pid == 0:
            time.sleep(0.05)
