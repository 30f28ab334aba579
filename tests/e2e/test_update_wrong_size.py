"""A release whose list gives one file a wrong size installs nothing: the updater says the
update server is under maintenance, ends when the message is closed, starts no client, and the
program folder is as it was."""

import os
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

import updates  # noqa: E402
from harness import files  # noqa: E402
from harness.config import Config  # noqa: E402
from harness.processes import pids_running_from  # noqa: E402
from harness.road import Road  # noqa: E402

MAINTENANCE = "\n\n" + " " * 12 + "自动更新服务器维护中请稍后再试!" + " " * 11 + "\n\n"

# (file, its listed size less the size served)
CASES = (
    # The last file listed one byte longer: the whole release arrives, and its check before the
    # installation refuses it, though every file before that one came right.
    ("waiting.ctr", 1),
    # The client listed one byte shorter: its reply is refused as soon as its length is known.
    ("Quorvel", -1),
)


class UpdateWrongSize(unittest.TestCase):
    def test_release_with_one_wrong_size_installs_nothing(self):
        config = Config.from_environment()
        with Road(config, "update_wrong_size") as road:
            folder = road.program_folder()
            for name, change in CASES:
                with self.subTest(file=name, change=change):
                    published = updates.publish_next(road)
                    road.shop.list_size(name, published[name] + change)
                    road.note("%s listed with %d bytes, served with %d" % (name, published[name] + change,
                                                                         published[name]))
                    _, updater, before = updates.start_client_and_update(self, road, folder)
                    box, read = updater.wait_message(60)
                    road.shot("maintenance-%s" % name)
                    self.assertEqual(read["text"], MAINTENANCE)
                    box.key("Return")
                    updater.wait_ended(15)
                    road.shot("updater-ended-%s" % name)

                    self.assertEqual(updates.program_state(folder), before, "the program folder changed")
                    self.assertEqual(pids_running_from(folder), [], "a program runs after the refused update")
                    if change > 0:
                        # Every file had arrived, unchanged, and stayed where it was staged.
                        self.assertEqual(updater.staged(config.next_version), sorted(published))
                        for f in published:
                            self.assertTrue(files.same_bytes(os.path.join(updater.staging(config.next_version), f),
                                                             os.path.join(road.shop.release_folder, f)), f)


if __name__ == "__main__":
    unittest.main()
