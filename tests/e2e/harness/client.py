"""The design client as a person uses it: each method is one step of a road, done through the
movies (DevTools input events) and Qt's own dialogs (xdotool), with a screenshot where the step
shows something new. The methods wait for what the person would wait for, never longer than
their bounds."""

import json
import os
import re
import signal
import time

from .devtools import DevTools, free_port
from .processes import alive, descendants
from .waits import wait_until

# The movies and web pages, by the file name or address each shows.
WELCOME = "WelCome.ctr"
DOWNLOADER = "Downloader.ctr"
NEW_DESIGN = "NewDesign.ctr"
EDITOR = "2wCEAAgGBgcGBQgHB.TMP"    # the editor movie, loaded from its transient file
WAITING = "waiting.ctr"

SETTLE_SECONDS = 0.3   # from a page's drawn frame to the X server, for screenshots only

# Titles of Qt's own windows.
FILE_DIALOG = "打开"
LOGIN = "登录"
SAVE_MESSAGE = "保存设计"
UPLOAD_MESSAGE = "上传设计"
UPDATE_QUESTION = "程序更新"
WORKSPACE = "Quorvel V"   # followed by the client's version

# Places in the login dialog, in twips as the dialog lays them out (15 twips a pixel at 96 dpi).
TWIPS_PER_PIXEL = 15
LOGIN_USER_BOX = (1170 + 2085 // 2, 390 + 345 // 2)
LOGIN_PASSWORD_BOX = (1170 + 2085 // 2, 930 + 345 // 2)

def template_link(no):
    return "ZELKA://%s/" % no


class Client:
    def __init__(self, road, folder, args, label):
        self.road, self.folder, self.args, self.label = road, folder, args, label
        self.session = road.session
        self.program = None
        self.devtools = None
        self.order_page = None

    def start(self):
        port = free_port()
        return self.follow(self.road.start_program(self.folder, "Quorvel", self.args, self.label, devtools_port=port),
                           port)

    def follow(self, program, devtools_port):
        """Works with a client that runs already: one the test started (a Program) or one that
        another program started (a Running, answering on the DevTools port it inherited)."""
        self.program = program
        self.devtools = DevTools(devtools_port, program.check_running)
        return self

    def close(self):
        if self.devtools:
            self.devtools.close()

    def page(self, shows, timeout=60, visible=True):
        """A movie or web page of this client; the first one may wait for the web engine to start."""
        return self.devtools.page(shows, timeout, visible)

    def window(self, title, timeout=30):
        """One of the client's own Qt windows (a dialog, a message box), by its title."""
        return self.session.wait_window(title, timeout, self.program.check_running)

    def shot(self, what, *pages):
        """A screenshot once the given pages have drawn what they show; the web engine hands
        its frames to the window a moment after drawing them."""
        for page in pages:
            page.settle()
        if pages:
            time.sleep(SETTLE_SECONDS)
        return self.road.shot(what)

    # ---- the update check at the start
    def wait_update_question(self, timeout=30):
        """The question the client asks when the shop offers another release: (the box, what a
        screen reader reads of it)."""
        box = self.window(UPDATE_QUESTION, timeout)
        read = self.road.bus.message_box("Quorvel", UPDATE_QUESTION)
        self.road.shot("update-question")
        return box, read

    def answer_update(self, box, button):
        """Presses a button of the update question ("是(Y)" starts the update): after a yes the
        client ends itself, so that the updater can replace its files."""
        box.press_button(button)
        box.wait_closed(15)
        self.road.note("answered the update question with %s" % button)

    # ---- template download and new design
    def wait_template_downloaded(self, timeout=60):
        downloader = self.page(DOWNLOADER)
        downloader.wait_for("document.getElementById('title').textContent === '模板下载完成'", timeout,
                            "the downloader to say the template is downloaded")
        new_design = self.page(NEW_DESIGN, timeout=30)
        self.shot("template-downloaded", new_design)
        return new_design

    def name_design(self, name):
        """Types the new design's name in the new-design movie and creates the design."""
        new_design = self.page(NEW_DESIGN)
        new_design.click("#name")
        new_design.type(name)
        new_design.wait_for("document.getElementById('name').value === %s" % json.dumps(name), 10,
                            "the typed name in the name box")
        self.shot("design-named", new_design)
        new_design.click("#ok")

    # ---- workspace
    def open_design(self, name, timeout=60):
        """Opens a saved design from the welcome window's list; returns the editor."""
        welcome = self.page(WELCOME, timeout)
        index = wait_until(lambda: self._design_card(welcome, name), 30, "the welcome window to list %s" % name)
        self.shot("welcome-lists-design", welcome)
        welcome.click(".design", index - 1)
        return self.wait_workspace(timeout)

    @staticmethod
    def _design_card(welcome, name):
        """The number (from 1) of the welcome window's card of that design; 0 while there is none."""
        return 1 + welcome.evaluate("""Array.prototype.findIndex.call(document.querySelectorAll('.design .name'),
            function (n) { return n.textContent === %s; })""" % json.dumps(name))

    def workspace_window(self, version, timeout=15):
        """The workspace window, whose title tells the client's version."""
        return self.window(WORKSPACE + version, timeout)

    def wait_workspace(self, timeout=60):
        """The editor, once it has opened the design and its start display is gone."""
        editor = self.page(EDITOR, timeout)
        editor.wait_for("!document.getElementById('save').disabled", timeout, "the editor to open the design")
        waiting = self.page(WAITING, visible=False)
        waiting.wait_for("document.visibilityState === 'hidden'", 30, "the start display to go")
        self.shot("workspace", editor)
        return editor

    def import_photos(self, paths):
        """Imports pictures through the editor's import button and Qt's file dialog, typing their
        full paths into the dialog's file name box as a person may."""
        editor = self.page(EDITOR)
        before = editor.count(".pic")
        editor.click("#import")
        dialog = self.window(FILE_DIALOG, 30)
        dialog.type(" ".join('"%s"' % p for p in paths))
        self.shot("file-dialog", editor)
        dialog.key("Return")
        dialog.wait_closed(30)
        editor.wait_for("document.querySelectorAll('.pic').length === %d && Array.prototype.every.call("
                        "document.querySelectorAll('.pic img'), function (i) { return i.complete && i.naturalWidth; })"
                        % (before + len(paths)), 30, "the imported pictures' thumbnails in the editor's list")
        self.shot("photos-imported", editor)

    def place_photos(self, choose):
        """Puts a picture into every frame for the customer's pictures: choose(i) names the
        picture (its file name) for frame i. Each is selected in the list, then its frame clicked."""
        editor = self.page(EDITOR)
        frames = editor.count(".frame.user")
        assert frames > 0, "the design shows no frame for the customer's pictures"
        for i in range(frames):
            name = choose(i)
            index = editor.evaluate("""Array.prototype.findIndex.call(document.querySelectorAll('.pic'),
                function (p) { return p.querySelector('.n').textContent === %s; })""" % json.dumps(name))
            assert index >= 0, "no imported picture named %s" % name
            if not editor.evaluate("document.querySelectorAll('.pic')[%d].classList.contains('sel')" % index):
                editor.click(".pic", index)
                editor.wait_for("document.querySelectorAll('.pic')[%d].classList.contains('sel')" % index, 10,
                                "%s to be selected" % name)
            editor.click(".frame.user", i)
            editor.wait_for("document.querySelectorAll('.frame.user')[%d].classList.contains('full')" % i, 10,
                            "frame %d to show its picture" % i)
        self.shot("photos-placed", editor)
        return frames

    def save_design(self):
        editor = self.page(EDITOR)
        editor.click("#save")
        box = self.window(SAVE_MESSAGE, 30)
        self.shot("design-saved", editor)
        box.key("Return")
        box.wait_closed(15)

    def upload_design(self, user, password):
        """Asks the editor to upload, logs in through the login dialog, and returns the design
        id the shop gave the design."""
        saved_before = len(self.road.shop.orders("SaveDesign"))
        editor = self.page(EDITOR)
        editor.click("#upload")
        login = self.window(LOGIN, 30)
        for (x, y), text in ((LOGIN_USER_BOX, user), (LOGIN_PASSWORD_BOX, password)):
            login.click(x // TWIPS_PER_PIXEL, y // TWIPS_PER_PIXEL)
            login.type(text)
        self.shot("login")
        login.key("Return")    # Enter in the password box logs in
        login.wait_closed(30)
        order = self.road.shop.wait_order("SaveDesign", saved_before + 1, 60)
        did = re.search(r'did="([^"]*)"', order["reply"])
        assert did and did.group(1), "the shop's reply to SaveDesign carries no design id: %s" % order["reply"]
        return did.group(1)

    def wait_order_page(self, did, timeout=30):
        page = self.page("buy.aspx?ID=" + did, timeout)
        page.wait_for("document.readyState === 'complete' && document.body.textContent.indexOf(%s) >= 0"
                      % json.dumps(did), timeout, "the order page to show the design id")
        self.shot("order-page", page)
        self.order_page = page
        return page

    def dismiss_no_uploader(self):
        """Without an uploader in the program folder the client says it cannot start it; the
        person reads the message and closes it. The uploader's road replaces this step."""
        box = self.window(UPLOAD_MESSAGE, 30)
        self.shot("no-uploader-message")
        box.key("Return")
        box.wait_closed(15)

    def terminate(self, timeout=15):
        """Ends the client as the system ends a program at the end of a session (SIGTERM to the
        client alone); returns once it and the web engine's helpers it started have gone."""
        helpers = descendants(self.program.pid)
        self.close()
        os.kill(self.program.pid, signal.SIGTERM)
        self.program.wait_exit(timeout)
        self.road.note("terminated %s; its helpers were %s" % (self.label, helpers))
        wait_until(lambda: not any(alive(p) for p in helpers), timeout,
                   "the web engine's helpers of the ended client to go")
        return helpers

    def wait_workspace_closed(self, timeout=15):
        """The workspace closes itself shortly after an upload; the order window stays."""
        title = WORKSPACE + self.road.config.version
        wait_until(lambda: not self.session.windows(title), timeout, "the workspace to close")
        self.shot("workspace-closed", *([self.order_page] if self.order_page else []))
