#!/usr/bin/env python3
"""End-to-end checks that a document can touch nothing outside itself.

With TMPDIR unset (the machine's /tmp) and set: documents that try to read
a file in the temporary folder and a file beside themselves, to write,
rename and delete files in the temporary folder, or to read a concurrent
job's files, and a PDF whose image is an external stream (/F) naming such a
file, render without the data (or fail) and change nothing, on the display
device and through Ghostscript's `gs` program alike. Each run's private
folder is gone when it ends; a killed run's folder is removed by the next
document run and by `riphost --clean`, never while its owner lives in
another PID namespace. A full temporary folder is named in the error.

Usage: document_safety_test.py BUILD_BIN_DIR
"""
import glob
import os
import secrets
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
PPI = "72"


def riphost_command(*args):
    return [os.path.join(BIN, "riphost"), *args]


def ps_string(text):
    return "(" + text.replace("\\", "\\\\").replace("(", "\\(").replace(")", "\\)") + ")"


def attack_ps(path, reads=(), writes=None, separation_route=False):
    """A one-page program that reads the first line of each file of reads
    into the name of a spot colour it paints ("Leak-<bytes>"), and, with
    writes (new, a, b, c), tries to make new, rename a to b and delete c.
    Every try is wrapped in `stopped`: the page renders whatever is refused.
    separation_route names setoverprint, which sends the page to gs."""
    out = ["%!PS-Adobe-3.0", "<< /PageSize [72 72] >> setpagedevice",
           "/tryread { mark exch { (r) file 200 string readline pop } stopped "
           "{ cleartomark () } { exch pop } ifelse } def",
           "/concat { 2 copy length exch length add string dup 0 4 index putinterval "
           "dup 3 index length 3 index putinterval 3 1 roll pop pop } def",
           "(Leak-)"]
    out += ["%s tryread concat" % ps_string(name) for name in reads]
    out.append("/leak exch def")
    if writes:
        new, a, b, c = (ps_string(name) for name in writes)
        out += ["mark { %s (w) file dup (written) writestring closefile } stopped cleartomark" % new,
                "mark { %s %s renamefile } stopped cleartomark" % (a, b),
                "mark { %s deletefile } stopped cleartomark" % c]
    # Whatever was read also shows as a black page.
    out.append("leak length 5 gt { 0 0 0 1 setcmykcolor 0 0 72 72 rectfill } if")
    if separation_route:
        out.append("false setoverprint")
    out += ["[/Separation leak /DeviceCMYK {dup dup dup}] setcolorspace 1 setcolor 10 10 52 52 rectfill",
            "showpage", "%%EOF"]
    with open(path, "w", encoding="latin-1") as f:
        f.write("\n".join(out) + "\n")


