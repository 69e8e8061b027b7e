"""What the end-to-end tests share: the build's programs, helpers that write
images and tickets and read finished TAV files back with Pillow and tavinfo,
and a test case with its own temporary folder."""
import json
import os
import resource
import signal
import socket
import subprocess
import sys
import tempfile
import time
import tomllib
import unittest

from PIL import Image

BIN = None  # the build's bin folder, set by set_bin()


def write_pbm(path, width, height, pixel):
    """Writes a binary PBM (1 = black = ink) of pixel(x, y)."""
    row_bytes = (width + 7) // 8
    with open(path, "wb") as f:
        f.write(b"P4\n%d %d\n" % (width, height))
        for y in range(height):
            row = bytearray(row_bytes)
            for x in range(width):
                if pixel(x, y):
                    row[x // 8] |= 0x80 >> (x % 8)
            f.write(bytes(row))


def art(x, y):
    """An asymmetric picture: a left edge, a diagonal and a sparse grid."""
    return x == 0 or x == y % 29 or (x * 7 + y * 3) % 11 == 0


def read(path):
    with open(path, "rb") as f:
        return f.read()


def run_host(ticket_path, *extra):
    return subprocess.run([os.path.join(BIN, "riphost"), *extra, ticket_path],
                          capture_output=True, text=True, timeout=600)


def written(result):
    """The files a run reported, in order (its "wrote <path>" lines)."""
    return [line[len("wrote "):] for line in result.stdout.splitlines() if line.startswith("wrote ")]


def ink_pixels(path):
    """The file's pixels as booleans (True = ink), through Pillow."""
    with Image.open(path) as im:
        im.load()
        width, height = im.size
        grey = im.convert("L")  # ink shows black: 0
        data = grey.tobytes()
    return width, height, [[data[y * width + x] < 128 for x in range(width)] for y in range(height)]


def write_pgm(path, width, height, grey):
    """Writes a raw 8-bit PGM of grey(x, y) (0 = black = full ink)."""
    with open(path, "wb") as f:
        f.write(b"P5\n%d %d\n255\n" % (width, height))
        f.write(bytes(grey(x, y) for y in range(height) for x in range(width)))


def screen_lines(path):
    """The screen lines of the file's "_KVT_RIPINFO0" tag, decoded by tavinfo."""
    result = subprocess.run([os.path.join(BIN, "tavinfo"), "--json", path],
                            capture_output=True, text=True, timeout=600)
    if result.returncode != 0:
        raise AssertionError("tavinfo failed: " + result.stderr)
    tags = [t for t in json.loads(result.stdout)["tags"] if t["name"] == "_KVT_RIPINFO0"]
    if len(tags) != 1:
        raise AssertionError("no single _KVT_RIPINFO0 tag in %s" % path)
    return tags[0]["screens"]


def tags_of(path):
    """The file's tags by name, as `tavinfo --json` gives them."""
    result = subprocess.run([os.path.join(BIN, "tavinfo"), "--json", path],
                            capture_output=True, text=True, timeout=600)
    if result.returncode != 0:
        raise AssertionError("tavinfo failed: " + result.stderr)
    return {t["name"]: t for t in json.loads(result.stdout)["tags"]}


def ink_box(pixels):
    """Set pixels and their box as the tag gives it: left, top, right + 1, bottom."""
    xs = [x for row in pixels for x, ink in enumerate(row) if ink]
    ys = [y for y, row in enumerate(pixels) if any(row)]
    return len(xs), [min(xs), min(ys), max(xs) + 1, max(ys)]



def set_bin(path):
    """The build's bin folder, from the command line; returned for the
    test module's own use."""
    global BIN
    BIN = os.path.abspath(path)
    return BIN


class EndToEndCase(unittest.TestCase):
    """A test with a temporary folder (root), the example device folder and
    helpers for tickets written there and the output folder they name."""

    def setUp(self):
        self.dir = tempfile.TemporaryDirectory(prefix="e2e_")
        self.root = self.dir.name
        examples = os.path.join(os.path.dirname(__file__), "..", "..", "examples")
        self.device = os.path.abspath(os.path.join(examples, "device"))

    def tearDown(self):
        self.dir.cleanup()

    def ticket(self, jobs, name="job.json", **top):
        path = os.path.join(self.root, name)
        with open(path, "w") as f:
            json.dump({"device": self.device, "output": "out", "jobs": jobs, **top}, f)
        return path

    def outputs(self):
        out = os.path.join(self.root, "out")
        return sorted(os.listdir(out)) if os.path.isdir(out) else []

