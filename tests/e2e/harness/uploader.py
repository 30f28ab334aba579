"""The uploader as a person sees it: its window at the bottom-right corner of the screen with one
row per task, and its task list "set.xml" in the program folder. The client starts it detached,
so it is found by its program file; its output then goes where the client's goes (the client's
logs, each line marked "upload[pid]"). Its rows are read as a screen reader reads them (over
AT-SPI), their images clicked where the window lays them out, and each step takes a screenshot."""

import os
import xml.etree.ElementTree as ET

from .processes import kill_now, pids_of
from .waits import Hopeless, wait_until

TITLE = "upload"
LIST = "set.xml"

# The window's layout in twips, as the uploader lays it out: its width, the task panel's place,
# a row's left and height in the panel, and the start image's place in a row.
WINDOW_WIDTH = 5550
PANEL_LEFT, PANEL_TOP = 60, 480
ROW_LEFT, ROW_HEIGHT = 1, 690
START_IMAGE = (4400, 230, 315, 315)

# The row's images, by their tool tips.
IMAGES = {"pause": "暂停上传", "start": "开始上传", "reupload": "重新上传该任务", "remove": "从任务列表中清除该任务"}


def task_list(folder):
    """The tasks of the program folder's "set.xml", each the attributes of its element; None
    while there is no such file."""
    try:
        root = ET.parse(os.path.join(folder, LIST)).getroot()
    except FileNotFoundError:
        return None
    assert root.tag == "list", "%s: root element %r" % (LIST, root.tag)
    return [dict(e.attrib) for e in root]


class Uploader:
    def __init__(self, road, folder):
        self.road, self.folder = road, folder
        self.session = road.session
        self.executable = os.path.join(folder, "upload")
        self.window = None

    def pids(self):
        return pids_of(self.executable)

    def check_running(self):
        """For waits on the uploader: raises Hopeless once no uploader of this folder runs."""
        if not self.pids():
            raise Hopeless("the uploader of %s is not running (see the logs)" % self.folder)

    def start(self, label="upload"):
        """Starts the uploader from the program folder, as a person does from the desktop."""
        self.road.start_program(self.folder, "upload", label=label)
        return self

    def wait_window(self, timeout=30):
        self.window = self.session.wait_window(TITLE, timeout, self.check_running)
        for pid in self.pids():
            # Where its output goes, for the one started by the client.
            self.road.note_outputs("upload", pid)
        return self.window

    def shot(self, what):
        return self.road.shot(what)

    def kill(self):
        """Ends the uploader at once, as a crash or a power cut would."""
        pids = self.pids()
        assert pids, "no uploader to kill"
        kill_now(pids)
        self.road.note("killed upload %s" % pids)
        self.window = None

    # ---- what the window shows
    def rows(self):
        """The present rows, top to bottom, as a screen reader reads them: {"name", "status",
        "speed", "sent" (the "(KB/KB)" text), and for each image of IMAGES whether it shows}."""
        rows = []
        for node in self.road.bus.nodes("upload"):
            kids = node.get("children", [])
            if node["role"] != "filler" or not any(k["role"] == "push button" and k["name"] == "x" for k in kids):
                continue
            # The row's labels in the order it makes them: name, status, "速度:", speed, KB.
            labels = [k["name"] for k in kids if k["role"] == "label"]
            shown = {k["description"] for k in kids if k["role"] == "image" and "showing" in k["states"]}
            row = {"name": labels[0], "status": labels[1], "speed": labels[3], "sent": labels[4]}
            row.update({key: tip in shown for key, tip in IMAGES.items()})
            rows.append(row)
        return rows

    def wait_row(self, number, timeout, **state):
        """The number-th present row (from 1) once it shows the given state (status="上传成功!",
        start=True ...); names the rows shown when the wait runs out."""
        def probe():
            self.check_running()
            rows = self.rows()
            if len(rows) >= number and all(rows[number - 1].get(k) == v for k, v in state.items()):
                return rows[number - 1]
            return None
        return wait_until(probe, timeout, "row %d of the uploader to show %r" % (number, state), 0.2,
                          shown=self.rows)

    # ---- the task list
    def tasks(self):
        return task_list(self.folder)

    def task(self, did):
        """The task list's element for the server design id `did`; None while there is none."""
        for t in self.tasks() or []:
            if t.get("wdno") == did:
                return t
        return None

    def wait_task(self, did, timeout=30, **state):
        """The task of `did` once it is in the list with the given attributes (uped="True" ...)."""
        def probe():
            t = self.task(did)
            return t if t is not None and all(t.get(k) == v for k, v in state.items()) else None
        return wait_until(probe, timeout, "the task %s in %s with %r" % (did, LIST, state))

    # ---- clicks
    def click_start(self, row=1):
        """A click on the start image of the row-th present row."""
        assert self.window, "the uploader's window is not known"
        _, _, width, _ = self.window.geometry()
        scale = width / WINDOW_WIDTH
        left, top, w, h = START_IMAGE
        x = (PANEL_LEFT + ROW_LEFT + left + w / 2) * scale
        y = (PANEL_TOP + ROW_HEIGHT * (row - 1) + top + h / 2) * scale
        self.window.click(round(x), round(y))
        self.road.note("clicked the start image of row %d at %d,%d" % (row, round(x), round(y)))
