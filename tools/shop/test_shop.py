"""Tests of the stand-in shop: what the suite's programs and movies rely on.

Each test class starts shop.py on free ports of 127.0.0.1 with its own data folder."""

import ctypes
import ftplib
import http.client
import io
import json
import os
import re
import select
import shutil
import signal
import socket
import subprocess
import tempfile
import unittest
import urllib.parse
import zipfile
import xml.etree.ElementTree as ET

HERE = os.path.dirname(os.path.abspath(__file__))
SHOP = os.path.join(HERE, "shop.py")
PYTHON = "/usr/bin/python3"   # Debian's, which has pyftpdlib
FTP_USER = "ClientUpDesign"
FTP_PASSWORD = "Qv7x2Lm9Rt4Kp8Ws3Hd6Yb1Nf5"
SPECIAL_TITLES = {"封面", "封底", "扉页", "环衬"}


def launch(data, *args):
    """shop.py on free ports with its errors in data/shop.err: the process and its first line
    of output ("" when none came within 20 s)."""
    err = open(os.path.join(data, "shop.err"), "wb")
    proc = subprocess.Popen([PYTHON, SHOP, "--http-port", "0", "--ftp-port", "0", "--data", data, *args],
                            stdout=subprocess.PIPE, stderr=err)
    err.close()
    ready, _, _ = select.select([proc.stdout], [], [], 20)
    return proc, proc.stdout.readline().decode() if ready else ""


def start_shop(data, *args):
    proc, line = launch(data, *args)
    m = re.fullmatch(r"shop ready http=(\d+) ftp=(\d+)\n", line)
    if not m:
        proc.kill()
        proc.wait(10)
        raise RuntimeError("shop did not get ready: %r" % line)
    return proc, int(m.group(1)), int(m.group(2))


def stop_shop(proc):
    proc.send_signal(signal.SIGTERM)
    try:
        return proc.wait(10)
    except subprocess.TimeoutExpired:
        proc.kill()
        proc.wait(10)
        return None
    finally:
        proc.stdout.close()


def run_publish(data, program_dir, *extra):
    return subprocess.run([PYTHON, SHOP, "--data", data, "--publish", program_dir, *extra],
                          capture_output=True, timeout=30)


def turbojpeg():
    try:
        tj = ctypes.CDLL("libturbojpeg.so.0")
    except OSError:
        return None
    tj.tjInitDecompress.restype = ctypes.c_void_p
    tj.tjDestroy.argtypes = [ctypes.c_void_p]
    return tj


def decode_jpeg(tj, data):
    """(width, height, RGB bytes) through libjpeg-turbo, the decoder the client uses."""
    handle = ctypes.c_void_p(tj.tjInitDecompress())
    try:
        w, h, sub, cs = (ctypes.c_int() for _ in range(4))
        if tj.tjDecompressHeader3(handle, data, ctypes.c_ulong(len(data)), ctypes.byref(w), ctypes.byref(h),
                                  ctypes.byref(sub), ctypes.byref(cs)) != 0:
            raise ValueError("bad JPEG header")
        buf = (ctypes.c_ubyte * (w.value * h.value * 3))()
        if tj.tjDecompress2(handle, data, ctypes.c_ulong(len(data)), buf, w, 0, h, 0, 0) != 0:
            raise ValueError("bad JPEG data")
        return w.value, h.value, bytes(buf)
    finally:
        tj.tjDestroy(handle)


def socket_get(sock, host, path):
    """One GET written the way the client and the updater write it; returns (header, body)."""
    url = "http://" + host + path
    sock.sendall(("GET %s HTTP/1.1\r\nAccept: */*\r\nAccept: text/html\r\nReferer: %s.html\r\n"
                  "Host: %s\r\nConnection: Keep-Alive\r\n\r\n" % (path, url, host)).encode())
    data = b""
    while b"\r\n\r\n" not in data:
        chunk = sock.recv(65536)
        if not chunk:
            raise ConnectionError("closed before the header ended")
        data += chunk
    head, _, body = data.partition(b"\r\n\r\n")
    m = re.search(rb"\r\nContent-Length: (\d+)\r\n", head + b"\r\n")
    if not m:
        raise AssertionError("no 'Content-Length: ' line in %r" % head)
    while len(body) < int(m.group(1)):
        chunk = sock.recv(65536)
        if not chunk:
            raise ConnectionError("closed inside the body")
        body += chunk
    return head.decode("latin-1"), body


class ShopTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.data = tempfile.mkdtemp(prefix="shop-test-")
        cls.proc, cls.http_port, cls.ftp_port = start_shop(cls.data)

    @classmethod
    def tearDownClass(cls):
        stop_shop(cls.proc)
        shutil.rmtree(cls.data, ignore_errors=True)

    def request(self, method, path, body=None, headers=None):
        conn = http.client.HTTPConnection("127.0.0.1", self.http_port, timeout=10)
        try:
            conn.request(method, path, body=body, headers=headers or {})
            resp = conn.getresponse()
            return resp.status, resp.headers, resp.read()
        finally:
            conn.close()

    def order(self, body):
        status, headers, raw = self.request("POST", "/Client/Server.aspx", body.encode("utf-8"),
                                            {"Content-Type": "application/x-www-form-urlencoded"})
        self.assertEqual(status, 200)
        self.assertEqual(headers["Content-Type"], "text/xml; charset=utf-8")
        self.assertEqual(int(headers["Content-Length"]), len(raw))
        text = raw.decode("utf-8")
        self.assertTrue(text.startswith("<reply "), text)  # first node is the element: no declaration
        return text, ET.fromstring(text)

    def log_entries(self):
        with open(os.path.join(self.data, "orders.log"), encoding="utf-8") as f:
            return [json.loads(line) for line in f]

    def get(self, path):
        status, headers, body = self.request("GET", path)
        self.assertEqual(status, 200, path)
        self.assertEqual(int(headers["Content-Length"]), len(body))
        return body

    def template_numbers(self):
        page = self.get("/main/templates.aspx").decode("utf-8")
        return re.findall(r'href="/Design\.([0-9A-F]{32})\.aspx"', page)

    # ------------------------------------------------------------ server page

    def test_login(self):
        cases = [
            ("right account", "Order=Login&usr=demo&pwd=demo123", "ok"),
            ("wrong password", "Order=Login&usr=demo&pwd=demo124", "no"),
            ("empty fields", "Order=Login&usr=&pwd=", "no"),
            ("encoded letters decode", "Order=Login&usr=%64emo&pwd=demo%31%323", "ok"),
            ("plus is a blank", "Order=Login&usr=demo&pwd=demo+123", "no"),
            ("encoded & stays in the value", "Order=Login&usr=demo&pwd=demo123%26x", "no"),
            ("raw & splits the value", "Order=Login&usr=de&mo&pwd=demo123", "no"),
        ]
        for name, body, flag in cases:
            with self.subTest(name):
                text, root = self.order(body)
                self.assertEqual(root.get("flag"), flag)
                if flag == "ok":
                    self.assertEqual(text, '<reply flag="ok"><ID>1001</ID><Name>演示用户</Name></reply>')
                else:
                    self.assertIsNone(root.find("ID"))

    def test_fields_are_logged_decoded(self):
        self.order("Order=Login&usr=a%2Bb%26c+d%3D&pwd=x")
        self.order("Order=SaveDesign&TemplateNO=A+B%2BC&pCount=4")
        self.order("Order=Uploaded&dNO=中文")
        entries = self.log_entries()[-3:]
        self.assertEqual([e["order"] for e in entries], ["Login", "SaveDesign", "Uploaded"])
        self.assertEqual(entries[0]["fields"], {"usr": "a+b&c d=", "pwd": "******"})
        self.assertEqual(entries[1]["fields"], {"TemplateNO": "A B+C", "pCount": "4"})
        self.assertEqual(entries[2]["fields"], {"dNO": "中文"})

    def test_passwords_never_reach_the_log(self):
        passwords = ["demo123", "Sécret 密码 42", "p"]
        for pwd in passwords:
            _, root = self.order("Order=Login&usr=demo&pwd=" + urllib.parse.quote(pwd))
            self.assertEqual(root.get("flag"), "ok" if pwd == "demo123" else "no")
        entries = self.log_entries()[-len(passwords):]
        self.assertEqual([e["fields"]["pwd"] for e in entries], ["******"] * len(passwords))
        with open(os.path.join(self.data, "orders.log"), encoding="utf-8") as f:
            text = f.read()
        for pwd in passwords[:2]:
            self.assertNotIn(pwd, text)

    def test_save_design_gives_a_fresh_id_each_time(self):
        ids = []
        for _ in range(3):
            _, root = self.order("Order=SaveDesign&TemplateNO=%s&pCount=4" % ("A" * 32))
            self.assertEqual(root.get("flag"), "ok")
            ids.append(root.get("did"))
        for did in ids:
            self.assertRegex(did, r"^D[0-9A-Za-z]+$")
        self.assertEqual(len(set(ids)), 3)
        self.assertEqual(self.log_entries()[-1]["reply"], '<reply flag="ok" did="%s"/>' % ids[-1])

    def test_other_orders(self):
        for body, flag in [("Order=Uploaded&dNO=D1", "ok"), ("Order=Nonsense&x=1", "no"), ("", "no"),
                           ("order=Login&usr=demo&pwd=demo123", "no")]:
            with self.subTest(body):
                text, root = self.order(body)
                self.assertEqual(root.get("flag"), flag)
                if flag == "ok":
                    self.assertEqual(text, '<reply flag="ok"/>')

    def test_order_with_header_name_ending_in_blank(self):
        # The suite's order request names its length header "Content-Length " (with a blank).
        body = "Order=Login&usr=demo&pwd=demo123".encode()
        with socket.create_connection(("127.0.0.1", self.http_port), timeout=10) as s:
            s.sendall(b"POST /Client/Server.aspx HTTP/1.1\r\nHost: 127.0.0.1\r\n"
                      b"Content-Type: application/x-www-form-urlencoded\r\n"
                      b"Content-Length : %d\r\n\r\n" % len(body) + body)
            data = b""
            while b"</reply>" not in data:
                chunk = s.recv(4096)
                if not chunk:
                    break
                data += chunk
        self.assertIn(b" 200 ", data.split(b"\r\n")[0])
        self.assertTrue(data.endswith('<reply flag="ok"><ID>1001</ID><Name>演示用户</Name></reply>'.encode()))

    # ------------------------------------------------------------ web pages

    def test_every_response_allows_any_origin(self):
        for method, path in [("GET", "/main/templates.aspx"), ("GET", "/novrel/ver.xml"), ("GET", "/no/such"),
                             ("POST", "/Client/Server.aspx"), ("GET", "/main/buy.aspx?ID=D1")]:
            with self.subTest(path):
                _, headers, _ = self.request(method, path, b"Order=x" if method == "POST" else None)
                self.assertEqual(headers["Access-Control-Allow-Origin"], "*")

    def test_template_page_links_templates(self):
        numbers = self.template_numbers()
        self.assertGreaterEqual(len(numbers), 3)
        self.assertEqual(len(set(numbers)), len(numbers))
        # The template browser takes any address holding "Design" for a template link.
        self.assertNotIn("Design", "/main/templates.aspx")
        self.get("/Design.%s.aspx" % numbers[0])

    def test_order_pages_lead_from_one_to_the_next(self):
        page = self.get("/main/buy.aspx?ID=D%3Cb%3E42").decode("utf-8")
        self.assertIn("D&lt;b&gt;42", page)
        self.assertIn('href="/main/shoppingbag.aspx"', page)
        self.assertIn('href="/main/creatorder.aspx"', self.get("/main/shoppingbag.aspx").decode("utf-8"))
        last = re.search(r'href="([^"]+)"', self.get("/main/creatorder.aspx").decode("utf-8")).group(1)
        self.assertNotRegex(last, r"(buy|shoppingbag|creatorder)\.aspx")
        self.get(last)
        self.get("/main/Register.aspx")

    # ------------------------------------------------------------ templates

    def test_template_files(self):
        tj = turbojpeg()
        categories = {}
        for no in self.template_numbers():
            with self.subTest(no):
                status, headers, raw = self.request("GET", "/templates/%s/files.txt" % no)
                self.assertEqual(headers["Content-Type"], "text/plain; charset=utf-8")
                lines = raw.decode("utf-8").split("\n")
                self.assertEqual(lines[-1], "")
                category, names = lines[0], lines[1:-1]
                categories.setdefault(category, []).append(no)
                self.assertIn(no + ".DPT", names)
                pictures = [n for n in names if n.lower().split(".")[1:2] != ["dpt"]]
                self.assertIn(no + "_1.jpg", pictures)
                xml = self.check_package(no, self.get("/templates/%s/%s.DPT" % (no, no)))
                for src in xml.iter("src"):
                    if src.text:
                        self.assertIn(src.text, pictures)
                for name in pictures:
                    picture = self.get("/templates/%s/%s" % (no, name))
                    self.assertEqual(picture[:2] + picture[-2:], b"\xFF\xD8\xFF\xD9")
                    if tj:
                        w, h, _ = decode_jpeg(tj, picture)
                        self.assertGreater(w * h, 0)
        self.assertTrue(any(len(v) >= 2 for v in categories.values()), categories)

    def check_package(self, no, package):
        with zipfile.ZipFile(io.BytesIO(package)) as z:
            self.assertEqual(z.namelist(), ["index.DPT"])
            member = z.read("index.DPT")
        self.assertEqual(member[:2], b"\xFF\xFE")
        text = member[2:].decode("utf-16-le")
        self.assertTrue(text.startswith("<"), text[:40])   # the root is the first node
        root = ET.fromstring(text)
        self.assertEqual(root.findtext("attributes/name"), no)
        self.assertGreaterEqual(float(root.findtext("attributes/dpi")), 72)
        templates = root.findall("page/template")
        titles = [t.findtext("title").strip() for t in templates]
        self.assertTrue(SPECIAL_TITLES <= set(titles), titles)
        self.assertTrue(any(t not in SPECIAL_TITLES for t in titles))
        images = root.findall("page/template/image")
        sharps = root.findall("page/template/sharp") + root.findall("page/template/group/sharp")
        groups = root.findall("page/template/group")
        self.assertEqual(len(groups), 1)
        self.assertGreater(len(list(groups[0])), 0)
        for node, children in [(n, ("ti", "fro", "src", "w", "h")) for n in images] + \
                              [(n, ("fro", "src", "sw", "sh", "sr")) for n in sharps]:
            for child in children:
                self.assertIsNotNone(node.find(child), (node.tag, child))
            for child in children[-3:] if node.tag == "sharp" else children[-2:]:
                float(node.findtext(child))
        own = [n for n in images + sharps if n.findtext("src")]
        self.assertTrue(own)
        self.assertTrue(all(n.findtext("fro") != "l" for n in own))
        self.assertTrue(any(not n.findtext("src") for n in images + sharps))   # frames for the customer
        return root

    # ------------------------------------------------------------ update folder

    def test_release_list_before_publishing(self):
        text = self.get("/novrel/ver.xml").decode("utf-8")
        self.assertTrue(text.startswith("<ver"), text)
        root = ET.fromstring(text)
        self.assertEqual(root.tag, "ver")
        self.assertEqual(root[0].get("ver"), "3.5.15")
        self.assertEqual(len(root[0][0]), 0)
        self.assertEqual(len(root[0][1]), 0)

    def test_raw_gets_share_one_connection(self):
        with socket.create_connection(("127.0.0.1", self.http_port), timeout=10) as s:
            host = "127.0.0.1:%d" % self.http_port
            head1, body1 = socket_get(s, host, "/novrel/ver.xml")
            head2, body2 = socket_get(s, host, "/novrel/ver.xml")
            numbers = self.template_numbers()
            head3, body3 = socket_get(s, host, "/templates/%s/%s.DPT" % (numbers[0], numbers[0]))
        self.assertTrue(head1.startswith("HTTP/1.1 200"))
        self.assertEqual(body1, body2)
        self.assertEqual(body3[:2], b"PK")

    # ------------------------------------------------------------ FTP

    def ftp(self, password=FTP_PASSWORD):
        f = ftplib.FTP()
        f.connect("127.0.0.1", self.ftp_port, timeout=10)
        f.login(FTP_USER, password)
        f.set_pasv(True)
        return f

    def test_ftp_refuses_a_wrong_password(self):
        f = ftplib.FTP()
        f.connect("127.0.0.1", self.ftp_port, timeout=10)
        try:
            with self.assertRaises(ftplib.error_perm):
                f.login(FTP_USER, FTP_PASSWORD[:-1])
        finally:
            f.close()

    def test_ftp_append_resumes(self):
        package = os.urandom(300000)
        f = self.ftp()
        try:
            f.voidcmd("TYPE I")
            with self.assertRaises(ftplib.error_perm) as missing:
                f.size("D900")
            self.assertTrue(str(missing.exception).startswith("550"))
            f.storbinary("STOR D900", io.BytesIO(package[:123457]))
            held = f.size("D900")
            self.assertEqual(held, 123457)
            f.storbinary("APPE D900", io.BytesIO(package[held:]))
            got = io.BytesIO()
            f.retrbinary("RETR D900", got.write)
            self.assertEqual(got.getvalue(), package)
            f.delete("D900")
            self.assertNotIn("D900", f.nlst())
        finally:
            f.quit()

    def test_ftp_latest_pasv_carries_the_data(self):
        # The uploader's dialogue: a data connection on the first PASV, then "type i" and a second
        # PASV sent without waiting. The server drops the first connection; the second carries
        # the data, appended to what the server held.
        rest = os.urandom(70000)
        f = self.ftp()
        try:
            f.storbinary("STOR D901", io.BytesIO(b"head"))
            first = socket.create_connection(ftplib.parse227(f.sendcmd("PASV")), timeout=10)
            f.putcmd("type i")
            f.putcmd("PASV")
            self.assertTrue(f.getresp().startswith("200"))
            second = socket.create_connection(ftplib.parse227(f.getresp()), timeout=10)
            try:
                self.assertEqual(first.recv(1), b"")   # closed by the second PASV
            except ConnectionResetError:
                pass
            first.close()
            self.assertEqual(f.sendcmd("size D901"), "213 4")
            self.assertRegex(f.sendcmd("APPE D901"), r"^1(25|50) ")
            second.sendall(rest)
            second.close()
            self.assertTrue(f.voidresp().startswith("226"))
            got = io.BytesIO()
            f.retrbinary("RETR D901", got.write)
            self.assertEqual(got.getvalue(), b"head" + rest)
        finally:
            f.quit()


