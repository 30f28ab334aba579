"""The uploader's road when the uploader itself is killed halfway through a large upload: started
again, it brings the task back from its task list as unfinished, waits for the person's start
click, then appends after what the server holds, and the remote file ends byte-identical."""

import os
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

import designs  # noqa: E402
from harness.config import Config  # noqa: E402
from harness.road import Road  # noqa: E402
from harness.waits import wait_until  # noqa: E402

NAME = "旅行相册 重启"
RATE = 3000000     # bytes a second the server takes: some 12 s for the package
KILL_AT = 0.4      # share of the package the server holds when the uploader is killed


class UploaderKilled(unittest.TestCase):
    def test_killed_uploader_resumes_after_the_start_click(self):
        with Road(Config.from_environment(), "uploader_killed", ftp_rate=RATE) as road:
            uploader, design, size = designs.start_large_upload(self, road, NAME)
            did = design.did

            # The shot comes before the kill's mark: on a loaded machine it may take seconds, in
            # which the uploader could hand the rest of the package to the network.
            wait_until(lambda: road.ftp.remote_size(did) > 0, 60, "the upload to begin")
            uploader.shot("uploading")
            wait_until(lambda: road.ftp.remote_size(did) >= KILL_AT * size, 60,
                       "the server to hold %d%% of the package" % (KILL_AT * 100))
            uploader.kill()
            # The server ends the transfer whose sender is gone; what it holds then is where a
            # resume has to begin.
            first = road.ftp.wait_transfers(did, 1, 30)[0]
            held = road.ftp.remote_size(did)
            road.note("the server holds %d of %d bytes" % (held, size))
            self.assertEqual(first["bytes"], held)
            self.assertLess(held, size, "the upload ended before the uploader was killed")
            self.assertEqual(uploader.task(did), {"dno": design.name, "wdno": did, "uped": "False", "real": "False"})
            road.shot("uploader-killed")

            sessions = len(road.ftp.sessions())
            uploader.start(label="upload-2")
            uploader.wait_window(30)
            uploader.wait_row(1, 15, name=design.name, status="未完成的上传任务", start=True)
            self.assertEqual(len(uploader.rows()), 1)
            uploader.shot("unfinished-task")
            # Nothing went out by itself.
            self.assertEqual(len(road.ftp.sessions()), sessions)
            self.assertEqual(road.ftp.remote_size(did), held)

            uploader.click_start(1)
            uploader.wait_row(1, 15, start=False)
            uploader.shot("started-again")
            second = road.ftp.wait_transfers(did, 2, 60)[1]
            uploader.wait_task(did, 30, uped="True", real="True")
            uploader.wait_row(1, 15, status="上传成功!")
            uploader.shot("uploaded")

            # One session after the click: it found what the server held and appended the rest.
            resumed = list(road.ftp.sessions().values())[sessions:]
            self.assertEqual(len(resumed), 1, "sessions after the click: %r" % resumed)
            self.assertIn("-> 213 %d" % held, resumed[0])
            self.assertEqual(second, {"command": "APPE", "completed": True, "bytes": size - held})
            designs.check_upload_finished(self, road, uploader, design)
            designs.check_upload_package(self, design)


if __name__ == "__main__":
    unittest.main()
