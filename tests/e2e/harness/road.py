"""One test's world: a folder of its own under the build's artefacts, an X session, the stand-in
shop on the compiled-in ports, scratch copies of the program folder, and the programs started
from them. Screenshots of every step and the logs of every program stay in that folder.

    with Road(config, "design_road") as road:
        client = road.start_client("ZELKA://<NO>/")
        client.wait_template_downloaded()
        ...

Leaving the block stops every program started from the road's program folders, the shop and
the X server, whatever happened; a whole road is stopped after config.road_limit seconds."""

import os
import shutil
import signal
import time
import traceback

from .a11y import SessionBus
from .client import Client
from .processes import Program, become_subreaper, outputs, stop_children, stop_programs_from
from .shop import FtpServer, Shop
from .xsession import XSession


# Environment of the user's desktop that must not reach the programs under test.
NOT_PASSED = ("WAYLAND_DISPLAY", "QT_QPA_PLATFORMTHEME", "QT_STYLE_OVERRIDE", "DBUS_SESSION_BUS_ADDRESS",
              "SESSION_MANAGER", "XDG_SESSION_TYPE", "QTWEBENGINE_REMOTE_DEBUGGING", "QT_QPA_PLATFORM")


class RoadTimeout(AssertionError):
    pass


class Road:
    def __init__(self, config, name, ftp_rate=0, http_rate=0):
        """ftp_rate: bytes a second at which the FTP server receives uploads, http_rate: at which
        the web site sends its responses (0: no limit)."""
        self.config, self.name = config, name
        self.ftp_rate, self.http_rate = ftp_rate, http_rate
        self.dir = os.path.join(config.artefacts, name)
        self.logs = os.path.join(self.dir, "logs")
        self.shots = os.path.join(self.dir, "shots")
        self.session = self.bus = self.shop = self.ftp = None
        self.folders = []
        self.clients = []
        self.programs = []
        self.step_count = 0
        self.started = None

    # ---- set-up and tear-down
    def __enter__(self):
        shutil.rmtree(self.dir, ignore_errors=True)
        for d in (self.logs, self.shots):
            os.makedirs(d)
        self.started = time.monotonic()
        become_subreaper()
        self._arm_watchdog()
        try:
            self.session = XSession(self.dir, self.logs).start()
            self.bus = SessionBus(self.logs, self.desktop_env()).start()
            data = os.path.join(self.dir, "shop")
            self.shop = Shop(self.config.shop_script, data, self.config.http_port, self.logs, self.http_rate,
                             self.config.version).start()
            self.ftp = FtpServer(self.config.shop_script, data, self.config.ftp_port, self.logs, self.ftp_rate).start()
            self.note("X display %s, shop on %d/%d" % (self.session.display, self.config.http_port,
                                                       self.config.ftp_port))
        except BaseException:
            self.__exit__(None, None, None)
            raise
        return self

    def __exit__(self, kind, error, tb):
        signal.alarm(0)
        if kind is not None:
            self.note("FAILED: " + "".join(traceback.format_exception_only(kind, error)).strip())
            if self.session and self.session.display:
                self.shot("failed")
        for client in self.clients:
            client.close()
        for folder in self.folders:
            stop_programs_from(folder)
        for program in self.programs:
            program.stop()
        for server in (self.ftp, self.shop):
            if server:
                server.stop()
        if self.bus:
            self.bus.stop()
        if self.session:
            self.session.stop()
        stop_children()
        self.note("road took %.1f s" % (time.monotonic() - self.started))
        return False

    def _arm_watchdog(self):
        def expire(*_):
            raise RoadTimeout("the road ran longer than %.0f s" % self.config.road_limit)
        signal.signal(signal.SIGALRM, expire)
        signal.alarm(int(self.config.road_limit))

    # ---- artefacts
    def note(self, text):
        """A line in logs/steps.log, with the seconds since the road began."""
        with open(os.path.join(self.logs, "steps.log"), "a", encoding="utf-8") as f:
            f.write("%7.2f  %s\n" % (time.monotonic() - self.started, text))

    def shot(self, what):
        """A screenshot named by its step: shots/NN-what.png."""
        self.step_count += 1
        path = os.path.join(self.shots, "%02d-%s.png" % (self.step_count, what))
        self.session.screenshot(path)
        self.note("shot " + os.path.basename(path))
        return path

    def note_outputs(self, name, pid):
        """A note of where a program that another one started writes its output."""
        self.note("%s[%d] writes to %s" % (name, pid, " and ".join(outputs(pid, self.dir))))

    def path(self, *parts):
        return os.path.join(self.dir, *parts)

    # ---- programs
    def program_folder(self, label="program", source=None, without=()):
        """A scratch copy of a ready program folder (the build's by default), for the programs
        to write into as installed programs do; the files named in `without` are left out."""
        source = source or self.config.program_dir
        target = self.path(label)

        def left_out(folder, names):
            return [n for n in names if n in without] if os.path.samefile(folder, source) else []
        shutil.copytree(source, target, symlinks=True, ignore=left_out)
        self.folders.append(target)
        return target

    def desktop_env(self):
        """This road's desktop: its X server and a home of its own."""
        env = {k: v for k, v in os.environ.items() if k not in NOT_PASSED}
        runtime = self.path("home", "runtime")
        os.makedirs(runtime, mode=0o700, exist_ok=True)
        env.update(self.session.env())
        env.update({"HOME": self.path("home"), "XDG_RUNTIME_DIR": runtime, "LC_ALL": "C.UTF-8"})
        return env

    def program_env(self, devtools_port=None):
        """The environment of a program under test: this road's desktop and session bus, with
        accessibility on as for a screen reader, and with a port, WebEngine's DevTools on it
        (programs started from the program inherit it, so a client that the updater starts
        answers on the same port)."""
        env = self.desktop_env()
        root = os.geteuid() == 0
        env.update(self.bus.program_env())
        env.update({
            "QT_QPA_PLATFORM": "xcb",   # the real X clipboard between the programs
            "QTWEBENGINE_CHROMIUM_FLAGS": "--disable-gpu" + (" --no-sandbox" if root else ""),
            # The uploader that the client starts writes into the client's logs: its lines say whose they are.
            "QT_MESSAGE_PATTERN": "%{appname}[%{pid}] %{if-category}%{category}: %{endif}%{message}",
        })
        if devtools_port:
            env["QTWEBENGINE_REMOTE_DEBUGGING"] = "127.0.0.1:%d" % devtools_port
        if root:
            env["QTWEBENGINE_DISABLE_SANDBOX"] = "1"
        return env

    def start_program(self, folder, name, args=(), label=None, devtools_port=None):
        """Starts the program `name` of a program folder (Quorvel, upload, Novrel) with its
        output in logs/<label>.out and .err."""
        label = label or name
        program = Program([os.path.join(folder, name)] + list(args), self.program_env(devtools_port), folder,
                          self.logs, label).start()
        self.programs.append(program)
        self.note("started %s %s" % (label, " ".join(args)))
        return program

    def start_client(self, *args, folder=None):
        """Starts the client from a program folder (a fresh copy of the build's unless given)."""
        folder = folder or (self.folders[0] if self.folders else self.program_folder())
        client = Client(self, folder, list(args), "Quorvel-%d" % (len(self.clients) + 1)).start()
        self.clients.append(client)
        return client

    def follow_client(self, process, folder, devtools_port):
        """A client that another program started (the updater starts the new one): a Running
        process of that folder, with the DevTools port it inherited."""
        client = Client(self, folder, [], "Quorvel-%d" % (len(self.clients) + 1)).follow(process, devtools_port)
        self.clients.append(client)
        self.note("following %s, process %d" % (client.label, process.pid))
        return client
