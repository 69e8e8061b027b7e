#!/usr/bin/env python3
"""End-to-end checks of stopped document runs and of the documents' limits.

A stop signal at any moment of a document run ends it with 128 + the
signal's number, the "stopped by" line and nothing incomplete, on both
routes a page takes (Ghostscript's display device, and its separation
device for pages with overprint); a stop while the page's screen tiles are
built takes effect within a second or so. A document that allocates without
end or loops for ever fails with a message naming the page once it passes
--memory-limit or --page-time-limit (exit status 1, nothing left), wherever
Ghostscript runs it: the check, the display device, the gs program.

Usage: document_stop_test.py BUILD_BIN_DIR
"""
import glob
import os
import random
import signal
import subprocess
import sys
import tempfile
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import documents  # noqa: E402

BIN = None
SANITIZED = bool(os.environ.get("DRAV_SANITIZED"))
STOPS = [(signal.SIGTERM, 143), (signal.SIGINT, 130), (signal.SIGHUP, 129)]


def riphost_command(*args):
    return [os.path.join(BIN, "riphost"), *args]


def at_high_resolution(body):
    """PostScript that runs body only when rendered above 100 ppi, so that the
    check (at a few ppi) passes and the page's rendering meets it."""
    return "currentpagedevice /HWResolution get 0 get 100 gt { " + body + " } if\n"


def on_separation_device(body):
    """PostScript that runs body only on Ghostscript's separation device (the
    gs program), not while the display device lays the page out."""
    return "currentpagedevice /OutputDevice get /tiffsep eq { " + body + " } if\n"


def write_program(path, body, overprint=False):
    """A one-page PostScript program with a cyan patch and body; overprint:
    it names setoverprint, so its page goes to the separation device."""
    with open(path, "w") as f:
        f.write("%!PS-Adobe-3.0\n%%Pages: 1\n<< /PageSize [144 144] >> setpagedevice\n"
                "0 0 1 0 setcmykcolor 10 10 80 80 rectfill\n")
        if overprint:
            f.write("true setoverprint 0 0 0 1 setcmykcolor 20 20 20 20 rectfill false setoverprint\n")
        f.write(body + "showpage\n")


# Allocates a megabyte at a time and keeps it all.
GROW = "/kept [] def { /kept [kept 1048576 string] def } loop\n"
SPIN = "{ } loop\n"


