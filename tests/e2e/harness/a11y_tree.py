"""Prints, as JSON, the accessibility tree of the running applications of one name, as a screen
reader sees it over AT-SPI: each node's role, name, description (a widget's tool tip), states
and children. Run in a process of its own per look, with the session bus of the programs in
DBUS_SESSION_BUS_ADDRESS, so that a program that stops answering cannot hold up the test:

    /usr/bin/python3 a11y_tree.py upload
"""

import json
import sys

import gi

gi.require_version("Atspi", "2.0")
from gi.repository import Atspi  # noqa: E402

STATES = {"showing": Atspi.StateType.SHOWING, "visible": Atspi.StateType.VISIBLE,
          "enabled": Atspi.StateType.ENABLED}
MAX_DEPTH = 12


def node(a, depth):
    states = a.get_state_set()
    out = {"role": a.get_role_name(), "name": a.get_name() or "", "description": a.get_description() or "",
           "states": [name for name, s in STATES.items() if states.contains(s)]}
    if depth < MAX_DEPTH:
        out["children"] = [node(a.get_child_at_index(i), depth + 1) for i in range(a.get_child_count())]
    return out


def main(name):
    desktop = Atspi.get_desktop(0)
    apps = []
    for i in range(desktop.get_child_count()):
        app = desktop.get_child_at_index(i)
        if app is not None and app.get_name() == name:
            apps.append(node(app, 0))
    json.dump(apps, sys.stdout, ensure_ascii=False)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1]))
