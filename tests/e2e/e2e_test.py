#!/usr/bin/env python3
"""End-to-end checks of riphost with the real plug-in.

Runs job tickets through riphost and reads the finished TAV files back with
Pillow, an independent TIFF reader: every file holds the host's bitmap,
mirrored and inverted exactly as the job asks; each separation gives as many
uniquely named files as copies, all reported, none left under a temporary
name; running again adds files and replaces none; the peak memory of a
page ten times as tall stays about the same; a run stopped by SIGTERM
leaves neither a temporary nor an incomplete file; and the temporary file a
killed run leaves is what `riphost --clean` removes, and nothing else.

Usage: e2e_test.py BUILD_BIN_DIR
"""
import json
import os
import resource
import signal
import socket
import subprocess
import sys
import tempfile
import time
import unittest

from PIL import Image

BIN = None


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


def ink_pixels(path):
    """The file's pixels as booleans (True = ink), through Pillow."""
    with Image.open(path) as im:
        im.load()
        width, height = im.size
        grey = im.convert("L")  # ink shows black: 0
        data = grey.tobytes()
    return width, height, [[data[y * width + x] < 128 for x in range(width)] for y in range(height)]


class EndToEnd(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.TemporaryDirectory(prefix="e2e_")
        self.root = self.dir.name
        examples = os.path.join(os.path.dirname(__file__), "..", "..", "examples")
        self.device = os.path.abspath(os.path.join(examples, "device"))

    def tearDown(self):
        self.dir.cleanup()

    def ticket(self, jobs, name="job.json"):
        path = os.path.join(self.root, name)
        with open(path, "w") as f:
            json.dump({"device": self.device, "output": "out", "jobs": jobs}, f)
        return path

    def outputs(self):
        out = os.path.join(self.root, "out")
        return sorted(os.listdir(out)) if os.path.isdir(out) else []

    def test_pixels_copies_and_names(self):
        width, height = 45, 23
        write_pbm(os.path.join(self.root, "art.pbm"), width, height, art)
        jobs = [
            {"name": "mirrored", "ppi": 2400, "options": {"OFORMAT": "FW8B"},
             "pages": [{"width": width, "height": height, "ncopies": 3,
                        "separations": [{"name": "K", "image": "art.pbm"},
                                        {"name": "Skip", "image": "art.pbm", "outputpage": 0}]}]},
            {"name": "negative", "ppi": 1200,
             "options": {"OFORMAT": "FW88B", "OCOMPRESS": "SUN", "LEFT": 1, "REVERSE": 1},
             "pages": [{"width": width, "height": height,
                        "separations": [{"name": "K", "image": "art.pbm"}]}]},
        ]
        result = run_host(self.ticket(jobs))
        self.assertEqual(result.returncode, 0, result.stderr)
        reported = [line[len("wrote "):] for line in result.stdout.splitlines() if line.startswith("wrote ")]
        self.assertEqual(len(reported), 4)
        self.assertEqual(len(set(reported)), 4)
        names = self.outputs()
        self.assertEqual(sorted(os.path.basename(p) for p in reported), names)
        self.assertTrue(all(n.endswith(".tav") for n in names), names)

        mirrored = [p for p in reported if "mirrored" in os.path.basename(p)]
        negative = [p for p in reported if "negative" in os.path.basename(p)]
        self.assertEqual(len(mirrored), 3)
        self.assertEqual(len(negative), 1)
        first = read(mirrored[0])
        for copy in mirrored[1:]:
            self.assertEqual(read(copy), first)

        w, h, pixels = ink_pixels(mirrored[0])
        self.assertEqual((w, h), (width, height))
        for y in range(height):
            for x in range(width):
                self.assertEqual(pixels[y][x], art(width - 1 - x, y), (x, y))
        with Image.open(mirrored[0]) as im:
            self.assertAlmostEqual(im.info["dpi"][0], 2400, places=3)

        w, h, pixels = ink_pixels(negative[0])
        for y in range(height):
            for x in range(width):
                self.assertEqual(pixels[y][x], not art(x, y), (x, y))

        # A second run adds new files and replaces none.
        before = {n: read(os.path.join(self.root, "out", n)) for n in names}
        result = run_host(self.ticket(jobs))
        self.assertEqual(result.returncode, 0, result.stderr)
        after = self.outputs()
        self.assertEqual(len(after), 8)
        for n, content in before.items():
            self.assertEqual(read(os.path.join(self.root, "out", n)), content)

    def test_failed_job_leaves_no_final_file(self):
        jobs = [{"name": "toolarge", "ppi": 2400,
                 "pages": [{"width": 100, "height": 10 ** 6,
                            "separations": [{"name": "K", "pattern": "checker"}]}]}]
        result = run_host(self.ticket(jobs))
        self.assertEqual(result.returncode, 1)
        self.assertIn("Job height too big", result.stderr)
        self.assertEqual(self.outputs(), [])

    def test_unreadable_row_abandons_the_file(self):
        # A sound header and half the rows: the separation is abandoned, so
        # the plug-in deletes its temporary file and delivers nothing.
        with open(os.path.join(self.root, "cut.pbm"), "wb") as f:
            f.write(b"P4\n64 100\n" + b"\xaa" * 8 * 50)
        jobs = [{"name": "cut", "pages": [{"separations": [{"name": "K", "image": "cut.pbm"}]}]},
                {"name": "next", "pages": [{"width": 64, "height": 10,
                                            "separations": [{"name": "K", "pattern": "bars"}]}]}]
        result = run_host(self.ticket(jobs))
        self.assertEqual(result.returncode, 1, result.stderr)
        self.assertIn("cut.pbm: PBM data ends early, at row 50", result.stderr)
        self.assertIn("riphost: warning: Unfinished output file", result.stderr)
        self.assertNotIn("dravout_endseparations", result.stderr)
        # The next job runs as usual.
        names = self.outputs()
        self.assertEqual(len(names), 1, names)
        self.assertTrue(names[0].startswith("next-p1-K-") and names[0].endswith(".tav"), names)

    def test_memory_does_not_grow_with_page_height(self):
        def peak(height, name):
            # Uncompressed, so that a writer holding its output in memory
            # would show: the tall file is 30 MB.
            jobs = [{"name": name, "ppi": 2400, "options": {"OFORMAT": "FW8B", "OCOMPRESS": "NONE"},
                     "pages": [{"width": 8000, "height": height,
                                "separations": [{"name": "K", "pattern": "checker"}]}]}]
            script = ("import resource,subprocess,sys;"
                      "r=subprocess.run(sys.argv[1:]).returncode;"
                      "print(resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss);sys.exit(r)")
            result = subprocess.run([sys.executable, "-c", script, os.path.join(BIN, "riphost"), "--quiet",
                                     self.ticket(jobs, name + ".json")],
                                    capture_output=True, text=True, timeout=600)
            self.assertEqual(result.returncode, 0, result.stderr)
            return int(result.stdout.strip().splitlines()[-1])

        small = peak(3000, "short")
        tall = peak(30000, "tall")
        self.assertLess(tall, small * 1.25 + 4096, (small, tall))

    def start_tall_run(self):
        """Starts riphost on many tall pages; returns it once it writes a file."""
        pages = [{"width": 6000, "height": 90000, "separations": [{"name": "K", "pattern": "checker"}]}
                 for _ in range(30)]
        jobs = [{"name": "tall", "ppi": 2400, "pages": pages}]
        proc = subprocess.Popen([os.path.join(BIN, "riphost"), "--quiet", self.ticket(jobs, "tall.json")],
                                stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
        deadline = time.monotonic() + 120
        while not any(n.endswith(".tmp") for n in self.outputs()):
            if proc.poll() is not None or time.monotonic() > deadline:
                proc.kill()
                out, err = proc.communicate()
                self.fail("riphost wrote no temporary file: %s %s" % (out, err))
            time.sleep(0.005)
        return proc

    def check_complete(self, name):
        """A finished file holds the whole page."""
        with Image.open(os.path.join(self.root, "out", name)) as im:
            self.assertEqual(im.size, (6000, 90000), name)
            im.load()

    def test_stop_signal_leaves_no_partial_file(self):
        proc = self.start_tall_run()
        proc.send_signal(signal.SIGTERM)
        out, err = proc.communicate(timeout=120)
        self.assertEqual(proc.returncode, 143, err)
        self.assertIn("riphost: error: stopped by SIGTERM\n", err)
        names = self.outputs()
        self.assertEqual([n for n in names if n.endswith(".tmp")], [], names)
        self.assertTrue(all(n.endswith(".tav") for n in names), names)
        # Only separations that were ended are there, each one whole.
        self.assertLess(len(names), 30)
        for name in names:
            self.check_complete(name)

    def test_clean_removes_what_a_killed_run_left(self):
        proc = self.start_tall_run()
        proc.kill()
        proc.communicate(timeout=120)
        self.assertEqual(proc.returncode, -signal.SIGKILL)
        out = os.path.join(self.root, "out")
        left = [n for n in self.outputs() if n.endswith(".tmp")]
        self.assertEqual(len(left), 1, self.outputs())
        # Files that are not ours to remove: another machine's temporary
        # name, a running process's, and plain files.
        host = socket.gethostname().split(".")[0]
        host = "".join(c if c.isalnum() and c.isascii() or c in "_-" else "_" for c in host)
        decoys = [".job-20260101-000000.otherhost.%d.1.tmp" % proc.pid,
                  ".job-20260101-000000.%s.%d.1.tmp" % (host, os.getpid()),
                  "notes.tmp", "keep.txt"]
        for name in decoys:
            with open(os.path.join(out, name), "w") as f:
                f.write("x")
        before = set(self.outputs())

        result = subprocess.run([os.path.join(BIN, "riphost"), "--clean", out],
                                capture_output=True, text=True, timeout=120)
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertEqual(result.stdout, "removed %s\n" % os.path.join(out, left[0]))
        self.assertEqual(set(self.outputs()), before - {left[0]})
        for name in self.outputs():
            if name.endswith(".tav"):
                self.check_complete(name)

        missing = subprocess.run([os.path.join(BIN, "riphost"), "--clean", os.path.join(self.root, "none")],
                                 capture_output=True, text=True, timeout=120)
        self.assertEqual(missing.returncode, 1)
        self.assertIn("riphost: error: ", missing.stderr)


if __name__ == "__main__":
    BIN = os.path.abspath(sys.argv.pop(1))
    unittest.main(verbosity=2)
