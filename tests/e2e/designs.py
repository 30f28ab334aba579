"""The design road that the end-to-end tests share: a design made from a template link, filled
with generated photos, saved and sent to the shop, and the checks of what that leaves behind.
The uploader's and the update roads start from start_design, make_design and upload_design (or
start_large_upload); the checks of an upload's end (the remote file, the completion order, the
task list) are here too."""

import math
import os
import xml.etree.ElementTree as ET
from dataclasses import dataclass, field

from harness import packages
from harness.client import template_link
from harness.photos import make_grainy_photo, make_photo
from harness.uploader import Uploader
from harness.waits import WaitTimeout, wait_until

USER, PASSWORD = "demo", "demo123"
UNPRINTED = ("封面", "封底", "扉页", "环衬")   # titles of the templates that are not counted as pages


@dataclass
class Design:
    name: str
    template_no: str
    folder: str                                  # the program folder the client runs from
    photos: dict = field(default_factory=dict)   # file name -> generated photo
    did: str = ""

    @property
    def design_folder(self):
        return os.path.join(self.folder, "MyDesign", self.name)

    @property
    def package(self):
        return os.path.join(self.design_folder, self.name + ".DPT")

    @property
    def upload_package(self):
        return os.path.join(self.design_folder, "UpLoad", self.name + ".TMP")


def generate_photos(road):
    """A photo larger than any frame needs at print resolution and one smaller than every frame."""
    folder = road.path("photos")
    return {"big.jpg": make_photo(os.path.join(folder, "big.jpg"), 2400, 1800, 7, "red-blue"),
            "small.jpg": make_photo(os.path.join(folder, "small.jpg"), 320, 240, 9, "green-yellow")}


def grainy_photos(road):
    """One photo that every frame takes unchanged (it is no wider than any frame at print
    resolution) and that hardly compresses: some 3.7 MB, so a design of it uploads tens of MB."""
    return {"grain.jpg": make_grainy_photo(road.path("photos", "grain.jpg"), 700, 2000, 5)}


def only_grain(i):
    return "grain.jpg"


def alternate(i):
    """Big and small photos by turns, so both kinds land in both kinds of frame."""
    return "big.jpg" if i % 2 == 0 else "small.jpg"


def start_design(road, name, template_seed="photobook-a", folder=None):
    """From the template link on the command line to the named design's workspace."""
    no = road.shop.template_no(template_seed)
    client = road.start_client(template_link(no), folder=folder)
    design = Design(name, no, client.folder)
    client.wait_template_downloaded()
    client.name_design(name)
    client.wait_workspace()
    return client, design


def make_design(road, name, template_seed="photobook-a", choose=alternate, folder=None, photos=None):
    """From the template link on the command line to a saved design with a photo in every frame;
    photos: {file name: photo} to import (generate_photos by default), choose(i) names frame i's."""
    photos = photos or generate_photos(road)
    client, design = start_design(road, name, template_seed, folder)
    design.photos = photos
    client.import_photos(list(photos.values()))
    client.place_photos(choose)
    client.save_design()
    return client, design


def upload_design(client, design):
    design.did = client.upload_design(USER, PASSWORD)
    return design.did


def send_to_uploader(road, client, design):
    """Sends the design to the shop; once the order page shows, the uploader that the client
    started shows the design's row (the first)."""
    upload_design(client, design)
    client.wait_order_page(design.did)
    uploader = Uploader(road, design.folder)
    uploader.wait_window(30)
    uploader.wait_row(1, 15, name=design.name)
    return uploader


def start_large_upload(test, road, name):
    """A design of grainy photos, in a program folder with the uploader, sent to the uploader:
    (the uploader, the design, the bytes of its upload package, tens of MB)."""
    client, design = make_design(road, name, folder=road.program_folder(), photos=grainy_photos(road),
                                 choose=only_grain)
    check_design_package(test, design, only_grain)
    uploader = send_to_uploader(road, client, design)
    return uploader, design, os.path.getsize(design.upload_package)


# ---------------------------------------------------------------- checks

def check_template_stored(test, road, design):
    """The template package the downloader streamed is the shop's, byte for byte."""
    stored = os.path.join(design.folder, "Template", design.template_no + ".DPT")
    with open(stored, "rb") as a, open(road.shop.template_file(design.template_no, design.template_no + ".DPT"), "rb") as b:
        test.assertEqual(a.read(), b.read(), "the stored template package differs from the shop's")
    with open(os.path.join(design.folder, "Design.Lst"), "rb") as f:
        test.assertIn(("%s/%s\r\n" % (design.name, design.template_no)).encode("utf-8"), f.read())


def placed_pictures(design):
    """{index of the picture node in document order: picture file name} for the customer's frames
    of the saved design package; also checks what those frames point at."""
    root = packages.design_package_xml(design.package)
    placed = {}
    for i, (_, node) in enumerate(packages.picture_nodes(root)):
        if node.findtext("fro") == "l":
            src = node.findtext("src")
            prefix = "MyDesign\\%s\\Images\\" % design.name
            assert src.startswith(prefix), "a placed picture points outside the design: %r" % src
            placed[i] = src[len(prefix):]
    return placed


def check_design_package(test, design, choose=alternate):
    """The saved package holds every placed picture in its frame, and the design's Images folder
    the imported files unchanged."""
    root = packages.design_package_xml(design.package)
    frames = [i for i, (_, n) in enumerate(packages.picture_nodes(root)) if packages.is_customers(n)]
    placed = placed_pictures(design)
    test.assertEqual(sorted(placed), frames, "not every frame for the customer's pictures holds one")
    test.assertEqual([placed[i] for i in frames], [choose(k) for k in range(len(frames))])
    for name, photo in design.photos.items():
        with open(photo, "rb") as a, open(os.path.join(design.design_folder, "Images", name), "rb") as b:
            test.assertEqual(a.read(), b.read(), "the imported copy of %s differs" % name)
        test.assertTrue(os.path.isfile(os.path.join(design.design_folder, "Images", "Thumb", name)))


