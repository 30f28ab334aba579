"""The stand-in shop (tools/shop/shop.py) on the ports compiled into the programs, with a data
folder of its own per test: its web site in one process, its FTP server in another, so a test
can stop the FTP server and start it again while the web site runs. What the shop received is
read back from its orders.log, what the FTP server did from its log of the dialogue."""

import importlib.util
import json
import os
import re
import subprocess
import sys
import xml.etree.ElementTree as ET

from .processes import Program
from .waits import Hopeless, wait_until


def shop_module(script):
    """The shop's own code, for the numbers it gives its templates."""
    spec = importlib.util.spec_from_file_location("stand_in_shop", script)
    module = importlib.util.module_from_spec(spec)
    spec.loader.exec_module(module)
    return module


def start_shop(script, data, logs, label, side, port, rate, extra, timeout):
    """shop.py serving only its `side` ("http" or "ftp") on `port`, at `rate` bytes a second at
    most (0: no limit), with the `extra` arguments; its output in logs/<label>.out and .err, once
    it says it is ready."""
    os.makedirs(data, exist_ok=True)
    args = ["--only", side, "--%s-port" % side, str(port)] + list(extra)
    if rate:
        args += ["--%s-rate" % side, str(rate)]
    program = Program([sys.executable, script, "--data", data] + args, dict(os.environ), data, logs, label).start()

    def ready():
        if not program.running():
            raise Hopeless("%s ended at start (port %d taken?): %s" % (label, port, program.log_text()[-2000:]))
        return "shop ready" in program.log_text("out")
    wait_until(ready, timeout, "%s to listen on %d" % (label, port))
    return program


class ShopProcess:
    """What the road stops of a shop.py process it started."""
    program = None

    def stop(self):
        if self.program:
            self.program.stop()


class Shop(ShopProcess):
    """The shop's web site: its pages, templates, server page and releases; with a rate, it sends
    its responses at that many bytes a second at most. It starts with an empty release of the
    given version, the one the built client reports, so that the client asks nothing until a
    test publishes another."""

    def __init__(self, script, data, http_port, logs, rate=0, version=None):
        self.script, self.data = script, data
        self.http_port = http_port
        self.logs = logs
        self.rate = rate
        self.version = version
        self._module = None

    @property
    def module(self):
        if self._module is None:
            self._module = shop_module(self.script)
        return self._module

    def start(self, timeout=30):
        version = ["--version", self.version] if self.version else []
        self.program = start_shop(self.script, self.data, self.logs, "shop", "http", self.http_port, self.rate,
                                  version, timeout)
        return self

    # ---- what it holds
    def template_no(self, seed):
        return self.module.template_no(seed)

    def template_file(self, no, name):
        return os.path.join(self.data, "templates", no, name)

    def url(self, path):
        return "http://127.0.0.1:%d%s" % (self.http_port, path)

    # ---- what it received
    def orders(self, name=None):
        """The orders received so far, oldest first, each {"time", "order", "fields", "reply"}."""
        try:
            with open(os.path.join(self.data, "orders.log"), encoding="utf-8") as f:
                lines = [json.loads(line) for line in f if line.strip()]
        except FileNotFoundError:
            return []
        return [o for o in lines if name is None or o["order"] == name]

    def wait_order(self, name, count=1, timeout=30):
        """The count-th order of that name, once the shop has received it."""
        def received():
            orders = self.orders(name)
            return orders[count - 1] if len(orders) >= count else None
        return wait_until(received, timeout, '%d order(s) "%s" at the shop' % (count, name))

    # ---- releases
    def publish(self, program_dir, version=None):
        """Publishes a program folder as the shop's release; returns the shop's line about it."""
        argv = [sys.executable, self.script, "--publish", program_dir, "--data", self.data]
        if version:
            argv += ["--version", version]
        r = subprocess.run(argv, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, timeout=60, check=True)
        return r.stdout.decode("utf-8", "replace").strip()

    @property
    def release_folder(self):
        return os.path.join(self.data, "novrel")

    def release_list(self):
        """The published ver.xml as its bytes."""
        with open(os.path.join(self.release_folder, "ver.xml"), "rb") as f:
            return f.read()

    def release(self):
        """(version, {file name: listed size} in list order) of the published release."""
        release = ET.fromstring(self.release_list())[0]
        return release.get("ver"), {f.text: int(f.get("size")) for f in release[0]}

    def release_files(self):
        """{file name: listed size} of the published release, in list order."""
        return self.release()[1]

    def list_size(self, name, size):
        """Lists the release's file `name` with another size, as a faulty release would; the
        file served stays as it is."""
        version, files = self.release()
        assert name in files, "%s is not listed in ver.xml: %r" % (name, self.release_list())
        files[name] = size
        self.module.write_atomic(os.path.join(self.release_folder, "ver.xml"),
                                 self.module.ver_xml(version, list(files.items())).encode("utf-8"))


