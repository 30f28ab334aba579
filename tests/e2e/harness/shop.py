"""The stand-in shop (tools/shop/shop.py) on the ports compiled into the programs, with a data
folder of its own per test; what it received is read back from its orders.log."""

import importlib.util
import json
import os
import subprocess
import sys

from .processes import Program
from .waits import Hopeless, wait_until


def shop_module(script):
    """The shop's own code, for the numbers it gives its templates."""
    spec = importlib.util.spec_from_file_location("stand_in_shop", script)
    module = importlib.util.module_from_spec(spec)
    spec.loader.exec_module(module)
    return module


class Shop:
    def __init__(self, script, data, http_port, ftp_port, logs):
        self.script, self.data = script, data
        self.http_port, self.ftp_port = http_port, ftp_port
        self.logs = logs
        self.program = None
        self._module = None

    @property
    def module(self):
        if self._module is None:
            self._module = shop_module(self.script)
        return self._module

    def start(self, timeout=30):
        os.makedirs(self.data, exist_ok=True)
        argv = [sys.executable, self.script, "--http-port", str(self.http_port),
                "--ftp-port", str(self.ftp_port), "--data", self.data]
        self.program = Program(argv, dict(os.environ), self.data, self.logs, "shop").start()

        def ready():
            if not self.program.running():
                raise Hopeless("the shop ended at start (port %d or %d taken?): %s"
                                     % (self.http_port, self.ftp_port, self.program.log_text()[-2000:]))
            return "shop ready" in self.program.log_text("out")
        wait_until(ready, timeout, "the shop to listen on %d and %d" % (self.http_port, self.ftp_port))
        return self

    def stop(self):
        if self.program:
            self.program.stop()

    # ---- what it holds
    def template_no(self, seed):
        return self.module.template_no(seed)

    def template_file(self, no, name):
        return os.path.join(self.data, "templates", no, name)

    @property
    def ftp_home(self):
        return os.path.join(self.data, "ftp")

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
