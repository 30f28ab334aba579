"""What a screen reader reads of the programs: a D-Bus session bus of the road's own, on which
the programs' accessibility (Qt's AT-SPI bridge, switched on as for a screen reader) is
activated, and the accessibility tree of a program, read by a helper process per look.

Widgets whose texts xdotool cannot read (the uploader's row status, for one) are read here,
without anything in the programs made for the tests."""

import json
import os
import subprocess
import sys

from .processes import Program
from .waits import Hopeless, wait_until

TREE = os.path.join(os.path.dirname(os.path.abspath(__file__)), "a11y_tree.py")
LOOK_TIMEOUT = 15   # seconds for one look at the tree


class SessionBus:
    def __init__(self, logs, env):
        """env: the environment of the bus and of what it starts (the accessibility bus): the
        road's X display and home, so nothing of it lands in the user's."""
        self.logs, self.env = logs, dict(env)
        self.program = None
        self.address = None

    def start(self, timeout=20):
        self.program = Program(["dbus-daemon", "--session", "--nofork", "--print-address=1"], self.env,
                               self.env.get("HOME", "/"), self.logs, "dbus").start()

        def address():
            if not self.program.running():
                raise Hopeless("dbus-daemon ended at start: %s" % self.program.log_text()[-2000:])
            text = self.program.log_text("out")
            return text.splitlines()[0].strip() if text.endswith("\n") else None
        self.address = wait_until(address, timeout, "the session bus to give its address")
        return self

    def stop(self):
        if self.program:
            self.program.stop()

    def program_env(self):
        """What a program needs to offer its accessibility on this bus."""
        return {"DBUS_SESSION_BUS_ADDRESS": self.address, "QT_LINUX_ACCESSIBILITY_ALWAYS_ON": "1"}

    def tree(self, application):
        """The accessibility trees of the running applications named `application` (a list,
        empty while none is known), each node {"role", "name", "description", "states", "children"}."""
        env = dict(self.env, DBUS_SESSION_BUS_ADDRESS=self.address)
        r = subprocess.run([sys.executable, TREE, application], env=env, stdout=subprocess.PIPE,
                           stderr=subprocess.PIPE, timeout=LOOK_TIMEOUT)
        if r.returncode != 0:
            raise RuntimeError("looking at the accessibility tree failed: %s" % r.stderr.decode("utf-8", "replace")[-500:])
        return json.loads(r.stdout.decode("utf-8"))

    def nodes(self, application):
        """The nodes of the accessibility trees of the running applications named `application`
        (below each application's own), parents before their children."""
        for app in self.tree(application):
            yield from descendants(app)

    def message_box(self, application, title, timeout=15):
        """What a screen reader reads of a message box of the application, once it shows:
        {"text": its text, "buttons": the names of its buttons}."""
        def look():
            for node in self.nodes(application):
                if node["role"] == "alert" and node["name"] == title and "showing" in node["states"]:
                    labels = [n["name"] for n in descendants(node) if n["role"] == "label" and n["name"]]
                    buttons = [n["name"] for n in descendants(node) if n["role"] == "push button"]
                    return {"text": "".join(labels), "buttons": buttons}
            return None
        return wait_until(look, timeout, 'a message box "%s" of %s in the accessibility tree' % (title, application),
                          0.2)


def descendants(node):
    for child in node.get("children", []):
        yield child
        yield from descendants(child)