def external_stream_pdf(path, targets):
    """A 72 x 72 pt page of one grey image per target whose data is the
    external file target (/F); the image is 11 x 1 samples."""
    objs = [b"<< /Type /Catalog /Pages 2 0 R >>", b"<< /Type /Pages /Kids [3 0 R] /Count 1 >>"]
    names = b" ".join(b"/Im%d %d 0 R" % (i, 5 + i) for i in range(len(targets)))
    objs.append(b"<< /Type /Page /Parent 2 0 R /MediaBox [0 0 72 72] /Resources << /XObject << " + names +
                b" >> >> /Contents 4 0 R >>")
    content = b" ".join(b"q 72 0 0 %d 0 %d cm /Im%d Do Q" % (72 // len(targets), i * 72 // len(targets), i)
                        for i in range(len(targets)))
    objs.append(b"<< /Length %d >>\nstream\n" % len(content) + content + b"\nendstream")
    for target in targets:
        objs.append(b"<< /Type /XObject /Subtype /Image /Width 11 /Height 1 /ColorSpace /DeviceGray "
                    b"/BitsPerComponent 8 /Length 0 /F (" + target.encode() + b") >>\nstream\n\nendstream")
    data = b"%PDF-1.4\n"
    offsets = []
    for number, body in enumerate(objs, 1):
        offsets.append(len(data))
        data += b"%d 0 obj\n" % number + body + b"\nendobj\n"
    xref = len(data)
    data += b"xref\n0 %d\n0000000000 65535 f \n" % (len(objs) + 1)
    data += b"".join(b"%010d 00000 n \n" % offset for offset in offsets)
    data += b"trailer\n<< /Size %d /Root 1 0 R >>\nstartxref\n%d\n%%%%EOF\n" % (len(objs) + 1, xref)
    with open(path, "wb") as f:
        f.write(data)


def no_ink(plane):
    """True when a --render-only plane (MinIsWhite: Pillow shows paper as
    255) holds no ink."""
    with Image.open(plane) as im:
        return im.getextrema() == (255, 255)


def slow_page_ps(path):
    """A page that reads quickly at the check's few ppi and loops for a long
    time at a real resolution."""
    with open(path, "w") as f:
        f.write("%!PS-Adobe-3.0\n<< /PageSize [72 72] >> setpagedevice\n"
                "currentpagedevice /HWResolution get 0 get 50 gt { 0 1 2000000000 { pop } for } if\n"
                "0 0 0 1 setcmykcolor 10 10 50 50 rectfill showpage\n")


class DocumentSafety(unittest.TestCase):
    def setUp(self):
        self.tmp = tempfile.TemporaryDirectory()
        self.root = self.tmp.name
        self.processes = []
        self.token = secrets.token_hex(8)
        self.marker = "SECRET" + self.token
        self.made = []  # files made outside the test's folder
        self.mounts = []

    def tearDown(self):
        for process in self.processes:
            if process.poll() is None:
                process.kill()
                process.wait()
        for path in self.made:
            if os.path.exists(path):
                os.remove(path)
        for folder in self.mounts:
            subprocess.run(["umount", folder], capture_output=True)
        self.tmp.cleanup()

    def path(self, name):
        return os.path.join(self.root, name)

    def bases(self):
        """(what the temporary folder is, riphost's environment, the folder)
        for TMPDIR unset and set."""
        unset = {k: v for k, v in os.environ.items() if k not in ("TMPDIR", "TEMP", "TMP")}
        spool = self.path("tmp")
        os.makedirs(spool, exist_ok=True)
        return [("TMPDIR unset", unset, "/tmp"), ("TMPDIR set", dict(unset, TMPDIR=spool), spool)]

    def plant(self, path, text):
        with open(path, "w") as f:
            f.write(text)
        if not path.startswith(self.root):
            self.made.append(path)

    def run_riphost(self, env, *args):
        return subprocess.run(riphost_command(*args), capture_output=True, text=True, timeout=300, env=env)

    def assert_no_leak(self, result, out):
        text = result.stdout + result.stderr
        self.assertNotIn(self.token, text)
        for name in os.listdir(out) if os.path.isdir(out) else []:
            self.assertNotIn(self.token, name)
            with open(os.path.join(out, name), "rb") as f:
                self.assertNotIn(self.token.encode(), f.read())

    def own_folders(self, base, pid):
        return glob.glob(os.path.join(base, "riphost.*.%d.*" % pid))

    def test_documents_read_write_rename_and_delete_nothing_outside(self):
        doc_dir = self.path("docs")
        os.mkdir(doc_dir)
        beside = os.path.join(doc_dir, "beside.txt")
        self.plant(beside, self.marker + "-beside\n")
        for label, env, base in self.bases():
            for route in (False, True):
                with self.subTest(tmpdir=label, separation_route=route):
                    stem = os.path.join(base, "riphost-safety-%s-%d" % (self.token, route))
                    secret = stem + "-secret"
                    a, b, c, new = stem + "-a", stem + "-b", stem + "-c", stem + "-new"
                    for path in (secret, a, c):
                        self.plant(path, self.marker + "\n")
                    self.made += [b, new]
                    doc = os.path.join(doc_dir, "attack%d.ps" % route)
                    attack_ps(doc, reads=(secret, beside, "beside.txt"), writes=(new, a, b, c),
                              separation_route=route)
                    out = self.path("out-%s-%d" % (label[7:], route))
                    result = self.run_riphost(env, doc, "-o", out, "--ppi", PPI, "--render-only")
                    self.assertEqual(result.returncode, 0, result.stderr)
                    self.assert_no_leak(result, out)
                    self.assertTrue(os.path.exists(os.path.join(out, "attack%d-p1-Leak-.tif" % route)),
                                    os.listdir(out))
                    self.assertTrue(no_ink(os.path.join(out, "attack%d-p1-Black.tif" % route)),
                                    "nothing was read while rendering")
                    self.assertTrue(os.path.exists(a) and os.path.exists(c), "nothing renamed or deleted")
                    self.assertFalse(os.path.exists(b) or os.path.exists(new), "nothing written")
                    if base != "/tmp":
                        self.assertEqual(glob.glob(os.path.join(base, "riphost.*")), [], "the run's folder is gone")

    def test_pdf_external_streams_read_nothing(self):
        doc_dir = self.path("docs")
        os.mkdir(doc_dir)
        beside = os.path.join(doc_dir, "beside.bin")
        self.plant(beside, "SECRETDATA\n")
        for label, env, base in self.bases():
            with self.subTest(tmpdir=label):
                secret = os.path.join(base, "riphost-safety-%s-x" % self.token)
                self.plant(secret, "SECRETDATA\n")
                doc = os.path.join(doc_dir, "external.pdf")
                external_stream_pdf(doc, [secret, beside])
                out = self.path("out-" + label[7:])
                result = self.run_riphost(env, doc, "-o", out, "--ppi", PPI, "--render-only")
                if result.returncode == 0:
                    self.assertTrue(no_ink(os.path.join(out, "external-p1-Black.tif")), "the files' bytes are no pixels")
                else:
                    self.assertEqual(os.listdir(out) if os.path.isdir(out) else [], [])

    def test_a_document_cannot_read_a_concurrent_jobs_files(self):
        slow_page_ps(self.path("slow.ps"))
        for label, env, base in self.bases():
            with self.subTest(tmpdir=label):
                first = subprocess.Popen(riphost_command(self.path("slow.ps"), "-o", self.path("slow-out"),
                                                         "--ppi", "300", "--render-only"),
                                         stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True, env=env)
                self.processes.append(first)
                deadline = time.time() + 60
                while time.time() < deadline and not glob.glob(os.path.join(base, "riphost.*.%d.*/work" % first.pid)):
                    time.sleep(0.02)
                works = glob.glob(os.path.join(base, "riphost.*.%d.*/work" % first.pid))
                self.assertEqual(len(works), 1, "the running job has its private folder")
                self.assertEqual(os.stat(os.path.dirname(works[0])).st_mode & 0o777, 0o700)
                # What the running job keeps there (its planes, say).
                planted = os.path.join(works[0], "plane.tif")
                self.plant(planted, self.marker + "\n")
                attack_ps(self.path("reader.ps"), reads=(planted,))
                result = self.run_riphost(env, self.path("reader.ps"), "-o", self.path("reader-" + label[7:]),
                                          "--ppi", PPI, "--render-only")
                self.assertEqual(result.returncode, 0, result.stderr)
                self.assert_no_leak(result, self.path("reader-" + label[7:]))
                self.assertIsNone(first.poll(), "the first job was still running")
                first.send_signal(signal.SIGTERM)
                _, err = first.communicate(timeout=60)
                self.assertEqual(first.returncode, 143, err)
                self.assertEqual(self.own_folders(base, first.pid), [], "a stopped run removes its folder")

    def start_in_pid_namespace(self, env):
        """riphost on a slow page in a PID namespace of its own, under a
        process number that runs nowhere here; returns the process and that
        number once its private folder is there."""
        pid = 40000
        while True:
            pid += 1
            try:
                os.kill(pid + 1, 0)
            except ProcessLookupError:
                break
            except PermissionError:
                pass
        script = 'echo %d > /proc/sys/kernel/ns_last_pid && "$0" "$1" -o "$2" --ppi 300 --render-only' % pid
        proc = subprocess.Popen(["unshare", "--pid", "--fork", "--mount-proc", "--kill-child", "sh", "-c", script,
                                 os.path.join(BIN, "riphost"), self.path("slow.ps"), self.path("ns-out")],
                                stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True, env=env)
        self.processes.append(proc)
        return proc, pid + 1

    def test_clean_removes_dead_folders_and_never_a_live_one(self):
        probe = subprocess.run(["unshare", "--pid", "--fork", "--mount-proc", "true"], capture_output=True)
        if probe.returncode != 0:
            self.skipTest("no PID namespaces here")
        slow_page_ps(self.path("slow.ps"))
        spool = self.path("tmp")
        os.mkdir(spool)
        env = dict(os.environ, TMPDIR=spool)
        out = self.path("out")
        os.mkdir(out)
        live, live_pid = self.start_in_pid_namespace(env)
        deadline = time.time() + 60
        while time.time() < deadline and not self.own_folders(spool, live_pid):
            self.assertIsNone(live.poll(), live.stderr.read() if live.poll() is not None else "")
            time.sleep(0.02)
        folder = self.own_folders(spool, live_pid)
        self.assertEqual(len(folder), 1, os.listdir(spool))
        # Its process number means nothing here; its lock keeps the folder.
        result = self.run_riphost(env, "--clean", out)
        self.assertEqual((result.returncode, result.stdout), (0, ""), result.stderr)
        attack_ps(self.path("plain.ps"))
        result = self.run_riphost(env, self.path("plain.ps"), "-o", self.path("plain"), "--ppi", PPI,
                                  "--render-only")
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertTrue(os.path.isdir(folder[0]), "a document run leaves a live folder alone")
        live.kill()  # the whole namespace dies with it, riphost killed outright
        live.communicate(timeout=60)
        self.assertTrue(os.path.isdir(folder[0]))
        self.assertEqual(sorted(os.listdir(folder[0])), ["lock", "work"])
        result = self.run_riphost(env, "--clean", out)
        self.assertEqual((result.returncode, result.stdout), (0, "removed %s\n" % folder[0]), result.stderr)
        self.assertEqual(os.listdir(spool), [])

    def test_the_next_document_run_removes_a_killed_runs_folder(self):
        slow_page_ps(self.path("slow.ps"))
        spool = self.path("tmp")
        os.mkdir(spool)
        env = dict(os.environ, TMPDIR=spool)
        killed = subprocess.Popen(riphost_command(self.path("slow.ps"), "-o", self.path("killed"), "--ppi", "300",
                                                  "--render-only"),
                                  stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True, env=env)
        self.processes.append(killed)
        deadline = time.time() + 60
        while time.time() < deadline and not self.own_folders(spool, killed.pid):
            time.sleep(0.02)
        self.assertTrue(self.own_folders(spool, killed.pid))
        killed.kill()
        killed.communicate(timeout=60)
        attack_ps(self.path("plain.ps"))
        result = self.run_riphost(env, self.path("plain.ps"), "-o", self.path("plain"), "--ppi", PPI,
                                  "--render-only")
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertEqual(os.listdir(spool), [])

    def test_a_stop_while_checking_removes_the_folder(self):
        with open(self.path("slow-check.ps"), "w") as f:
            f.write("%!PS\n0 1 2000000000 { pop } for\nshowpage\n")
        spool = self.path("tmp")
        os.mkdir(spool)
        for sig, status in ((signal.SIGTERM, 143), (signal.SIGINT, 130), (signal.SIGHUP, 129)):
            with self.subTest(signal=sig.name):
                process = subprocess.Popen(riphost_command(self.path("slow-check.ps"), "-o", self.path("out")),
                                           stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True,
                                           env=dict(os.environ, TMPDIR=spool))
                self.processes.append(process)
                deadline = time.time() + 60
                while time.time() < deadline and not self.own_folders(spool, process.pid):
                    time.sleep(0.02)
                self.assertTrue(self.own_folders(spool, process.pid))
                time.sleep(0.2)
                process.send_signal(sig)
                process.communicate(timeout=60)
                self.assertIn(process.returncode, (status, -sig), "ended by the signal")
                self.assertEqual(os.listdir(spool), [])

    def small_disk(self, options):
        """A tmpfs of the test's mounted with options (removed at the end);
        the test is skipped where nothing can be mounted."""
        folder = self.path("disk-%s" % options.replace(",", "-").replace("=", ""))
        os.mkdir(folder)
        if subprocess.run(["mount", "-t", "tmpfs", "-o", options, "tmpfs", folder], capture_output=True).returncode:
            self.skipTest("cannot mount a small file system here")
        self.mounts.append(folder)
        return folder

    def test_a_full_temporary_folder_is_named(self):
        documents.photo_page_pdf(self.path("photo.pdf"))
        documents.photo_page_pdf(self.path("overprint.pdf"), overprint=True)
        no_inodes = self.small_disk("size=1m,nr_inodes=1")
        # Room for the private folder, not for Ghostscript's scratch files.
        few_inodes = self.small_disk("size=1m,nr_inodes=5")
        small = self.small_disk("size=1m")
        cases = [(no_inodes, "photo.pdf", "the temporary folder %s is full (No space left on device)" % no_inodes),
                 (few_inodes, "photo.pdf", "the temporary folder %s is full (No space left on device)" % few_inodes),
                 (small, "photo.pdf", "Ghostscript could not render it: "),
                 (small, "overprint.pdf", "Ghostscript's separation device could not render it: ")]
        for n, (disk, document, said) in enumerate(cases):
            with self.subTest(disk=os.path.basename(disk), document=document):
                out = self.path("out%d" % n)
                result = self.run_riphost(dict(os.environ, TMPDIR=disk), self.path(document), "-o", out,
                                          "--ppi", "300", "--render-only")
                self.assertEqual(result.returncode, 1, result.stderr)
                self.assertIn(said, result.stderr)
                self.assertIn("the temporary folder %s is full" % disk, result.stderr)
                self.assertEqual(os.listdir(disk), [], "nothing is left behind")
                self.assertEqual(os.listdir(out) if os.path.isdir(out) else [], [])


if __name__ == "__main__":
    BIN = os.path.abspath(sys.argv.pop(1))
    unittest.main(verbosity=2)
