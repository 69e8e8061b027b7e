#!/usr/bin/env python3
"""End-to-end checks of what document runs leave and of page sizes.

A run killed outright (SIGKILL) leaves in $TMPDIR only its emptied private
folder (spools are nameless, Ghostscript's band lists are unlinked at
once) and, in the output folder, only the plug-in's temporary file, both of
which `riphost --clean` removes. A stop signal while Ghostscript reads a slow page
ends the run within about a second with 128 + the signal's number and
nothing under a final name. A PDF page with a UserUnit comes out at its true
size, and --trim-box renders the trim box (--media-box the media box).

Usage: document_runs_test.py BUILD_BIN_DIR
"""
import glob
import os
import signal
import subprocess
import sys
import tempfile
import time
import unittest

from PIL import Image

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import documents  # noqa: E402

BIN = None
PPI = 1200


def riphost_command(*args):
    return [os.path.join(BIN, "riphost"), *args]


def plate(path):
    """Width, height and the rows of a plate, 0 where there is ink, in page
    order (the plug-in stores plates mirrored)."""
    with Image.open(path) as im:
        im.load()
        grey = im.convert("L").transpose(Image.Transpose.FLIP_LEFT_RIGHT)
        width, height = grey.size
        data = grey.tobytes()
    return width, height, [data[y * width:(y + 1) * width] for y in range(height)]


def share(rows, box):
    x0, y0, x1, y1 = box
    inked = sum(rows[y][x0:x1].count(0) for y in range(y0, y1))
    return inked / float((x1 - x0) * (y1 - y0))


def pixel_box(mark, page_height, origin=(0.0, 0.0), margin=24):
    """A mark's pixels on a page whose lower-left corner is origin (points),
    less two screen cells all round: x0, y0, x1, y1."""
    s = PPI / 72.0
    x, y, w, h = mark
    x -= origin[0]
    y -= origin[1]
    return (int(x * s) + margin, int((page_height - y - h) * s) + margin,
            int((x + w) * s) - margin, int((page_height - y) * s) - margin)


def slow_page_ps(path, loops=2000000000):
    """A one-page PostScript program that reads quickly at the few ppi of
    riphost's check and loops for a long time at a real resolution."""
    with open(path, "w") as f:
        f.write("%!PS-Adobe-3.0\n%%Pages: 1\n<< /PageSize [180 144] >> setpagedevice\n"
                "0 0 1 0 setcmykcolor 10 10 80 80 rectfill\n"
                "currentpagedevice /HWResolution get 0 get 100 gt { 0 1 " + str(loops) + " { pop } for } if\n"
                "0 0 0 1 setcmykcolor 100 10 60 60 rectfill\nshowpage\n")