# What the FTP server logs of a transfer: "APPE /.../D123 completed=1 bytes=4096 seconds=0.5",
# and of its dialogue: "127.0.0.1:40123-[user] <- APPE D123" and "... -> 226 Transfer complete.".
TRANSFER = re.compile(r"\] (STOR|APPE) (\S+) completed=([01]) bytes=(\d+) seconds=")
# A session begins with "127.0.0.1:40123-[] FTP session opened (connect)". The uploader binds the
# same local port again after a restart, so an address alone does not tell two sessions apart.
DIALOGUE = re.compile(r"^ftp (\S+?)-\[[^\]]*\] (?:(<-|->) (.*)|(FTP session opened))", re.M)


class FtpServer(ShopProcess):
    """The shop's FTP server on its own, with its dialogue logged (logs/ftp.err, every run of it
    one after the other); with a rate, it receives uploads at that many bytes a second at most."""

    def __init__(self, script, data, port, logs, rate=0):
        self.script, self.data, self.port, self.logs, self.rate = script, data, port, logs, rate
        self.log_path = os.path.join(logs, "ftp.err")

    def start(self, timeout=30):
        self.program = start_shop(self.script, self.data, self.logs, "ftp", "ftp", self.port, self.rate,
                                  ["--ftp-dialogue"], timeout)
        return self

    @property
    def home(self):
        return os.path.join(self.data, "ftp")

    def remote_path(self, name):
        return os.path.join(self.home, name)

    def remote_size(self, name):
        """Bytes the server holds of the remote file; -1 when it holds none."""
        try:
            return os.path.getsize(self.remote_path(name))
        except OSError:
            return -1

    def log_text(self):
        try:
            with open(self.log_path, encoding="utf-8", errors="replace") as f:
                return f.read()
        except FileNotFoundError:
            return ""

    def transfers(self, name):
        """Every upload to the remote file `name` that the server has ended, oldest first, each
        {"command", "completed" (the whole stream arrived), "bytes" (received in it)}."""
        found = []
        for m in TRANSFER.finditer(self.log_text()):
            if os.path.basename(m.group(2)) == name:
                found.append({"command": m.group(1), "completed": m.group(3) == "1", "bytes": int(m.group(4))})
        return found

    def sessions(self):
        """{"client address #n": [lines of its dialogue, "<- command" or "-> reply"]}, in the order
        the sessions were opened; n counts the sessions from that address."""
        found, current, opened = {}, {}, {}
        for m in DIALOGUE.finditer(self.log_text()):
            address = m.group(1)
            if m.group(4) or address not in current:
                opened[address] = opened.get(address, 0) + 1
                current[address] = "%s #%d" % (address, opened[address])
                found[current[address]] = []
            if not m.group(4):
                found[current[address]].append(m.group(2) + " " + m.group(3))
        return found

    def sessions_appending(self, name):
        """The dialogues of the sessions that appended to the remote file `name`, oldest first."""
        return [lines for lines in self.sessions().values() if "<- APPE " + name in lines]

    def wait_transfers(self, name, count, timeout):
        """The transfers to `name` once the server has ended `count` of them."""
        return wait_until(lambda: len(self.transfers(name)) >= count and self.transfers(name), timeout,
                          "%d transfer(s) to %s ended at the FTP server" % (count, name))
