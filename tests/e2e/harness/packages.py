"""Reading what the programs leave on disk: design and upload packages, their design XML, and
the size of a JPEG picture."""

import struct
import xml.etree.ElementTree as ET
import zipfile


def members(path):
    """Member names of a zip archive, in the order they are stored, with their bytes."""
    with zipfile.ZipFile(path) as z:
        return [(i.filename, z.read(i)) for i in z.infolist()]


def design_package_xml(path):
    """The design XML of a design package: its single member "index.DPT", UTF-16LE after FF FE."""
    found = members(path)
    assert [n for n, _ in found] == ["index.DPT"], "design package members: %r" % [n for n, _ in found]
    data = found[0][1]
    assert data[:2] == b"\xff\xfe", "index.DPT does not start with the UTF-16LE byte-order mark"
    return ET.fromstring(data[2:].decode("utf-16-le"))


def picture_nodes(root):
    """Every image and sharp element of the design in document order, with the title of its template."""
    out = []
    for page in root.findall("page"):
        for template in page.findall("template"):
            title = (template.findtext("title") or "").strip()
            for node in template.iter():
                if node.tag in ("image", "sharp"):
                    out.append((title, node))
    return out


def is_customers(node):
    """A frame for the customer's own picture: not one of the template's own pictures."""
    return node.findtext("fro") != "t" and node.findtext("ti") != "true"


def jpeg_size(data):
    """(width, height) of a JPEG; None for anything else."""
    if data[:2] != b"\xff\xd8":
        return None
    i = 2
    while i + 4 <= len(data):
        if data[i] != 0xFF:
            return None
        marker = data[i + 1]
        if marker in (0xD8, 0x01) or 0xD0 <= marker <= 0xD7:
            i += 2
            continue
        length = struct.unpack(">H", data[i + 2:i + 4])[0]
        if marker in (0xC0, 0xC1, 0xC2, 0xC3, 0xC5, 0xC6, 0xC7, 0xC9, 0xCA, 0xCB, 0xCD, 0xCE, 0xCF):
            height, width = struct.unpack(">HH", data[i + 5:i + 9])
            return width, height
        i += 2 + length
    return None