class DocumentRuns(unittest.TestCase):
    def setUp(self):
        self.tmp = tempfile.TemporaryDirectory()
        self.root = self.tmp.name
        self.spool = os.path.join(self.root, "tmp")
        os.mkdir(self.spool)
        self.env = dict(os.environ, TMPDIR=self.spool)
        self.processes = []

    def tearDown(self):
        for process in self.processes:
            if process.poll() is None:
                process.kill()
                process.wait()
        self.tmp.cleanup()

    def path(self, name):
        return os.path.join(self.root, name)

    def start(self, *args):
        process = subprocess.Popen(riphost_command(*args), stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                                   text=True, env=self.env)
        self.processes.append(process)
        return process

    def wait_for(self, ready, seconds=120):
        deadline = time.time() + seconds
        while time.time() < deadline and not ready():
            time.sleep(0.02)
        self.assertTrue(ready(), "riphost did not get that far")

    def test_killed_run_leaves_nothing_that_clean_does_not_remove(self):
        documents.photo_page_pdf(self.path("photo.pdf"))
        out = self.path("out")
        process = self.start(self.path("photo.pdf"), "-o", out)
        # The first plate is being written, the others spooled.
        self.wait_for(lambda: glob.glob(os.path.join(out, ".*.tmp")))
        time.sleep(0.5)
        self.assertIsNone(process.poll(), "the page is still being written")
        process.kill()
        process.communicate(timeout=60)
        # Only the run's private folder is left, holding no spool nor band list.
        folders = os.listdir(self.spool)
        self.assertEqual(len(folders), 1, folders)
        folder = os.path.join(self.spool, folders[0])
        self.assertEqual((sorted(os.listdir(folder)), os.listdir(os.path.join(folder, "work"))),
                         (["lock", "work"], []), "no spool nor band list survives a kill")
        left = os.listdir(out)
        self.assertTrue(left and all(name.startswith(".") and name.endswith(".tmp") for name in left), left)
        clean = subprocess.run(riphost_command("--clean", out), capture_output=True, text=True, timeout=60,
                               env=self.env)
        self.assertEqual(clean.returncode, 0, clean.stderr)
        self.assertEqual(os.listdir(out), [], "--clean removes what the killed run left")
        self.assertEqual(os.listdir(self.spool), [], "and the killed run's private folder")

    def test_stop_while_ghostscript_reads_a_page_is_prompt(self):
        slow_page_ps(self.path("slow.ps"))
        cases = [(signal.SIGTERM, 143, []), (signal.SIGINT, 130, []), (signal.SIGHUP, 129, []),
                 (signal.SIGTERM, 143, ["--render-only"])]
        for n, (sig, status, extra) in enumerate(cases):
            with self.subTest(signal=sig.name, options=extra):
                out = self.path("out%d" % n)
                process = self.start(self.path("slow.ps"), "-o", out, "--ppi", str(PPI), *extra)
                # The output folder is made once the document is checked and
                # the run starts; then Ghostscript reads the page at length.
                self.wait_for(lambda: os.path.isdir(out))
                time.sleep(1.0)
                self.assertIsNone(process.poll(), "the page takes long to read")
                sent = time.monotonic()
                process.send_signal(sig)
                _, err = process.communicate(timeout=60)
                took = time.monotonic() - sent
                self.assertEqual(process.returncode, status, err)
                self.assertLess(took, 2.5, "a stop waits for no page")
                self.assertIn("stopped by " + sig.name, err)
                self.assertEqual(glob.glob(os.path.join(out, "*")) + glob.glob(os.path.join(out, ".*")), [])
                self.assertEqual(os.listdir(self.spool), [])

    def test_user_unit_page_comes_out_at_its_true_size(self):
        # 90 x 72 units of 2 points: a page of 180 x 144 points.
        documents.write_pdf(self.path("unit.pdf"), 90.0, 72.0, user_unit=2)
        out = self.path("out")
        result = subprocess.run(riphost_command(self.path("unit.pdf"), "-o", out, "--ppi", str(PPI),
                                                "--screens", "100"),
                                capture_output=True, text=True, timeout=600, env=self.env)
        self.assertEqual(result.returncode, 0, result.stderr)
        cyan = glob.glob(os.path.join(out, "unit-p1-Cyan-*.tav"))
        self.assertEqual(len(cyan), 1)
        width, height, rows = plate(cyan[0])
        self.assertEqual((width, height), (3000, 2400))
        # The content scales with the page: the marks of a 180 x 144 page.
        marks = documents.marks(180.0, 144.0)
        self.assertAlmostEqual(share(rows, pixel_box(marks["cyan50"], 144.0)), 0.50, delta=0.01)
        self.assertEqual(share(rows, pixel_box(marks["black100"], 144.0)), 0.0)

    def test_page_box_options_choose_the_pages_size(self):
        trim = (9.0, 9.0, 162.0, 126.0)  # holds the cyan patch
        documents.write_pdf(self.path("trim.pdf"), 180.0, 144.0, trim=trim)
        marks = documents.marks(180.0, 144.0)
        cases = [
            ([], (3000, 2400), (0.0, 0.0), 144.0),
            (["--media-box"], (3000, 2400), (0.0, 0.0), 144.0),
            (["--trim-box"], (2700, 2100), trim[:2], 126.0),
            (["--trim-box", "--media-box"], (3000, 2400), (0.0, 0.0), 144.0),
        ]
        for n, (extra, size, origin, height_pt) in enumerate(cases):
            with self.subTest(options=extra):
                out = self.path("out%d" % n)
                result = subprocess.run(riphost_command(self.path("trim.pdf"), "-o", out, "--ppi", str(PPI),
                                                        "--screens", "100", *extra),
                                        capture_output=True, text=True, timeout=600, env=self.env)
                self.assertEqual(result.returncode, 0, result.stderr)
                width, height, rows = plate(glob.glob(os.path.join(out, "trim-p1-Cyan-*.tav"))[0])
                self.assertEqual((width, height), size)
                self.assertAlmostEqual(share(rows, pixel_box(marks["cyan50"], height_pt, origin)), 0.50,
                                       delta=0.01)
        planes = self.path("planes")
        result = subprocess.run(riphost_command(self.path("trim.pdf"), "-o", planes, "--ppi", "300",
                                                "--render-only", "--trim-box"),
                                capture_output=True, text=True, timeout=600, env=self.env)
        self.assertEqual(result.returncode, 0, result.stderr)
        with Image.open(os.path.join(planes, "trim-p1-Cyan.tif")) as im:
            self.assertEqual(im.size, (675, 525))


if __name__ == "__main__":
    BIN = os.path.abspath(sys.argv.pop(1))
    unittest.main(verbosity=2)
