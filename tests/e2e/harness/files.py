"""What a program folder holds, to tell afterwards what a program changed in it."""

import hashlib
import os
import stat


def digest(path):
    h = hashlib.sha256()
    with open(path, "rb") as f:
        for block in iter(lambda: f.read(1 << 20), b""):
            h.update(block)
    return h.hexdigest()


def same_bytes(a, b):
    return os.path.getsize(a) == os.path.getsize(b) and digest(a) == digest(b)


def state(folder, leave_out=()):
    """{path relative to folder: (permission bits, SHA-256 of the bytes)} of every file below
    `folder`, and {path: "folder"} of every folder, except below the top-level names in leave_out."""
    found = {}
    for top, dirs, names in os.walk(folder):
        if top == folder:
            dirs[:] = [d for d in dirs if d not in leave_out]
            names = [n for n in names if n not in leave_out]
        for d in dirs:
            found[os.path.relpath(os.path.join(top, d), folder)] = "folder"
        for n in names:
            path = os.path.join(top, n)
            found[os.path.relpath(path, folder)] = (stat.S_IMODE(os.lstat(path).st_mode), digest(path))
    return found
