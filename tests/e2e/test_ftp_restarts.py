"""The uploader's road while the FTP server goes away: a design of tens of MB whose upload the
server, slowed down, loses three times when it is stopped and started again. The row retries by
itself each time, appends after what the server holds, and the remote file ends byte-identical."""

import os
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

import designs  # noqa: E402
from harness.config import Config  # noqa: E402
from harness.road import Road  # noqa: E402
from harness.waits import wait_until  # noqa: E402

NAME = "旅行相册 断线"
RATE = 3000000              # bytes a second the server takes: some 12 s for the package
STOPS = (0.1, 0.3, 0.5)     # shares of the package the server holds at least when it is stopped


class FtpRestarts(unittest.TestCase):
    def test_upload_survives_three_server_restarts(self):
        with Road(Config.from_environment(), "ftp_restarts", ftp_rate=RATE) as road:
            uploader, design, size = designs.start_large_upload(self, road, NAME)
            self.assertGreater(size, 20 << 20, "the package is too small to be stopped in its upload")
            did = design.did

            held = []
            for n, share in enumerate(STOPS, 1):
                wait_until(lambda: road.ftp.remote_size(did) >= share * size, 60,
                           "the server to hold %d%% of the package" % (share * 100))
                road.ftp.stop()
                held.append(road.ftp.remote_size(did))
                road.note("FTP server stopped holding %d of %d bytes" % (held[-1], size))
                self.assertLess(held[-1], size, "the upload ended before the server was stopped")
                # The row notices the lost connection and says it tries again in 5 s; the
                # server is back before then.
                uploader.wait_row(1, 15, status="上传失败(5秒后第%d次自动开始)" % n, start=True)
                uploader.shot("server-stopped-%d" % n)
                road.ftp.start()
                wait_until(lambda: road.ftp.remote_size(did) > held[-1], 30,
                           "the row to append after the %d bytes the server holds" % held[-1])
                uploader.shot("resumed-%d" % n)

            transfers = road.ftp.wait_transfers(did, len(STOPS) + 1, 60)
            uploader.wait_task(did, 30, uped="True", real="True")
            uploader.wait_row(1, 15, status="上传成功!")
            uploader.shot("uploaded")

            # Four appends, each after what the server held: nothing sent twice, nothing left out.
            marks = [0] + held + [size]
            self.assertEqual([(t["command"], t["bytes"]) for t in transfers],
                             [("APPE", marks[i + 1] - marks[i]) for i in range(len(marks) - 1)])
            self.assertTrue(transfers[-1]["completed"])
            # Each session's size query: nothing held at first, then what the server held.
            self.assertEqual([next(l[:7] if l.startswith("-> 550 ") else l for l in lines
                                   if l.startswith("-> 213 ") or l.startswith("-> 550 "))
                              for lines in road.ftp.sessions_appending(did)],
                             ["-> 550 "] + ["-> 213 %d" % h for h in held])
            self.assertFalse(any(l.startswith("<- DELE") for lines in road.ftp.sessions().values() for l in lines))
            designs.check_upload_finished(self, road, uploader, design)
            designs.check_upload_package(self, design)


if __name__ == "__main__":
    unittest.main()