class DocumentStops(unittest.TestCase):
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
        # SIGINT as a terminal would send it, even when the tests run in the
        # background (which ignores it, and riphost keeps an ignored signal).
        process = subprocess.Popen(riphost_command(*args), stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                                   text=True, env=self.env,
                                   preexec_fn=lambda: signal.signal(signal.SIGINT, signal.SIG_DFL))
        self.processes.append(process)
        return process

    def run_riphost(self, *args, timeout=300):
        return subprocess.run(riphost_command(*args), capture_output=True, text=True, timeout=timeout,
                              env=self.env)

    def assert_nothing_incomplete(self, out):
        hidden = glob.glob(os.path.join(out, ".*"))
        self.assertEqual(hidden, [], "no temporary file is left")
        self.assertEqual(os.listdir(self.spool), [], "no spool nor plane folder is left")

    def test_many_pages_in_one_run(self):
        # Ghostscript 10.0 names a run's spot colours again at every page;
        # a run of 20 pages used to crash at the 16th.
        documents.write_pdf(self.path("twenty.pdf"), pages=20)
        out = self.path("out")
        result = self.run_riphost(self.path("twenty.pdf"), "-o", out, "--ppi", "72", "--render-only")
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertEqual(len(glob.glob(os.path.join(out, "twenty-p*-*.tif"))), 20 * 5)
        self.assert_nothing_incomplete(out)

    def test_stop_at_any_moment_ends_cleanly(self):
        documents.write_pdf(self.path("pages.pdf"), pages=16)
        write_program(self.path("overprint.ps"), "", overprint=True)
        # A run of each takes a few seconds; each is stopped at a random
        # moment of it, with the three signals in turn.
        routes = [("display device", [self.path("pages.pdf"), "--ppi", "300", "-q"]),
                  ("separation device", [self.path("overprint.ps"), "--ppi", "300" if SANITIZED else "1200", "-q"])]
        rng = random.Random(20)
        for route, args in routes:
            span = self.full_run_seconds(args)
            for n in range(10):
                sig, status = STOPS[n % len(STOPS)]
                with self.subTest(route=route, run=n, signal=sig.name):
                    out = self.path("out-%s-%d" % (route.split()[0], n))
                    process = self.start(*args, "-o", out)
                    # From once riphost runs (its handlers are in place) to its end.
                    time.sleep(rng.uniform(0.2, span))
                    if process.poll() is not None:
                        _, err = process.communicate()
                        self.assertEqual(process.returncode, 0, err)  # finished before the signal
                        continue
                    process.send_signal(sig)
                    _, err = process.communicate(timeout=120)
                    self.assert_nothing_incomplete(out)
                    if process.returncode == 0 and "stopped by" not in err:
                        continue  # it ended, whole, as the signal came
                    self.assertEqual(process.returncode, status, err)
                    self.assertIn("stopped by " + sig.name, err)
                    self.assert_nothing_incomplete(out)

    def full_run_seconds(self, args):
        out = self.path("out-whole")
        started = time.monotonic()
        result = self.run_riphost(*args, "-o", out)
        self.assertEqual(result.returncode, 0, result.stderr)
        return time.monotonic() - started

    def test_stop_while_tiles_are_built_is_prompt(self):
        # A fine screen at an odd angle on a small page at a high resolution:
        # its tiles take seconds to build, its page a moment to render.
        documents.write_pdf(self.path("small.pdf"), 72.0, 72.0)
        out = self.path("out")
        process = self.start(self.path("small.pdf"), "-o", out, "--ppi", "2400", "--screens", "173")
        # The output folder is made once the document is checked; then the
        # page is laid out and its tiles are built.
        deadline = time.time() + 60
        while not os.path.isdir(out) and time.time() < deadline:
            time.sleep(0.01)
        time.sleep(1.0)
        self.assertIsNone(process.poll(), "the tiles take long to build")
        sent = time.monotonic()
        process.send_signal(signal.SIGTERM)
        _, err = process.communicate(timeout=60)
        took = time.monotonic() - sent
        self.assertEqual(process.returncode, 143, err)
        self.assertIn("stopped by SIGTERM", err)
        self.assertLess(took, 3.0, "a stop waits for no tile")
        self.assert_nothing_incomplete(out)

    def test_memory_and_time_limits(self):
        write_program(self.path("grow.ps"), GROW)
        write_program(self.path("spin.ps"), SPIN)
        write_program(self.path("grow-late.ps"), at_high_resolution(GROW))
        write_program(self.path("spin-late.ps"), at_high_resolution(SPIN))
        write_program(self.path("grow-planes.ps"), on_separation_device(GROW), overprint=True)
        write_program(self.path("spin-planes.ps"), on_separation_device(SPIN), overprint=True)
        memory = ["--memory-limit", "300M"]
        time_limit = ["--page-time-limit", "1.5"]
        cases = [
            ("grow.ps", memory, "more memory for it than the memory limit of 300 MiB (--memory-limit)"),
            ("spin.ps", time_limit, "while riphost checked the document"),
            ("grow-late.ps", memory, "more memory for it than the memory limit of 300 MiB (--memory-limit)"),
            ("spin-late.ps", time_limit, "spent more than 1.5 s on the page, its time limit (--page-time-limit)"),
            ("grow-planes.ps", memory, "separation device needs more memory for it than the memory limit of 300 MiB"),
            ("spin-planes.ps", time_limit, "separation device spent more than 1.5 s on the page, its time limit"),
        ]
        for n, (name, limit, said) in enumerate(cases):
            for extra in ([], ["--render-only"]):
                with self.subTest(document=name, options=limit + extra):
                    out = self.path("out%d%s" % (n, "r" if extra else ""))
                    started = time.monotonic()
                    result = self.run_riphost(self.path(name), "-o", out, "--ppi", "300", *limit, *extra,
                                              timeout=120)
                    took = time.monotonic() - started
                    self.assertEqual(result.returncode, 1, result.stderr)
                    self.assertIn(name + ": page 1: ", result.stderr)
                    self.assertIn(said, result.stderr)
                    if limit is time_limit:
                        self.assertLess(took, 30.0)
                    self.assertEqual(glob.glob(os.path.join(out, "*.tav")) + glob.glob(os.path.join(out, "*.tif")), [])
                    if os.path.isdir(out):
                        self.assert_nothing_incomplete(out)
        bad = self.run_riphost(self.path("grow.ps"), "-o", self.path("bad"), "--memory-limit", "lots")
        self.assertEqual(bad.returncode, 2)
        self.assertIn("--memory-limit", bad.stderr)


if __name__ == "__main__":
    BIN = os.path.abspath(sys.argv.pop(1))
    unittest.main(verbosity=2)
