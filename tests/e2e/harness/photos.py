"""Photos for the tests: plasma pictures from ImageMagick, which look and compress like photos,
and grainy ones that hardly compress at all, for large uploads from small pictures."""

import os
import subprocess


def make_photo(path, width, height, seed, colours="red-blue"):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    subprocess.run(["convert", "-seed", str(seed), "-size", "%dx%d" % (width, height), "plasma:" + colours,
                    "-quality", "92", path], check=True, timeout=120, stdout=subprocess.DEVNULL)
    return path


def make_grainy_photo(path, width, height, seed):
    """A plasma picture under heavy noise, at the JPEG's best quality: several bytes a pixel."""
    os.makedirs(os.path.dirname(path), exist_ok=True)
    subprocess.run(["convert", "-seed", str(seed), "-size", "%dx%d" % (width, height), "plasma:red-blue",
                    "-attenuate", "3", "+noise", "Gaussian", "-quality", "100", path],
                   check=True, timeout=120, stdout=subprocess.DEVNULL)
    return path
