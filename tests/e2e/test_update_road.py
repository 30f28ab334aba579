"""The update road under a real X session: the installed client has made a design; the shop
publishes the build's next release; at its next start the client asks, the person says yes, the
updater downloads the release with its bars moving, installs it and starts the new client, which
opens the design in a workspace titled with the new version and asks nothing any more."""

import os
import stat
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

import designs  # noqa: E402
import updates  # noqa: E402
from harness import files  # noqa: E402
from harness.client import UPDATE_QUESTION  # noqa: E402
from harness.config import Config  # noqa: E402
from harness.processes import executable_of, pids_of, wait_one  # noqa: E402
from harness.road import Road  # noqa: E402
from harness.waits import wait_until  # noqa: E402

NAME = "成长相册 更新前"
# Bytes a second the shop sends: the release of some 32 MB takes six seconds or so, long enough
# to see the updater's window on its way through the client's file.
RATE = 5000000


class UpdateRoad(unittest.TestCase):
    def test_update_installs_the_next_release_and_starts_it(self):
        config = Config.from_environment()
        with Road(config, "update_road", http_rate=RATE) as road:
            folder = road.program_folder()
            # The installed client makes a design while the shop offers no other release.
            client, _ = designs.start_design(road, NAME, "photobook-b", folder)
            client.workspace_window(config.version)
            client.terminate()

            published = updates.publish_next(road)
            self.assertFalse(files.same_bytes(os.path.join(folder, "Quorvel"),
                                              os.path.join(config.next_program_dir, "Quorvel")),
                             "the next release's client is the installed one")
            asking, updater, before = updates.start_client_and_update(self, road, folder)
            listed = os.path.join(folder, "ver.tmp")
            asked_with = self.file_identity(listed)
            self.assertFalse(pids_of(os.path.join(folder, "Quorvel")), "a client runs beside the updater")

            updater.wait_window()
            shown = updater.wait_file("Quorvel", 60)
            road.shot("updater-downloading")
            road.note("the updater's window: %r" % shown["lines"])
            self.assertEqual((shown["index"], shown["count"]), (list(published).index("Quorvel"), len(published)))
            self.assertLessEqual(abs(shown["kb"] - published["Quorvel"] / 1024), 0.5)
            updater.wait_ended(90)

            self.check_installed(road, folder, published, before)
            self.assertEqual(updater.staged(config.next_version), [], "files stayed in the staging folder")

            # The client the updater started is the new one, from the installed file.
            process = wait_one(os.path.join(folder, "Quorvel"), "the new client", 15)
            self.assertEqual(executable_of(process.pid), os.path.realpath(os.path.join(folder, "Quorvel")))
            self.assertTrue(files.same_bytes("/proc/%d/exe" % process.pid,
                                             os.path.join(config.next_program_dir, "Quorvel")),
                            "the running client is not the next release's")
            # It inherited the DevTools port through the updater from the client that asked.
            new = road.follow_client(process, folder, asking.devtools.port)
            new.open_design(NAME)
            new.workspace_window(config.next_version)
            # It fetched the release list again at its start (its copy is made anew: the updater
            # never writes it), and asked the person nothing.
            wait_until(lambda: self.file_identity(listed) != asked_with and self.read(listed) == road.shop.release_list(),
                       15, "the new client's copy of the release list")
            self.assertEqual(road.session.windows(UPDATE_QUESTION), [], "the new client asks to update again")

    @staticmethod
    def file_identity(path):
        try:
            st = os.stat(path)
        except FileNotFoundError:
            return None
        return st.st_ino, st.st_mtime_ns

    @staticmethod
    def read(path):
        with open(path, "rb") as f:
            return f.read()

    def check_installed(self, road, folder, published, before):
        """Every file of the release installed byte for byte, each with the permissions of the
        file it replaced, the programs runnable; nothing else of the folder changed (but the
        client's copy of the release list, which the new client is fetching again)."""
        after = updates.program_state(folder)
        for name in published:
            self.assertTrue(files.same_bytes(os.path.join(folder, name), os.path.join(road.shop.release_folder, name)),
                            "%s differs from the published one" % name)
            self.assertEqual(after[name][0], before[name][0], "%s changed its permissions" % name)
        for program in ("Quorvel", "Novrel", "upload"):
            self.assertTrue(after[program][0] & stat.S_IXUSR, "%s is not executable" % program)

        def others(state):
            return {k: v for k, v in state.items() if k not in published and k != "ver.tmp"}
        self.assertEqual(others(after), others(before))


if __name__ == "__main__":
    unittest.main()
