"""A small client of the DevTools protocol that QtWebEngine offers on QTWEBENGINE_REMOTE_DEBUGGING.

Every movie and every web page of a program is one target of /json. A test finds a target by the
file name or address it shows and works in it as a person would: real mouse and key events
through the Input domain, after looking up where an element is on the page."""

import itertools
import json
import socket
import time
import urllib.parse
import urllib.request

import websocket

from .waits import wait_until

CALL_TIMEOUT = 15   # seconds for one protocol call


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


class DevTools:
    def __init__(self, port, alive=lambda: None):
        """alive: called in every wait; raises Hopeless once the program is gone."""
        self.port = port
        self.alive = alive
        self._pages = {}

    def targets(self):
        with urllib.request.urlopen("http://127.0.0.1:%d/json" % self.port, timeout=3) as r:
            return [t for t in json.load(r) if t.get("type") == "page"]

    def page(self, shows, timeout=30, visible=True):
        """The page whose address ends in `shows` (a movie's file name, or the last part of a web
        address with its query); with `visible`, only once a person can see it."""
        def find():
            self.alive()
            for t in self.targets():
                if _shows(t["url"], shows):
                    p = self._page(t)
                    if not visible or p.visible():
                        return p
            return None
        return wait_until(find, timeout, "a %spage showing %s" % ("visible " if visible else "", shows), 0.2)

    def _page(self, target):
        p = self._pages.get(target["id"])
        if p is None or p.closed:
            p = self._pages[target["id"]] = Page(target["webSocketDebuggerUrl"], target["id"], self.alive)
        return p

    def close(self):
        for p in self._pages.values():
            p.close()
        self._pages.clear()


def _shows(url, shows):
    path = urllib.parse.unquote(url)
    return path.endswith("/" + shows) or path == shows


class ProtocolError(RuntimeError):
    pass


class Page:
    def __init__(self, ws_url, target_id, alive=lambda: None):
        self.target_id = target_id
        self.alive = alive
        self.ws = websocket.create_connection(ws_url, timeout=CALL_TIMEOUT, suppress_origin=True)
        self.ids = itertools.count(1)
        self.closed = False

    def close(self):
        if not self.closed:
            self.closed = True
            try:
                # No wait for the answer to a close: the page may be gone with its window.
                self.ws.shutdown()
            except Exception:  # noqa: BLE001 - the program may be gone already
                pass

    def call(self, method, **params):
        n = next(self.ids)
        try:
            self.ws.send(json.dumps({"id": n, "method": method, "params": params}))
            deadline = time.monotonic() + CALL_TIMEOUT
            while time.monotonic() < deadline:
                message = json.loads(self.ws.recv())
                if message.get("id") == n:
                    if "error" in message:
                        raise ProtocolError("%s: %s" % (method, message["error"]))
                    return message.get("result", {})
        except (websocket.WebSocketException, OSError) as e:
            self.close()
            raise ProtocolError("%s: %s" % (method, e)) from e
        raise ProtocolError("%s: no answer" % method)

    def evaluate(self, expression):
        """The value of a script expression in the page (JSON-like values only)."""
        r = self.call("Runtime.evaluate", expression=expression, returnByValue=True, awaitPromise=True)
        if "exceptionDetails" in r:
            raise ProtocolError("script failed: %s" % r["exceptionDetails"].get("exception", {}).get("description", r))
        return r["result"].get("value")

    def settle(self):
        """Returns once the page has drawn two frames, so a screenshot shows its latest state."""
        self.evaluate("new Promise(function (done) { requestAnimationFrame(function () {"
                      " requestAnimationFrame(function () { done(true); }); }); })")

    def visible(self):
        return self.evaluate("document.visibilityState") == "visible"

    def _probe(self, expression):
        self.alive()
        return self.evaluate(expression)

    def wait_for(self, expression, timeout=30, what=None):
        return wait_until(lambda: self._probe(expression), timeout, what or expression, 0.15)

    def text(self, selector):
        return self.evaluate("(function(e){return e ? e.textContent : null;})(document.querySelector(%s))"
                             % json.dumps(selector))

    def count(self, selector):
        return self.evaluate("document.querySelectorAll(%s).length" % json.dumps(selector))

    # ---- input, as a person gives it
    def where(self, selector, index=0, timeout=30):
        """Centre of the element in page coordinates, scrolled into view first; waits until the
        element exists, takes up room and is not disabled."""
        script = """(function () {
            var e = document.querySelectorAll(%s)[%d];
            if (!e || e.disabled) return null;
            e.scrollIntoView({block: "center", inline: "center"});
            var r = e.getBoundingClientRect();
            if (r.width < 1 || r.height < 1) return null;
            return [r.left + r.width / 2, r.top + r.height / 2];
        })()""" % (json.dumps(selector), index)
        return wait_until(lambda: self._probe(script), timeout, "%s[%d] to be clickable" % (selector, index), 0.15)

    def click(self, selector, index=0, timeout=30):
        x, y = self.where(selector, index, timeout)
        self.click_at(x, y)

    def click_at(self, x, y):
        self.call("Input.dispatchMouseEvent", type="mouseMoved", x=x, y=y, button="none")
        self.call("Input.dispatchMouseEvent", type="mousePressed", x=x, y=y, button="left", buttons=1, clickCount=1)
        self.call("Input.dispatchMouseEvent", type="mouseReleased", x=x, y=y, button="left", buttons=0, clickCount=1)

    def type(self, text):
        """Types at the focus: printable ASCII as key presses, other characters as an input
        method commits them."""
        for ch in text:
            if " " <= ch <= "~":
                self.call("Input.dispatchKeyEvent", type="keyDown", key=ch, text=ch, unmodifiedText=ch)
                self.call("Input.dispatchKeyEvent", type="keyUp", key=ch)
            else:
                self.call("Input.insertText", text=ch)

    def press(self, key):
        codes = {"Enter": (13, "\r"), "Tab": (9, "\t"), "Escape": (27, ""), "Backspace": (8, "")}
        code, text = codes[key]
        down = dict(type="keyDown", key=key, code=key, windowsVirtualKeyCode=code, nativeVirtualKeyCode=code)
        if text:
            down["text"] = text
        self.call("Input.dispatchKeyEvent", **down)
        self.call("Input.dispatchKeyEvent", type="keyUp", key=key, code=key, windowsVirtualKeyCode=code,
                  nativeVirtualKeyCode=code)
