"""Photos for the tests: plasma pictures from ImageMagick, which look and compress like photos."""

import os
import subprocess


def make_photo(path, width, height, seed, colours="red-blue"):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    subprocess.run(["convert", "-seed", str(seed), "-size", "%dx%d" % (width, height), "plasma:" + colours,
                    "-quality", "92", path], check=True, timeout=120, stdout=subprocess.DEVNULL)
    return path
