#!/usr/bin/python3
"""Stand-in shop for trying the suite and for its end-to-end tests.

Serves, on 127.0.0.1 only:
  HTTP (--http-port, default 8600; every response carries Access-Control-Allow-Origin: *)
    /main/templates.aspx          template page, links "/Design.<NO>.aspx"
    /templates/<NO>/files.txt     category key, then one file name per line
    /templates/<NO>/<name>        "<NO>.DPT" (zip, one member "index.DPT") and "<NO>_1.jpg" ...
    /main/Register.aspx, /main/buy.aspx?ID=<did>, /main/shoppingbag.aspx, /main/creatorder.aspx
    POST /Client/Server.aspx      orders Login (demo / demo123), SaveDesign, Uploaded,
                                  each appended to DATA/orders.log as one JSON line
                                  (passwords masked)
    /novrel/ver.xml, /novrel/<file>   the published release (until one is: --version, 3.5.15
                                      by default, with no files)
          --http-rate N: every response body is sent at N bytes a second at most.
  FTP (--ftp-port, default 9021): user ClientUpDesign, home DATA/ftp, passive mode.
          --ftp-rate N: uploads are received at N bytes a second at most;
          --ftp-dialogue: every command and reply is logged (passwords masked).

Run:      /usr/bin/python3 tools/shop/shop.py [--http-port N] [--ftp-port N] [--data DIR] [--version X.Y.Z]
          prints "shop ready http=PORT ftp=PORT" once listening (port 0 picks a free port);
          SIGTERM or SIGINT stops it. With --only http or --only ftp it serves just that one
          (so an FTP server can be stopped and started again while the web site runs) and
          names just its port in the ready line.
Publish:  /usr/bin/python3 tools/shop/shop.py --publish PROGRAM_DIR [--version X.Y.Z] [--data DIR]
          copies the program folder's files into DATA/novrel and lists them in ver.xml;
          the version defaults to the published one with its last number + 1.
DATA defaults to tools/shop/data. Everything else it needs is generated there at start.
"""

import argparse
import datetime
import hashlib
import html
import http.server
import io
import json
import logging
import os
import re
import socket
import shutil
import signal
import struct
import sys
import threading
import time
import urllib.parse
import zipfile
from xml.sax.saxutils import escape, quoteattr

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FTPHandler, ThrottledDTPHandler
from pyftpdlib.servers import FTPServer

CLIENT_VERSION = "3.5.15"
FTP_USER = "ClientUpDesign"
FTP_PASSWORD = "Qv7x2Lm9Rt4Kp8Ws3Hd6Yb1Nf" + "5"
ACCOUNT = {"usr": "demo", "pwd": "demo123", "ID": "1001", "Name": "演示用户"}
MAX_BODY = 1 << 20
# Order fields that hold a password: the order log shows them masked, whatever their length.
PASSWORD_FIELDS = {"pwd"}
PASSWORD_MASK = "******"
# Files of a program folder that are the user's state, not part of a release.
NOT_RELEASED = {"ver.xml", "ver.tmp", "set.xml", "design.lst", "downlist.lst"}

# (seed of the template number, category key, title, page size in points)
TEMPLATES = [
    ("photobook-a", "photobook", "旅行相册", (420, 297)),
    ("photobook-b", "photobook", "成长相册", (420, 297)),
    ("calendar-a", "calendar", "台历", (297, 210)),
]


def template_no(seed):
    return hashlib.md5(seed.encode()).hexdigest().upper()


# ---------------------------------------------------------------- pictures

def _huffman_codes(counts, symbols):
    codes, code, k = {}, 0, 0
    for length in range(1, 17):
        for _ in range(counts[length - 1]):
            codes[symbols[k]] = (code, length)
            code += 1
            k += 1
        code <<= 1
    return codes


DC_COUNTS = [0, 1, 5, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0, 0, 0]
DC_SYMBOLS = list(range(12))
AC_COUNTS = [1] + [0] * 15   # a single code: end of block
AC_SYMBOLS = [0]


