"""An X server of its own per test (Xvfb on a free display, with a cookie), the X clipboard read
from outside the programs, screenshots, and Qt's own windows driven with xdotool."""

import os
import re
import select
import signal
import struct
import subprocess
import time

from .waits import wait_until

SCREEN = "1280x1024x24"
TOOL_TIMEOUT = 15   # seconds for one xdotool, xclip or import call


def _write_cookie(path):
    """An authority file whose one entry (family "wild") matches any display, so it can be
    written before Xvfb has picked its display number."""
    cookie = os.urandom(16)

    def field(b):
        return struct.pack(">H", len(b)) + b
    entry = struct.pack(">H", 0xFFFF) + field(b"") + field(b"") + field(b"MIT-MAGIC-COOKIE-1") + field(cookie)
    fd = os.open(path, os.O_WRONLY | os.O_CREAT | os.O_TRUNC, 0o600)
    with os.fdopen(fd, "wb") as f:
        f.write(entry)


class XSession:
    def __init__(self, folder, logs):
        self.folder, self.logs = folder, logs
        self.auth = os.path.join(folder, "Xauthority")
        self.display = None
        self.process = None

    def start(self, timeout=20):
        _write_cookie(self.auth)
        read_end, write_end = os.pipe()
        with open(os.path.join(self.logs, "Xvfb.log"), "ab") as log:
            self.process = subprocess.Popen(
                ["Xvfb", "-displayfd", str(write_end), "-auth", self.auth, "-nolisten", "tcp",
                 "-screen", "0", SCREEN, "-noreset"],
                pass_fds=(write_end,), stdin=subprocess.DEVNULL, stdout=log, stderr=log, start_new_session=True)
        os.close(write_end)
        try:
            # Xvfb writes its display number once it accepts clients.
            text = b""
            deadline = time.monotonic() + timeout
            while not text.endswith(b"\n"):
                left = deadline - time.monotonic()
                if left <= 0 or self.process.poll() is not None:
                    raise RuntimeError("Xvfb did not start (see Xvfb.log)")
                ready, _, _ = select.select([read_end], [], [], left)
                if ready:
                    chunk = os.read(read_end, 64)
                    if not chunk:
                        raise RuntimeError("Xvfb did not start (see Xvfb.log)")
                    text += chunk
        finally:
            os.close(read_end)
        self.display = ":" + text.decode().strip()
        return self

    def stop(self):
        if self.process and self.process.poll() is None:
            self.process.send_signal(signal.SIGTERM)
            try:
                self.process.wait(10)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait(5)

    def env(self):
        """What a program needs to reach this server."""
        return {"DISPLAY": self.display, "XAUTHORITY": self.auth}

    def run(self, argv, check=True, input_bytes=None):
        env = dict(os.environ, **self.env())
        return subprocess.run(argv, env=env, input=input_bytes, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                              timeout=TOOL_TIMEOUT, check=check)

    # ---- what a person sees
    def screenshot(self, path):
        """The whole screen as PNG; a failed shot is reported, never fatal."""
        try:
            self.run(["import", "-window", "root", path])
            return True
        except (subprocess.SubprocessError, OSError) as e:
            with open(os.path.join(self.logs, "screenshots.err"), "a") as f:
                f.write("%s: %s\n" % (os.path.basename(path), e))
            return False

    def clipboard_text(self):
        """The clipboard as another program reads it; None when nobody offers text."""
        r = self.run(["xclip", "-o", "-selection", "clipboard", "-t", "UTF8_STRING"], check=False)
        return r.stdout.decode("utf-8", "replace") if r.returncode == 0 else None

    def set_clipboard_text(self, text):
        """Puts text on the clipboard from outside (xclip stays in the background as its owner)."""
        env = dict(os.environ, **self.env())
        p = subprocess.Popen(["xclip", "-i", "-selection", "clipboard", "-quiet"], env=env, stdin=subprocess.PIPE,
                             stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, start_new_session=True)
        p.stdin.write(text.encode("utf-8"))
        p.stdin.close()
        return p

    # ---- windows
    def windows(self, title):
        """Ids of the shown windows whose title is exactly `title`."""
        r = self.run(["xdotool", "search", "--onlyvisible", "--name", "^%s$" % re.escape(title)], check=False)
        return [int(w) for w in r.stdout.split()]

    def wait_window(self, title, timeout=30, alive=lambda: None):
        """The shown window titled `title` (the newest of them); alive raises Hopeless once the
        program that should show it is gone."""
        def find():
            alive()
            return self.windows(title)
        ids = wait_until(find, timeout, 'a window titled "%s"' % title)
        return Window(self, ids[-1], title)


class Window:
    """A top-level window of one of the programs (a Qt dialog, a message box, a form)."""

    def __init__(self, session, wid, title):
        self.session, self.id, self.title = session, wid, title

    def xdotool(self, *args):
        return self.session.run(["xdotool"] + [str(a) for a in args])

    def shown(self):
        return self.id in self.session.windows(self.title)

    def focus(self):
        # No window manager runs: the input focus is set directly, as a click on the window would.
        self.xdotool("windowfocus", "--sync", self.id)
        return self

    def type(self, text, delay_ms=12):
        """Types `text` at the focus of this window, key by key."""
        self.focus()
        self.xdotool("type", "--delay", delay_ms, "--clearmodifiers", "--", text)

    def key(self, *keys):
        """Presses keys (xdotool names: Return, Escape, Tab, ctrl+a, alt+y) in this window."""
        self.focus()
        self.xdotool("key", "--clearmodifiers", *keys)

    def geometry(self):
        out = self.xdotool("getwindowgeometry", "--shell", self.id).stdout.decode()
        values = dict(line.split("=", 1) for line in out.split() if "=" in line)
        return int(values["X"]), int(values["Y"]), int(values["WIDTH"]), int(values["HEIGHT"])

    def press_button(self, name):
        """Presses a button of this dialog by the mnemonic its name shows: "是(Y)" by alt+y."""
        m = re.search(r"\((\w)\)$", name)
        assert m, "the button %r shows no mnemonic" % name
        self.key("alt+" + m.group(1).lower())

    def click(self, x, y):
        """A left click at x, y inside the window."""
        self.xdotool("mousemove", "--window", self.id, x, y, "click", "1")

    def wait_closed(self, timeout=30):
        wait_until(lambda: not self.shown(), timeout, 'the window "%s" to close' % self.title)
