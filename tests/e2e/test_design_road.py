"""The design road under a real X session: from a template link to the hand-over of the upload."""

import os
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

import designs  # noqa: E402
from harness.config import Config  # noqa: E402
from harness.road import Road  # noqa: E402

NAME = "旅行相册 E2E"


class DesignRoad(unittest.TestCase):
    def test_template_link_to_handover_without_uploader(self):
        with Road(Config.from_environment(), "design_road") as road:
            # An installation that lacks its uploader: the client hands over and says it cannot
            # start it.
            folder = road.program_folder(without=("upload",))
            client, design = designs.make_design(road, NAME, folder=folder)
            designs.check_template_stored(self, road, design)
            designs.check_design_package(self, design)

            designs.upload_design(client, design)
            client.dismiss_no_uploader()
            client.wait_order_page(design.did)
            designs.check_handover(self, road, design)
            designs.check_orders(self, road, design)
            designs.check_upload_package(self, design)
            client.wait_workspace_closed()


if __name__ == "__main__":
    unittest.main()