def expected_pcount(road, design):
    root = packages.design_package_xml(road.shop.template_file(design.template_no, design.template_no + ".DPT"))
    return sum(1 for page in root.findall("page") for t in page.findall("template")
               if (t.findtext("title") or "").strip() not in UNPRINTED)


def check_orders(test, road, design):
    logins = road.shop.orders("Login")
    test.assertTrue(logins, "no Login reached the shop")
    # The shop masks passwords in its log; its "ok" says the right one arrived.
    test.assertEqual(logins[-1]["fields"], {"usr": USER, "pwd": "******"})
    test.assertIn('flag="ok"', logins[-1]["reply"])
    saves = road.shop.orders("SaveDesign")
    test.assertEqual(len(saves), 1, "SaveDesign reached the shop %d times" % len(saves))
    test.assertEqual(saves[0]["fields"], {"TemplateNO": design.template_no,
                                          "pCount": str(expected_pcount(road, design))})
    test.assertIn('did="%s"' % design.did, saves[0]["reply"])


def check_handover(test, road, design):
    """The hand-over text, as another program reads it from the X clipboard."""
    expected = "upload@@;%s;%s" % (design.name, design.did)
    try:
        wait_until(lambda: road.session.clipboard_text() == expected, 15, "the hand-over on the clipboard")
    except WaitTimeout:
        test.fail("the clipboard holds %r, not %r" % (road.session.clipboard_text(), expected))


def print_size(node, dpi, width, height):
    """The pixel size a picture of width x height gets in this frame at dpi, when it is larger
    than the print needs: the frame's own size for an image, the picture's proportions for a
    framed (possibly turned) picture."""
    t = 72.0 / dpi
    if node.tag == "image":
        return float(node.findtext("w")) / t, float(node.findtext("h")) / t
    a = math.radians(math.fmod(round(float(node.findtext("sr") or 0)), 360))
    effective = max(abs(width * math.cos(a) - height * math.sin(a)), abs(width * math.cos(a) + height * math.sin(a)))
    r = (float(node.findtext("sw")) / t) / effective
    return width * r, height * r


def check_upload_package(test, design):
    """One member per placed picture, named by its number and referred to by the rewritten
    design XML, then "Index.DPT": small photos unchanged, large ones as JPEGs at print size."""
    found = packages.members(design.upload_package)
    names = [n for n, _ in found]
    test.assertEqual(names[-1], "Index.DPT", "members: %r" % names)
    data = dict(found)
    index = ET.fromstring(data["Index.DPT"])
    saved = packages.picture_nodes(packages.design_package_xml(design.package))
    sent = packages.picture_nodes(index)
    test.assertEqual(len(sent), len(saved), "the upload's design XML lost or gained picture nodes")
    dpi = float(index.find("attributes").findtext("dpi"))
    placed = placed_pictures(design)
    test.assertEqual(names[:-1], [str(k) for k in range(len(placed))], "picture members")
    for i, ((_, before), (_, after)) in enumerate(zip(saved, sent)):
        if i not in placed:
            test.assertEqual(after.findtext("src"), before.findtext("src"), "a template picture was renamed")
            continue
        member = after.findtext("src")
        test.assertIn(member, data, "picture node %d points at no member" % i)
        with open(design.photos[placed[i]], "rb") as f:
            photo = f.read()
        w, h = packages.jpeg_size(photo)
        want_w, want_h = print_size(after, dpi, w, h)
        if want_w >= w:
            test.assertEqual(data[member], photo, "member %s should be %s unchanged" % (member, placed[i]))
        else:
            got = packages.jpeg_size(data[member])
            test.assertIsNotNone(got, "member %s is not a JPEG" % member)
            test.assertLessEqual(abs(got[0] - want_w), 1, "member %s: %r, want about %.1f x %.1f" % (member, got, want_w, want_h))
            test.assertLessEqual(abs(got[1] - want_h), 1, "member %s: %r, want about %.1f x %.1f" % (member, got, want_w, want_h))


# ---------------------------------------------------------------- the upload's end

def check_remote_file(test, road, design):
    """The FTP server holds the upload package, byte for byte, under the server design id."""
    with open(design.upload_package, "rb") as a, open(road.ftp.remote_path(design.did), "rb") as b:
        local, remote = a.read(), b.read()
    test.assertEqual(len(remote), len(local), "the remote file's length differs from the package's")
    test.assertTrue(remote == local, "the remote file differs from the upload package")


def check_uploaded_order(test, road, design):
    """One completion order, naming the server design id in its field dNO, accepted."""
    uploaded = road.shop.orders("Uploaded")
    test.assertEqual(len(uploaded), 1, "Uploaded reached the shop %d times" % len(uploaded))
    test.assertEqual(uploaded[0]["fields"], {"dNO": design.did})
    test.assertIn('flag="ok"', uploaded[0]["reply"])


def check_task_done(test, uploader, design):
    """The task list holds the one task, sent and confirmed."""
    test.assertEqual(uploader.tasks(), [{"dno": design.name, "wdno": design.did, "uped": "True", "real": "True"}])


def check_upload_finished(test, road, uploader, design):
    check_remote_file(test, road, design)
    check_uploaded_order(test, road, design)
    check_task_done(test, uploader, design)
