"""Tests of tools/run.sh with a stand-in client: it starts the shop on the ports the build was
configured with, a second run while one runs uses the running shop, and the shop ends with the run
that started it."""

import http.client
import os
import shutil
import signal
import socket
import subprocess
import tempfile
import time
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
RUN = os.path.join(HERE, "..", "run.sh")

# Stands in for the client: notes its start, and with HOLD set waits (bounded) for that file.
CLIENT = """#!/bin/sh
echo "client $*" >> "$CLIENT_LOG"
if [ -n "${HOLD:-}" ]; then
  for i in $(seq 300); do [ -e "$HOLD" ] && exit 0; sleep 0.1; done
  exit 3
fi
"""


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def wait_for(predicate, seconds=20):
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        if predicate():
            return True
        time.sleep(0.05)
    return predicate()


class RunScriptTest(unittest.TestCase):
    def setUp(self):
        self.build = tempfile.mkdtemp(prefix="run-test-")
        self.addCleanup(shutil.rmtree, self.build, True)
        self.http_port, self.ftp_port = free_port(), free_port()
        with open(os.path.join(self.build, "CMakeCache.txt"), "w") as f:
            f.write("QUORVEL_SHOP_HOST:STRING=127.0.0.1:%d\nQUORVEL_FTP_PORT:STRING=%d\n"
                    % (self.http_port, self.ftp_port))
        os.makedirs(os.path.join(self.build, "program"))
        client = os.path.join(self.build, "program", "Quorvel")
        with open(client, "w") as f:
            f.write(CLIENT)
        os.chmod(client, 0o755)
        self.client_log = os.path.join(self.build, "client.log")
        self.release = os.path.join(self.build, "release")

    def env(self, hold):
        env = dict(os.environ, BUILD_DIR=self.build, CLIENT_LOG=self.client_log)
        if hold:
            env["HOLD"] = self.release
        return env

    @staticmethod
    def stop_group(proc):
        try:
            os.killpg(proc.pid, signal.SIGTERM)
        except ProcessLookupError:
            pass
        proc.wait(10)

    def shop_answers(self):
        try:
            conn = http.client.HTTPConnection("127.0.0.1", self.http_port, timeout=2)
            conn.request("GET", "/main/templates.aspx")
            ok = conn.getresponse().status == 200
            conn.close()
            return ok
        except OSError:
            return False

    def client_starts(self):
        if not os.path.exists(self.client_log):
            return []
        with open(self.client_log) as f:
            return f.read().splitlines()

    def test_second_run_uses_the_running_shop(self):
        # In a session of its own, so a failing test stops the run and the shop it started together.
        first = subprocess.Popen(["bash", RUN, "one"], env=self.env(hold=True), start_new_session=True,
                                 stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.addCleanup(self.stop_group, first)
        self.assertTrue(wait_for(lambda: self.client_starts() == ["client one"]), self.client_starts())
        self.assertTrue(self.shop_answers(), "the first run's shop listens on the build's port")
        with open(os.path.join(self.build, "shop.log")) as f:
            first_log = f.read()
        self.assertIn("shop ready http=%d ftp=%d" % (self.http_port, self.ftp_port), first_log)

        second = subprocess.run(["bash", RUN, "two"], env=self.env(hold=False), start_new_session=True,
                                capture_output=True, text=True, timeout=60)
        self.assertEqual(second.returncode, 0, second.stderr)
        self.assertIn("a shop already answers on 127.0.0.1:%d; using it" % self.http_port, second.stderr)
        self.assertEqual(self.client_starts(), ["client one", "client two"])
        with open(os.path.join(self.build, "shop.log")) as f:
            log = f.read()
        self.assertTrue(log.startswith(first_log) and log.count("shop ready") == 1, "no second shop was started")
        self.assertTrue(self.shop_answers(), "the second run left the running shop alone")

        open(self.release, "w").close()
        self.assertEqual(first.wait(30), 0)
        self.assertTrue(wait_for(lambda: not self.shop_answers()), "the first run stops the shop it started")


if __name__ == "__main__":
    unittest.main()
