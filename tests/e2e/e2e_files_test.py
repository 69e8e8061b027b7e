#!/usr/bin/env python3
"""End-to-end checks of riphost with the real plug-in: what runs leave on disk.

A failed job or an unreadable row leaves no final file; the peak memory of
a page ten times as tall stays about the same, and a 16 MiB page packet is
read within its bound; a run stopped by SIGTERM leaves neither a temporary
nor an incomplete file; the temporary file a killed run leaves is what
`riphost --clean` removes, and nothing else, also beside live writers of
other PID namespaces (their files are locked) and complete files kept after
a failed rename; kept PNG previews are named and reported right after their
raster files.

Usage: e2e_files_test.py BUILD_BIN_DIR
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
import tomllib
import unittest

from PIL import Image

import e2e_support
from e2e_support import *  # noqa: F401,F403  helpers shared by the end-to-end tests


class EndToEndFiles(EndToEndCase):
    def clean_env(self):
        """--clean also cleans $TMPDIR: an empty one of the test's, so that
        only the output folder counts."""
        folder = os.path.join(self.root, "clean-tmp")
        os.makedirs(folder, exist_ok=True)
        return dict(os.environ, TMPDIR=folder)

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
        def peak(height, name, separation=None):
            # Uncompressed, so that a writer holding its output in memory
            # would show: the tall file is 30 MB.
            jobs = [{"name": name, "ppi": 2400, "options": {"OFORMAT": "FW8B", "OCOMPRESS": "NONE"},
                     "pages": [{"width": 8000, "height": height,
                                "separations": [separation or {"name": "K", "pattern": "checker"}]}]}]
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
        # Screened contone streams as well.
        screened = {"name": "K", "gradient": "vertical"}
        small = peak(3000, "short-screened", screened)
        tall = peak(30000, "tall-screened", screened)
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
                                capture_output=True, text=True, timeout=120, env=self.clean_env())
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertEqual(result.stdout, "removed %s\n" % os.path.join(out, left[0]))
        self.assertEqual(set(self.outputs()), before - {left[0]})
        for name in self.outputs():
            if name.endswith(".tav"):
                self.check_complete(name)

        missing = subprocess.run([os.path.join(BIN, "riphost"), "--clean", os.path.join(self.root, "none")],
                                 capture_output=True, text=True, timeout=120, env=self.clean_env())
        self.assertEqual(missing.returncode, 1)
        self.assertIn("riphost: error: ", missing.stderr)

    def start_in_pid_namespace(self, job):
        """Starts riphost on tall pages in a PID namespace of its own, under a
        process number that runs nowhere here (so it says nothing about the
        writer); returns the process and that number once a file is written.
        The whole namespace dies with the returned process."""
        pid = 40000
        while True:
            pid += 1
            try:
                os.kill(pid + 1, 0)
            except ProcessLookupError:
                break
            except PermissionError:
                pass
        pages = [{"width": 6000, "height": 90000, "separations": [{"name": "K", "pattern": "checker"}]}
                 for _ in range(30)]
        ticket = self.ticket([{"name": job, "ppi": 2400, "pages": pages}], job + ".json")
        script = 'echo %d > /proc/sys/kernel/ns_last_pid && "$0" --quiet "$1"' % pid
        proc = subprocess.Popen(["unshare", "--pid", "--fork", "--mount-proc", "--kill-child", "sh", "-c", script,
                                 os.path.join(BIN, "riphost"), ticket],
                                stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
        deadline = time.monotonic() + 120
        while not [n for n in self.outputs() if n.startswith("." + job + "-") and n.endswith(".tmp")]:
            if proc.poll() is not None or time.monotonic() > deadline:
                proc.kill()
                out, err = proc.communicate()
                self.fail("riphost wrote no temporary file: %s %s" % (out, err))
            time.sleep(0.005)
        return proc, pid + 1

    def test_clean_beside_live_writers_of_other_pid_namespaces_and_kept_files(self):
        probe = subprocess.run(["unshare", "--pid", "--fork", "--mount-proc", "true"], capture_output=True)
        if probe.returncode != 0:
            self.skipTest("no PID namespaces here")
        out = os.path.join(self.root, "out")
        os.makedirs(out)
        # A complete file its writer kept (under the visible name, and under a
        # temporary name made read-only), as a failed rename leaves them.
        host = socket.gethostname().split(".")[0]
        host = "".join(c if c.isalnum() and c.isascii() or c in "_-" else "_" for c in host)
        kept = ["kept-20380101-000000.kept.tav", ".kept-20380101-000000.%s.999999.1.tmp" % host]
        for name in kept:
            with open(os.path.join(out, name), "w") as f:
                f.write("complete")
        os.chmod(os.path.join(out, kept[1]), 0o444)

        live, live_pid = self.start_in_pid_namespace("live")
        dead, dead_pid = self.start_in_pid_namespace("dead")
        try:
            dead.kill()
            dead.communicate(timeout=120)
            left = [n for n in self.outputs() if n.startswith(".dead-")]
            self.assertEqual(len(left), 1, self.outputs())
            self.assertIn(".%s.%d." % (host, dead_pid), left[0])
            writing = [n for n in self.outputs() if n.startswith(".live-")]
            self.assertIn(".%s.%d." % (host, live_pid), writing[0])

            result = subprocess.run([os.path.join(BIN, "riphost"), "--clean", out],
                                    capture_output=True, text=True, timeout=120, env=self.clean_env())
            self.assertEqual(result.returncode, 0, result.stderr)
            self.assertEqual(result.stdout, "removed %s\n" % os.path.join(out, left[0]))
            # The live writer's file is still there, or its writer has since
            # finished it under its final name (clean listed only the dead one).
            finished = [n for n in self.outputs() if n.startswith("live-") and n.endswith(".tav")]
            self.assertTrue(os.path.exists(os.path.join(out, writing[0])) or finished or live.poll() is not None)
            for name in kept:
                self.assertTrue(os.path.exists(os.path.join(out, name)), name)
        finally:
            live.kill()
            live.communicate(timeout=120)
        # Its writer is gone now: what it left goes, the kept files stay.
        leftovers = [n for n in self.outputs() if n.startswith(".live-")]
        result = subprocess.run([os.path.join(BIN, "riphost"), "--clean", out],
                                capture_output=True, text=True, timeout=120, env=self.clean_env())
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertEqual(sorted(result.stdout.splitlines()),
                         sorted("removed " + os.path.join(out, n) for n in leftovers))
        self.assertEqual(sorted(n for n in self.outputs() if n.startswith(".") or "kept" in n), sorted(kept))

    def test_kept_previews_follow_their_raster_files(self):
        width, height = 45, 23
        write_pbm(os.path.join(self.root, "art.pbm"), width, height, art)
        jobs = [{"name": "preview", "ppi": 2400,
                 "options": {"dravout_addpngpreview": 1, "dravout_outputpagepngpreview": 1},
                 "pages": [{"width": width, "height": height, "ncopies": 2,
                            "separations": [{"name": "C", "image": "art.pbm"},
                                            {"name": "K", "image": "art.pbm"}]}]}]
        result = run_host(self.ticket(jobs))
        self.assertEqual(result.returncode, 0, result.stderr)
        reported = [line[len("wrote "):] for line in result.stdout.splitlines() if line.startswith("wrote ")]
        # Per separation: the raster file, then its preview, then the copy.
        self.assertEqual([os.path.splitext(p)[1] for p in reported], [".tav", ".png", ".tav"] * 2, reported)
        for i in (0, 3):
            self.assertEqual(reported[i + 1], reported[i][:-4] + ".png")
        self.assertEqual(sorted(os.path.basename(p) for p in reported), self.outputs())
        # tavinfo never writes the preview over the file it reads.
        tav = reported[0]
        before = read(tav)
        refused = subprocess.run([os.path.join(BIN, "tavinfo"), "--preview", tav, tav],
                                 capture_output=True, text=True, timeout=120)
        self.assertEqual(refused.returncode, 1)
        self.assertIn("would replace the TAV file it is read from", refused.stderr)
        self.assertEqual(read(tav), before)
        extracted = os.path.join(self.root, "preview.png")
        done = subprocess.run([os.path.join(BIN, "tavinfo"), "--preview", extracted, tav],
                              capture_output=True, text=True, timeout=120)
        self.assertEqual(done.returncode, 0, done.stderr)
        self.assertEqual(read(extracted), read(reported[1]))

    def test_large_page_packet_stays_within_its_memory(self):
        # A 16 MiB page packet: a long history (which Exempi would hold as
        # millions of nodes) and the page's inks after it, named by three
        # pages. The inks are still found, and the run stays within the
        # documented memory: the packet twice, some 40 MiB to read its inks.
        repo = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..")
        with open(os.path.join(repo, "tests", "xmp", "page_inks.xmp"), encoding="utf-8") as f:
            packet = f.read()
        event = "<rdf:li stEvt:action='saved' stEvt:when='2020-01-01'/>"
        head = ("<xmpMM:History xmlns:xmpMM='http://ns.adobe.com/xap/1.0/mm/' "
                "xmlns:stEvt='http://ns.adobe.com/xap/1.0/sType/ResourceEvent#'><rdf:Seq>")
        room = 16 * 1024 * 1024 - len(packet) - len(head) - 64
        history = head + event * (room // len(event)) + "</rdf:Seq></xmpMM:History>"
        at = packet.index("   <dravInk:Inks>")
        with open(os.path.join(self.root, "big.xmp"), "w", encoding="utf-8") as f:
            f.write(packet[:at] + history + packet[at:])
        self.assertLessEqual(os.path.getsize(os.path.join(self.root, "big.xmp")), 16 * 1024 * 1024)
        pages = [{"width": 40, "height": 4, "xmp": "big.xmp", "separations": [
            {"name": "M", "pattern": "bars", "inks": [{"ink": "Magenta"}],
             "requested_screens": [{"frequency": 150, "angle": 75}]}]} for _ in range(3)]
        job = {"name": "big", "ppi": 2400, "cutting": {"SCP2": "magenta cut"}, "pages": pages}
        script = ("import resource,subprocess,sys;"
                  "r=subprocess.run(sys.argv[1:]).returncode;"
                  "print(resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss);sys.exit(r)")
        result = subprocess.run([sys.executable, "-c", script, os.path.join(BIN, "riphost"), self.ticket([job])],
                                capture_output=True, text=True, timeout=600)
        self.assertEqual(result.returncode, 0, result.stderr)
        lines = result.stdout.strip().splitlines()
        peak_kib = int(lines[-1])
        # The sanitizers' shadow memory and quarantine add to what the run
        # holds; the bound still tells a copy of the packet per page apart.
        bound_mib = 300 if os.environ.get("DRAV_SANITIZED") else 100
        self.assertLess(peak_kib, bound_mib * 1024, "peak RSS %d KiB" % peak_kib)
        files = [line[len("wrote "):] for line in lines if line.startswith("wrote ")]
        self.assertEqual(len(files), 3)
        for path in files:
            self.assertEqual(tags_of(path)["_KVT_STAGGEREDCUT"]["clear"], "magenta cut", path)


if __name__ == "__main__":
    BIN = e2e_support.set_bin(sys.argv.pop(1))
    unittest.main(verbosity=2)