class OneServerTest(unittest.TestCase):
    """--only: the FTP server alone (throttled, logging its dialogue), or the web site alone
    (throttled)."""

    def setUp(self):
        self.data = tempfile.mkdtemp(prefix="shop-test-")

    def tearDown(self):
        shutil.rmtree(self.data, ignore_errors=True)

    def start(self, *args):
        proc, line = launch(self.data, *args)
        self.addCleanup(stop_shop, proc)
        return line

    def test_ftp_alone_throttled_logs_its_dialogue(self):
        line = self.start("--only", "ftp", "--ftp-rate", "400000", "--ftp-dialogue")
        m = re.fullmatch(r"shop ready ftp=(\d+)\n", line)
        self.assertTrue(m, line)
        package = os.urandom(500000)
        f = ftplib.FTP()
        f.connect("127.0.0.1", int(m.group(1)), timeout=10)
        try:
            f.login(FTP_USER, FTP_PASSWORD)
            f.storbinary("APPE D902", io.BytesIO(package))
        finally:
            f.quit()
        with open(os.path.join(self.data, "ftp", "D902"), "rb") as got:
            self.assertEqual(got.read(), package)
        self.assertFalse(os.path.exists(os.path.join(self.data, "templates")), "the FTP server alone made templates")
        with open(os.path.join(self.data, "shop.err"), encoding="utf-8") as log:
            text = log.read()
        self.assertIn("<- APPE D902", text)
        self.assertIn("-> 226 ", text)
        self.assertIn("<- PASS ******", text)
        self.assertNotIn(FTP_PASSWORD, text)

    def test_web_site_alone_throttled(self):
        program = os.path.join(self.data, "program")
        os.makedirs(program)
        release = os.urandom(300000)
        with open(os.path.join(program, "Quorvel"), "wb") as f:
            f.write(release)
        self.assertEqual(run_publish(self.data, program).returncode, 0)
        line = self.start("--only", "http", "--http-rate", "1000000")
        m = re.fullmatch(r"shop ready http=(\d+)\n", line)
        self.assertTrue(m, line)
        with socket.create_connection(("127.0.0.1", int(m.group(1))), timeout=10) as s:
            head, body = socket_get(s, "127.0.0.1:" + m.group(1), "/novrel/ver.xml")
            _, served = socket_get(s, "127.0.0.1:" + m.group(1), "/novrel/Quorvel")
        self.assertTrue(head.startswith("HTTP/1.1 200"), head)
        self.assertIn(b'<file size="300000" Lurl="">Quorvel</file>', body)
        self.assertTrue(served == release, "the throttled file arrived changed")
        self.assertFalse(os.path.exists(os.path.join(self.data, "ftp")), "the web site alone made the FTP home")


