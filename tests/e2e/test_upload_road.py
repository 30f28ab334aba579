"""The uploader's road under a real X session: the design road, then the hand-over through the X
clipboard to the uploader that the client starts, the row's upload over FTP, the server's "226",
the completion order and the task list's record of it."""

import os
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

import designs  # noqa: E402
from harness.config import Config  # noqa: E402
from harness.road import Road  # noqa: E402
from harness.waits import wait_until  # noqa: E402

NAME = "旅行相册 上传"
# Bytes a second the FTP server takes: the package of some 3.5 MB takes a few seconds, long
# enough to see the row on its way.
RATE = 1000000


class UploadRoad(unittest.TestCase):
    def test_design_uploaded_and_confirmed(self):
        with Road(Config.from_environment(), "upload_road", ftp_rate=RATE) as road:
            folder = road.program_folder()
            client, design = designs.make_design(road, NAME, folder=folder)
            designs.check_design_package(self, design)
            # The client puts the hand-over on the clipboard and starts the uploader, which takes it
            # from there: a new task, and the clipboard empty.
            uploader = designs.send_to_uploader(road, client, design)
            # (The loopback's buffers may take the whole package at once: "uped" may be "True" already.)
            task = uploader.wait_task(design.did, 15)
            self.assertEqual((task["dno"], task["real"]), (design.name, "False"))
            wait_until(lambda: not road.session.clipboard_text(), 15, "the uploader to empty the clipboard")
            uploader.shot("uploader-took-task")

            size = os.path.getsize(design.upload_package)
            wait_until(lambda: road.ftp.remote_size(design.did) > 0, 30, "the upload to get under way")
            uploader.shot("uploading")

            transfer = road.ftp.wait_transfers(design.did, 1, 60)[-1]
            self.assertEqual(transfer, {"command": "APPE", "completed": True, "bytes": size})
            uploader.wait_task(design.did, 15, uped="True")
            road.shop.wait_order("Uploaded", 1, 20)
            uploader.wait_task(design.did, 15, real="True")
            total_kb = (size - 1) // 1024
            row = uploader.wait_row(1, 15, status="上传成功!")
            self.assertEqual(row, dict(row, sent="(%dKB/%dKB)" % (total_kb, total_kb), reupload=True, start=False))
            self.assertEqual(len(uploader.rows()), 1)
            uploader.shot("uploaded")

            self.check_dialogue(road, design)
            designs.check_upload_finished(self, road, uploader, design)
            designs.check_orders(self, road, design)
            designs.check_upload_package(self, design)
            client.wait_workspace_closed()

            # The client ends while the uploader runs on: the web engine's helpers end
            # with the client (the uploader holds none of the client's connections to them).
            self.assertTrue(client.terminate(), "the client had no web engine helpers")
            uploader.wait_row(1, 5, status="上传成功!")
            road.shot("client-ended")

    def check_dialogue(self, road, design):
        """The row's one session: its append answered by "226", then "QUIT"."""
        appends = road.ftp.sessions_appending(design.did)
        self.assertEqual(len(appends), 1, "sessions that appended: %r" % appends)
        lines = appends[0]
        after = lines[lines.index("<- APPE " + design.did) + 1:]
        self.assertTrue(any(line.startswith("-> 226 ") for line in after), "no 226 after the append: %r" % lines)
        self.assertIn("<- QUIT", [line.rstrip() for line in after])


if __name__ == "__main__":
    unittest.main()
