"""The online updater as a person sees it: its frameless window with the two bars and the lines
below them, and its messages. The client starts it detached after a yes to the update question,
so it is found by its program file and followed by its process id (its program file is replaced
while it runs); its output goes where the client's goes, each line marked "Novrel[pid]". Its
texts are read as a screen reader reads them (over AT-SPI)."""

import os
import re

from .processes import wait_one
from .waits import wait_until

TITLE = "Quorvel在线更新......"
MESSAGE_TITLE = "更新"
STAGING = "Novrel.staging"
LOCK = ".Novrel.lock"   # held while it runs
# The current file's line: its name, its KB, its index from 0 and the count of files.
FILE_LINE = re.compile(r"^(\S+)  (\d+)KB\.\.\.   \((\d+)/(\d+)\)$")
TIME_LEFT = re.compile(r"^剩余时间：(-?\d+)$")


class Updater:
    def __init__(self, road, folder):
        self.road, self.folder = road, folder
        self.session = road.session
        self.process = None

    def wait_started(self, timeout=30):
        self.process = wait_one(os.path.join(self.folder, "Novrel"), "Novrel", timeout)
        self.road.note_outputs("Novrel", self.process.pid)
        return self

    def wait_window(self, timeout=30):
        return self.session.wait_window(TITLE, timeout, self.process.check_running)

    def lines(self):
        """The texts of its window's labels, top to bottom, as a screen reader reads them."""
        for node in self.road.bus.nodes("Novrel"):
            if node["role"] == "filler" and node["name"] == TITLE:
                return [k["name"] for k in node.get("children", []) if k["role"] == "label"]
        return []

    def wait_file(self, name, timeout=60):
        """What the window shows once its current-file line names `name` and it counts the
        seconds left for it (the speed of the first moments of a file promises none):
        {"kb", "index", "count" of the file line, "left": the seconds, "lines": all of them}."""
        def probe():
            self.process.check_running()
            lines = self.lines()
            file = [m for m in map(FILE_LINE.match, lines) if m and m.group(1) == name]
            left = [m for m in map(TIME_LEFT.match, lines) if m and int(m.group(1)) > 0]
            if not file or not left:
                return None
            kb, index, count = (int(g) for g in file[0].groups()[1:])
            return {"kb": kb, "index": index, "count": count, "left": int(left[0].group(1)), "lines": lines}
        return wait_until(probe, timeout, "the updater's window to count down the download of %s" % name, 0.1,
                          shown=self.lines)

    def wait_message(self, timeout=60):
        """Its message box, once it shows: (the window, what a screen reader reads of it)."""
        box = self.session.wait_window(MESSAGE_TITLE, timeout, self.process.check_running)
        return box, self.road.bus.message_box("Novrel", MESSAGE_TITLE)

    def wait_ended(self, timeout=60):
        self.process.wait_exit(timeout, "the updater to end")
        self.road.note("Novrel[%d] ended" % self.process.pid)

    def staging(self, version):
        """The release's staging folder."""
        return os.path.join(self.folder, STAGING, version)

    def staged(self, version):
        """The names of the files left in the release's staging folder; None without that folder."""
        folder = self.staging(version)
        return sorted(os.listdir(folder)) if os.path.isdir(folder) else None