class PublishTest(unittest.TestCase):
    def setUp(self):
        self.data = tempfile.mkdtemp(prefix="shop-test-")
        self.program = os.path.join(self.data, "program")
        os.makedirs(os.path.join(self.program, "MyDesign", "a"))
        self.files = {"Quorvel": os.urandom(5000), "upload": os.urandom(3000), "Novrel": b"",
                      "WelCome.ctr": "<html>欢迎</html>".encode()}
        for name, content in dict(self.files, **{"ver.tmp": b"<ver/>", "set.xml": b"<x/>",
                                                 "MyDesign/a/a.DPT": b"x"}).items():
            with open(os.path.join(self.program, name), "wb") as f:
                f.write(content)

    def tearDown(self):
        shutil.rmtree(self.data, ignore_errors=True)

    def release(self, port):
        with socket.create_connection(("127.0.0.1", port), timeout=10) as s:
            host = "127.0.0.1:%d" % port
            _, text = socket_get(s, host, "/novrel/ver.xml")
            release = ET.fromstring(text)[0]
            files = {f.text: (int(f.get("size")), f.get("Lurl")) for f in release[0]}
            served = {name: socket_get(s, host, "/novrel/" + name)[1] for name in files}
        return release.get("ver"), files, [r.text for r in release[1]], served

    def test_publish_newer_releases(self):
        proc, port, _ = start_shop(self.data)
        self.http_port = port
        try:
            self.assertEqual(run_publish(self.data, self.program).returncode, 0)
            version, files, runs, served = self.release(port)
            self.assertEqual(version, "3.5.16")
            self.assertEqual(files, {name: (len(c), "") for name, c in self.files.items()})
            self.assertEqual(served, self.files)
            self.assertEqual(runs, ["Quorvel"])

            os.remove(os.path.join(self.program, "upload"))
            self.assertEqual(run_publish(self.data, self.program, "--version", "4.0.9").returncode, 0)
            self.assertEqual(run_publish(self.data, self.program).returncode, 0)
            version, files, _, _ = self.release(port)
            self.assertEqual(version, "4.0.10")
            self.assertNotIn("upload", files)
            self.assertEqual(ShopTest.request(self, "GET", "/novrel/upload")[0], 404)
        finally:
            self.assertEqual(stop_shop(proc), 0)

    def test_web_site_starts_with_an_empty_release_of_its_version(self):
        proc, port, _ = start_shop(self.data, "--version", "4.2.7")
        try:
            self.assertEqual(self.release(port), ("4.2.7", {}, [], {}))
        finally:
            self.assertEqual(stop_shop(proc), 0)
        proc, line = launch(self.data, "--version", "4.x")
        self.assertEqual((line, proc.wait(10)), ("", 2))
        proc.stdout.close()

    def test_publish_refuses_a_bad_version(self):
        result = run_publish(self.data, self.program, "--version", "4.x")
        self.assertNotEqual(result.returncode, 0)
        self.assertFalse(os.path.exists(os.path.join(self.data, "novrel", "ver.xml")))


if __name__ == "__main__":
    unittest.main()