def make_jpeg(width, height, colour_at):
    """Baseline JPEG (YCbCr 4:4:4) in which each 8x8 block has one colour.

    Blocks of one colour need only their DC coefficient, which keeps the encoder a few lines
    long while the result is a real JPEG that any decoder reads."""
    def seg(marker, payload):
        return struct.pack(">BBH", 0xFF, marker, len(payload) + 2) + payload

    out = bytearray(b"\xFF\xD8")
    out += seg(0xE0, b"JFIF\x00\x01\x01\x00\x00\x01\x00\x01\x00\x00")
    out += seg(0xDB, b"\x00" + bytes([8] * 64))        # DC quantised by 8: coefficient = level - 128
    out += seg(0xC0, struct.pack(">BHHB", 8, height, width, 3) + b"\x01\x11\x00\x02\x11\x00\x03\x11\x00")
    out += seg(0xC4, b"\x00" + bytes(DC_COUNTS) + bytes(DC_SYMBOLS) + b"\x10" + bytes(AC_COUNTS) + bytes(AC_SYMBOLS))
    out += seg(0xDA, b"\x03\x01\x00\x02\x00\x03\x00\x00\x3F\x00")
    dc, ac = _huffman_codes(DC_COUNTS, DC_SYMBOLS), _huffman_codes(AC_COUNTS, AC_SYMBOLS)
    bits, nbits, data = 0, 0, bytearray()

    def put(value, length):
        nonlocal bits, nbits
        bits, nbits = (bits << length) | value, nbits + length
        while nbits >= 8:
            nbits -= 8
            byte = (bits >> nbits) & 0xFF
            data.append(byte)
            if byte == 0xFF:
                data.append(0)
        bits &= (1 << nbits) - 1

    pred = [0, 0, 0]
    for by in range((height + 7) // 8):
        for bx in range((width + 7) // 8):
            r, g, b = colour_at(bx, by)
            ycc = (0.299 * r + 0.587 * g + 0.114 * b,
                   128 - 0.168736 * r - 0.331264 * g + 0.5 * b,
                   128 + 0.5 * r - 0.418688 * g - 0.081312 * b)
            for c in range(3):
                level = max(0, min(255, round(ycc[c]))) - 128
                diff, pred[c] = level - pred[c], level
                size = abs(diff).bit_length()
                put(*dc[size])
                if size:
                    put(diff if diff > 0 else diff + (1 << size) - 1, size)
                put(*ac[0])
    if nbits:
        put((1 << (8 - nbits)) - 1, 8 - nbits)
    out += data + b"\xFF\xD9"
    return bytes(out)


def page_picture(index, hue):
    """A small picture of coloured tiles, different for every template and page."""
    def colour(bx, by):
        return ((hue * 70 + bx * 12) % 256, (index * 90 + by * 20) % 256, (bx * by * 7 + hue * 40) % 256)
    return make_jpeg(160, 120, colour)


# ---------------------------------------------------------------- templates

def design_xml(no, size):
    """The design document of a template: lengths in points, the template's own pictures
    marked fro "t" (ti "true"), empty frames for the customer's pictures."""
    pw, ph = size

    def el(tag, text):
        return "<%s>%s</%s>" % (tag, escape(str(text)), tag)

    def image(ti, fro, src, x, y, w, h):
        return "<image>" + el("ti", ti) + el("fro", fro) + el("src", src) + el("x", x) + el("y", y) + \
            el("w", w) + el("h", h) + "</image>"

    def sharp(fro, src, x, y, sw, sh, sr):
        return "<sharp>" + el("fro", fro) + el("src", src) + el("x", x) + el("y", y) + \
            el("sw", sw) + el("sh", sh) + el("sr", sr) + "</sharp>"

    def template(title, body):
        return "<template>" + el("title", title) + body + "</template>"

    cover = template("封面", image("true", "t", no + "_1.jpg", 0, 0, pw, ph) +
                     image("false", "", "", pw // 4, ph // 4, pw // 2, ph // 2))
    back = template("封底", image("true", "t", no + "_2.jpg", 0, 0, pw, ph))
    title_page = template("扉页", sharp("t", no + "_2.jpg", 20, 20, pw - 40, ph - 40, 0))
    endpaper = template("环衬", image("true", "t", no + "_1.jpg", 0, 0, pw, ph))
    inner = []
    for i in range(1, 5):
        body = image("false", "", "", 20, 20, pw // 2 - 30, ph - 40)
        if i == 1:
            body += "<group>" + sharp("", "", pw // 2 + 10, 20, pw // 2 - 30, ph // 2 - 30, 15) + "</group>"
        else:
            body += sharp("", "", pw // 2 + 10, 20, pw // 2 - 30, ph - 40, 0)
        inner.append(template("第%d页" % i, body))
    pages = [cover + back, title_page, endpaper, inner[0] + inner[1], inner[2] + inner[3]]
    return "<design><attributes>" + el("name", no) + el("dpi", 300) + "</attributes>" + \
        "".join("<page>" + p + "</page>" for p in pages) + "</design>"


def make_package(xml_text):
    buf = io.BytesIO()
    # Stored, not deflated: the package is tiny and every zip reader, a movie's included, opens it.
    with zipfile.ZipFile(buf, "w", zipfile.ZIP_STORED) as z:
        z.writestr("index.DPT", b"\xFF\xFE" + xml_text.encode("utf-16-le"))
    return buf.getvalue()


def build_templates(data):
    """Writes every template's files under DATA/templates; returns {NO: (category, title, names)}."""
    found = {}
    for hue, (seed, category, title, size) in enumerate(TEMPLATES):
        no = template_no(seed)
        folder = os.path.join(data, "templates", no)
        os.makedirs(folder, exist_ok=True)
        files = {no + ".DPT": make_package(design_xml(no, size)),
                 no + "_1.jpg": page_picture(1, hue), no + "_2.jpg": page_picture(2, hue)}
        for name, content in files.items():
            with open(os.path.join(folder, name), "wb") as f:
                f.write(content)
        with open(os.path.join(folder, "files.txt"), "w", encoding="utf-8", newline="\n") as f:
            f.write(category + "\n" + "".join(name + "\n" for name in files))
        found[no] = (category, title, list(files))
    return found


# ---------------------------------------------------------------- release list

def ver_xml(version, files):
    """files: [(name, size)]; an empty list gives empty files and runs."""
    items = "".join('<file size="%d" Lurl="">%s</file>' % (size, escape(name)) for name, size in files)
    runs = "<runItem>Quorvel</runItem>" if files else ""
    return '<ver><release ver=%s><files>%s</files><runs>%s</runs></release></ver>' % (
        quoteattr(version), items, runs)


def write_atomic(path, content):
    tmp = path + ".part"
    with open(tmp, "wb") as f:
        f.write(content)
    os.replace(tmp, path)


def published_version(novrel):
    try:
        with open(os.path.join(novrel, "ver.xml"), encoding="utf-8") as f:
            m = re.search(r'<release ver="([^"]*)"', f.read())
        return m.group(1) if m else CLIENT_VERSION
    except OSError:
        return CLIENT_VERSION


def publish(data, program_dir, version=None):
    novrel = os.path.join(data, "novrel")
    os.makedirs(novrel, exist_ok=True)
    if version is None:
        parts = published_version(novrel).split(".")
        parts[-1] = str(int(parts[-1]) + 1)
        version = ".".join(parts)
    # Only the folder's own files: its sub-folders hold the user's designs, templates and staging.
    names = sorted(n for n in os.listdir(program_dir)
                   if os.path.isfile(os.path.join(program_dir, n)) and not n.startswith(".")
                   and n.lower() not in NOT_RELEASED)
    if not names:
        raise SystemExit("no files to publish in " + program_dir)
    for old in os.listdir(novrel):
        if old != "ver.xml" and os.path.isfile(os.path.join(novrel, old)):
            os.remove(os.path.join(novrel, old))
    files = []
    for name in names:
        target = os.path.join(novrel, name)
        shutil.copyfile(os.path.join(program_dir, name), target)
        files.append((name, os.path.getsize(target)))
    write_atomic(os.path.join(novrel, "ver.xml"), ver_xml(version, files).encode("utf-8"))
    return version, files


# ---------------------------------------------------------------- web site

def page(title, body):
    return ('<!DOCTYPE html>\n<html><head><meta charset="utf-8"><title>%s</title></head>'
            '<body><h1>%s</h1>%s</body></html>\n' % (title, title, body)).encode("utf-8")


class Shop:
    def __init__(self, data, version):
        self.data = data
        self.templates = build_templates(data)
        self.lock = threading.Lock()
        self.last_id = 0
        novrel = os.path.join(data, "novrel")
        os.makedirs(novrel, exist_ok=True)
        if not os.path.exists(os.path.join(novrel, "ver.xml")):
            write_atomic(os.path.join(novrel, "ver.xml"), ver_xml(version, []).encode("utf-8"))

    def new_design_id(self):
        # Milliseconds keep ids fresh across restarts on the same data folder, so an upload is
        # never appended to the remote file of an earlier design.
        with self.lock:
            self.last_id = max(self.last_id + 1, int(datetime.datetime.now().timestamp() * 1000))
            return "D%d" % self.last_id

    def order(self, fields):
        order = fields.get("Order", "")
        if order == "Login":
            if fields.get("usr") == ACCOUNT["usr"] and fields.get("pwd") == ACCOUNT["pwd"]:
                reply = '<reply flag="ok"><ID>%s</ID><Name>%s</Name></reply>' % (ACCOUNT["ID"], ACCOUNT["Name"])
            else:
                reply = '<reply flag="no"/>'
        elif order == "SaveDesign":
            reply = '<reply flag="ok" did="%s"/>' % self.new_design_id()
        elif order == "Uploaded":
            reply = '<reply flag="ok"/>'
        else:
            reply = '<reply flag="no"/>'
        logged = {k: (PASSWORD_MASK if k in PASSWORD_FIELDS else v) for k, v in fields.items() if k != "Order"}
        entry = {"time": datetime.datetime.now().isoformat(timespec="milliseconds"), "order": order,
                 "fields": logged, "reply": reply}
        with self.lock, open(os.path.join(self.data, "orders.log"), "a", encoding="utf-8") as f:
            f.write(json.dumps(entry, ensure_ascii=False) + "\n")
        return reply

    def get(self, path, query):
        """Returns (status, content type, body)."""
        html_type = "text/html; charset=utf-8"
        if path in ("/", "/main/", "/main/index.aspx"):
            return 200, html_type, page("模板商城", '<p><a href="/main/templates.aspx">选择模板</a></p>'
                                        '<p><a href="/main/Register.aspx">注册</a></p>')
        if path == "/main/templates.aspx":
            items = "".join('<li><a href="/Design.%s.aspx"><img src="/templates/%s/%s_1.jpg" alt=""> %s</a> (%s)</li>'
                            % (no, no, no, html.escape(t), html.escape(c)) for no, (c, t, _) in self.templates.items())
            return 200, html_type, page("选择模板", "<ul>%s</ul>" % items)
        m = re.fullmatch(r"/Design\.([^/]*)\.aspx", path)
        if m:
            return 200, html_type, page("模板", "<p>%s</p>" % html.escape(m.group(1)))
        if path == "/main/Register.aspx":
            return 200, html_type, page("注册", "<p>测试账号：demo，密码：demo123</p>")
        if path == "/main/buy.aspx":
            did = html.escape(query.get("ID", [""])[0])
            return 200, html_type, page("订购", '<p>设计 %s 已提交。</p><p><a href="/main/shoppingbag.aspx">放入购物车</a></p>' % did)
        if path == "/main/shoppingbag.aspx":
            return 200, html_type, page("购物车", '<p><a href="/main/creatorder.aspx">去结算</a></p>')
        if path == "/main/creatorder.aspx":
            return 200, html_type, page("生成订单", '<p><a href="/">提交订单</a></p>')
        m = re.fullmatch(r"/templates/([0-9A-F]{32})/([^/]+)", path)
        if m and m.group(1) in self.templates:
            no, name = m.groups()
            if name == "files.txt" or name in self.templates[no][2]:
                ctype = "text/plain; charset=utf-8" if name == "files.txt" else \
                    "image/jpeg" if name.endswith(".jpg") else "application/octet-stream"
                with open(os.path.join(self.data, "templates", no, name), "rb") as f:
                    return 200, ctype, f.read()
        m = re.fullmatch(r"/novrel/([^/\\]+)", path)
        if m and not m.group(1).startswith(".") and not m.group(1).endswith(".part"):
            file = os.path.join(self.data, "novrel", m.group(1))
            if os.path.isfile(file):
                ctype = "text/xml; charset=utf-8" if m.group(1) == "ver.xml" else "application/octet-stream"
                with open(file, "rb") as f:
                    return 200, ctype, f.read()
        return 404, "text/plain; charset=utf-8", b"not found\n"


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"   # the updater fetches every file over one kept-alive connection

    def end_headers(self):
        self.send_header("Access-Control-Allow-Origin", "*")
        super().end_headers()

    def reply(self, status, ctype, body):
        self.send_response(status)
        self.send_header("Content-Type", ctype)
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        rate = self.server.rate
        # At once, or with a rate a twentieth of a second's worth at a time, each piece once its
        # time has come.
        piece = max(1, rate // 20) if rate else max(1, len(body))
        start = time.monotonic()
        sent = 0
        try:
            while sent < len(body):
                early = start + sent / rate - time.monotonic() if rate else 0
                if early > 0:
                    time.sleep(early)
                self.wfile.write(body[sent:sent + piece])
                sent += piece
        except (BrokenPipeError, ConnectionResetError):
            # The client stopped reading (the updater refuses a file longer than it expects).
            self.close_connection = True
            self.log_message("the client left after %d of %d bytes", sent, len(body))

    def do_GET(self):
        url = urllib.parse.urlsplit(self.path)
        self.reply(*self.server.shop.get(urllib.parse.unquote(url.path), urllib.parse.parse_qs(url.query)))

    def do_OPTIONS(self):
        self.send_response(204)
        self.send_header("Access-Control-Allow-Methods", "GET, POST, OPTIONS")
        self.send_header("Access-Control-Allow-Headers", "*")
        self.send_header("Content-Length", "0")
        self.end_headers()

    def body_length(self):
        length = self.headers.get("Content-Length")
        if length is None:
            # The suite's order request names its header "Content-Length " (with a blank), which
            # ends the standard header parse; look for it among the lines left over.
            payload = self.headers.get_payload()
            for line in payload.splitlines() if isinstance(payload, str) else []:
                name, _, value = line.partition(":")
                if name.strip().lower() == "content-length":
                    length = value
                    # That value counts characters, not bytes: do not trust the framing after it.
                    self.close_connection = True
                    break
        try:
            return int(length.strip())
        except (AttributeError, ValueError):
            return -1

    def do_POST(self):
        length = self.body_length()
        if not 0 <= length <= MAX_BODY:
            self.close_connection = True
            return self.reply(411 if length < 0 else 413, "text/plain; charset=utf-8", b"bad length\n")
        body = self.rfile.read(length).decode("utf-8", "replace")
        if urllib.parse.urlsplit(self.path).path != "/Client/Server.aspx":
            return self.reply(404, "text/plain; charset=utf-8", b"not found\n")
        fields = {}
        for name, value in urllib.parse.parse_qsl(body, keep_blank_values=True):
            fields.setdefault(name, value)
        self.reply(200, "text/xml; charset=utf-8", self.server.shop.order(fields).encode("utf-8"))


# ---------------------------------------------------------------- FTP

def make_ftp(host, port, data, rate=0):
    """rate: bytes a second that an upload is received at, at most; 0 for no limit."""
    home = os.path.join(data, "ftp")
    os.makedirs(home, exist_ok=True)
    authorizer = DummyAuthorizer()
    authorizer.add_user(FTP_USER, FTP_PASSWORD, home, perm="elradfmwMT")
    # Stock behaviour: a new PASV drops the listener and the connection of an earlier one.
    attributes = {"authorizer": authorizer}
    if rate:
        class Throttled(ThrottledDTPHandler):
            read_limit = rate

            def __init__(self, sock, cmd_channel):
                # A small fixed window: otherwise the kernel grows it to megabytes, the client
                # hands the whole rest over long before the slowed server has read it, and
                # what the server holds no longer tells how far the upload has come.
                sock.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 256 * 1024)
                super().__init__(sock, cmd_channel)

        attributes["dtp_handler"] = Throttled
    handler = type("Handler", (FTPHandler,), attributes)
    return FTPServer((host, port), handler)


# ---------------------------------------------------------------- main

def main(argv=None):
    here = os.path.dirname(os.path.abspath(__file__))
    ap = argparse.ArgumentParser(description="Stand-in shop for the suite.")
    ap.add_argument("--host", default="127.0.0.1")
    ap.add_argument("--http-port", type=int, default=8600)
    ap.add_argument("--ftp-port", type=int, default=9021)
    ap.add_argument("--data", default=os.path.join(here, "data"))
    ap.add_argument("--publish", metavar="PROGRAM_DIR")
    ap.add_argument("--version")
    ap.add_argument("--only", choices=("http", "ftp"))
    ap.add_argument("--ftp-rate", type=int, default=0, metavar="BYTES_PER_SECOND")
    ap.add_argument("--http-rate", type=int, default=0, metavar="BYTES_PER_SECOND")
    ap.add_argument("--ftp-dialogue", action="store_true")
    args = ap.parse_args(argv)
    if args.host != "127.0.0.1":
        ap.error("the shop listens on 127.0.0.1 only")
    if args.version is not None and not re.fullmatch(r"\d+(\.\d+)*", args.version):
        ap.error("--version must look like 3.5.16")
    data = os.path.abspath(args.data)
    os.makedirs(data, exist_ok=True)

    if args.publish:
        if not os.path.isdir(args.publish):
            ap.error("no such program folder: " + args.publish)
        version, files = publish(data, args.publish, args.version)
        print("published %s: %d files" % (version, len(files)), flush=True)
        return 0

    logging.basicConfig(level=logging.INFO, format="ftp %(message)s", stream=sys.stderr)
    if args.ftp_dialogue:
        logging.getLogger("pyftpdlib").setLevel(logging.DEBUG)
    ready = []
    httpd = ftpd = None
    if args.only != "ftp":
        httpd = http.server.ThreadingHTTPServer((args.host, args.http_port), Handler)
        httpd.daemon_threads = True
        httpd.shop = Shop(data, args.version or CLIENT_VERSION)
        httpd.rate = args.http_rate
        ready.append("http=%d" % httpd.server_address[1])
    if args.only != "http":
        ftpd = make_ftp(args.host, args.ftp_port, data, args.ftp_rate)
        ready.append("ftp=%d" % ftpd.socket.getsockname()[1])
    stop = threading.Event()
    for sig in (signal.SIGTERM, signal.SIGINT):
        signal.signal(sig, lambda *_: stop.set())
    if httpd:
        threading.Thread(target=httpd.serve_forever, kwargs={"poll_interval": 0.2}, daemon=True).start()
    print("shop ready " + " ".join(ready), flush=True)
    try:
        while not stop.is_set():
            if ftpd:
                ftpd.ioloop.loop(timeout=0.2, blocking=False)
            else:
                stop.wait(0.2)
    finally:
        if ftpd:
            ftpd.close_all()
        if httpd:
            httpd.shutdown()
            httpd.server_close()
    return 0


if __name__ == "__main__":
    sys.exit(main())
