#!/usr/bin/env python3
"""End-to-end checks of documents through riphost and the real plug-in.

The documents are written here (documents.py): PostScript programs, an EPS
file and PDF files with a 50 % cyan patch, a solid black patch, a 40 % patch
of a spot colour, a vignette and text. riphost takes them to plates with the
one-line command or a ticket, and the files are read back with Pillow and
tavinfo: the separations are the page's inks with their names; each patch's
dot area is within 1 % of its tint; the coverage in "_KVT_RIPINFO0" is the
plate's set pixels over the page area (solids apart); the spot colour has
its own file; a page range gives only those pages; the plug-in numbers the
inks from riphost's XMP packet (the spot colour's staggered cut); an
interrupted run leaves no temporary file, no spool and no incomplete file;
a broken document, a PostScript error, a page beyond the document and a
missing Ghostscript give their message and exit 2 with nothing written;
an ink given an FM screen by name shows FM in its tag; a device gamma
moves the tints of document plates as the calibration rule says;
--render-only writes the contone planes; several processes sharing one
document's pages write into one folder without a clash; overprinting marks
keep the inks under them and transparency renders, and a stop while
Ghostscript renders such a page leaves none of its files.

Usage: document_test.py BUILD_BIN_DIR
"""
import glob
import json
import os
import re
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
RULING = 100
WIDTH_PT, HEIGHT_PT = 180.0, 144.0
PROCESS = ["Cyan", "Magenta", "Yellow", "Black"]


def riphost(*args, env=None, timeout=600):
    return subprocess.run([os.path.join(BIN, "riphost"), *args], capture_output=True, text=True,
                          timeout=timeout, env=env)


def written(result):
    return [line[len("wrote "):] for line in result.stdout.splitlines() if line.startswith("wrote ")]


def separation_of(path):
    """Page and separation of a file named <job>-p<page>-<separation>-<date>-<time>[-n].tav."""
    match = re.match(r"^.*?-(p\d+)-(.+)-\d{8}-\d{6}(?:-\d+)?\.tav$", os.path.basename(path))
    if not match:
        raise AssertionError("not a plate's name: " + path)
    return match.group(1), match.group(2)


def tags_of(path):
    result = subprocess.run([os.path.join(BIN, "tavinfo"), "--json", path], capture_output=True, text=True,
                            timeout=600)
    if result.returncode != 0:
        raise AssertionError("tavinfo failed: " + result.stderr)
    return {t["name"]: t for t in json.loads(result.stdout)["tags"]}


def plate(path):
    """Width, height and the rows of the plate as bytes, 0 where there is ink,
    in page order (the plug-in stores the plate mirrored)."""
    with Image.open(path) as im:
        im.load()
        grey = im.convert("L").transpose(Image.Transpose.FLIP_LEFT_RIGHT)
        width, height = grey.size
        data = grey.tobytes()
    return width, height, [data[y * width:(y + 1) * width] for y in range(height)]


def box_of(mark, margin=24):
    """A mark's pixels less two screen cells all round: x0, y0, x1, y1."""
    s = PPI / 72.0
    x, y, w, h = mark
    return (int(x * s) + margin, int((HEIGHT_PT - y - h) * s) + margin,
            int((x + w) * s) - margin, int((HEIGHT_PT - y) * s) - margin)


def share(rows, box):
    x0, y0, x1, y1 = box
    inked = sum(rows[y][x0:x1].count(0) for y in range(y0, y1))
    return inked / float((x1 - x0) * (y1 - y0))


def set_pixels(rows):
    return sum(row.count(0) for row in rows)


class Documents(unittest.TestCase):
    def setUp(self):
        self.tmp = tempfile.TemporaryDirectory()
        self.root = self.tmp.name
        self.spool = os.path.join(self.root, "spool")
        os.mkdir(self.spool)
        self.env = dict(os.environ, TMPDIR=self.spool)

    def tearDown(self):
        self.tmp.cleanup()

    def path(self, name):
        return os.path.join(self.root, name)

    def run_document(self, document, out, *extra):
        return riphost(self.path(document), "-o", self.path(out), "--ppi", str(PPI), "--screens", str(RULING),
                       *extra, env=self.env)

    def check_plates(self, files, pages):
        """Every page has the four process inks and the spot colour; patches
        have their tints; coverage tags agree with the pixels."""
        by_page = {}
        for path in files:
            page, name = separation_of(path)
            by_page.setdefault(page, {})[name] = path
        self.assertEqual(sorted(by_page), sorted("p%d" % n for n in pages))
        marks = documents.marks(WIDTH_PT, HEIGHT_PT)
        for page, plates in by_page.items():
            self.assertEqual(sorted(plates), sorted(PROCESS + ["PANTONE_185_C"]), page)
            rows = {name: plate(path) for name, path in plates.items()}
            width, height, cyan = rows["Cyan"]
            self.assertEqual((width, height), (3000, 2400))
            self.assertAlmostEqual(share(cyan, box_of(marks["cyan50"])), 0.50, delta=0.01)
            self.assertAlmostEqual(share(rows["PANTONE_185_C"][2], box_of(marks["spot40"])), 0.40, delta=0.01)
            self.assertEqual(share(rows["Black"][2], box_of(marks["black100"])), 1.0)
            self.assertEqual(share(cyan, box_of(marks["black100"])), 0.0)
            self.assertEqual(share(rows["PANTONE_185_C"][2], box_of(marks["cyan50"])), 0.0)
            # The vignette darkens from left to right on the magenta plate.
            vx0, vy0, vx1, vy1 = box_of(marks["vignette"])
            third = (vx1 - vx0) // 3
            left = share(rows["Magenta"][2], (vx0, vy0, vx0 + third, vy1))
            right = share(rows["Magenta"][2], (vx1 - third, vy0, vx1, vy1))
            self.assertLess(left, 0.25)
            self.assertGreater(right, 0.7)
            area = float(width * height)
            for name in ("Cyan", "Yellow", "PANTONE_185_C"):
                screens = tags_of(plates[name])["_KVT_RIPINFO0"]["screens"]
                self.assertEqual(len(screens), 1, name)
                self.assertAlmostEqual(screens[0]["coverage"], set_pixels(rows[name][2]) / area, delta=1e-6)
            # Only solid ink on the black plate: the tag's one line is its solids.
            screens = tags_of(plates["Black"])["_KVT_RIPINFO0"]["screens"]
            self.assertEqual([s["name"] for s in screens], ["SOLID"])
            self.assertAlmostEqual(screens[0]["coverage"], set_pixels(rows["Black"][2]) / area, delta=1e-6)
            # The vignette reaches full magenta at its right edge: solids apart.
            magenta = tags_of(plates["Magenta"])["_KVT_RIPINFO0"]["screens"][0]["coverage"]
            self.assertLessEqual(magenta, set_pixels(rows["Magenta"][2]) / area + 1e-6)
            self.assertGreater(magenta, set_pixels(rows["Magenta"][2]) / area - 0.005)

    def assert_clean(self, out):
        self.assertEqual(os.listdir(self.spool), [], "the private temporary folder is gone")
        if os.path.isdir(self.path(out)):
            self.assertEqual([f for f in os.listdir(self.path(out)) if f.endswith(".tmp")], [])

    def test_postscript_and_pdf_pages_become_named_plates(self):
        for name, write in (("marks.ps", documents.write_ps), ("marks.pdf", documents.write_pdf)):
            with self.subTest(document=name):
                write(self.path(name), WIDTH_PT, HEIGHT_PT, pages=2)
                result = self.run_document(name, "out-" + name)
                self.assertEqual(result.returncode, 0, result.stderr)
                files = written(result)
                self.assertEqual(len(files), 10)
                self.check_plates(files, [1, 2])
                self.assert_clean("out-" + name)

    def test_overprint_keeps_the_inks_under_a_mark_and_transparency_renders(self):
        """Black strokes in overprint leave the cyan and the spot colour under
        them; a fill at 50 % opacity is a 50 % tint."""
        cases = (("overprint.pdf", documents.write_overprint_pdf, True),
                 ("overprint.ps", documents.write_overprint_ps, False))
        for name, write, has_alpha in cases:
            with self.subTest(document=name):
                write(self.path(name), WIDTH_PT, HEIGHT_PT)
                result = self.run_document(name, "out-" + name)
                self.assertEqual(result.returncode, 0, result.stderr)
                plates = {separation_of(f)[1]: plate(f)[2] for f in written(result)}
                self.assertIn("PANTONE_185_C", plates)
                m = documents.overprint_marks(WIDTH_PT, HEIGHT_PT)
                x0, y0, x1, y1 = box_of(m["cyan50"])
                beside_cyan = (x0, y0, box_of(m["stroke_cyan"])[0] - 48, y1)
                x0, y0, x1, y1 = box_of(m["spot40"])
                beside_spot = (x0, y0, box_of(m["stroke_spot"])[0] - 48, y1)
                under_cyan = box_of(m["stroke_cyan"], margin=12)[0:1] + box_of(m["cyan50"])[1:2] + \
                    box_of(m["stroke_cyan"], margin=12)[2:3] + box_of(m["cyan50"])[3:4]
                under_spot = box_of(m["stroke_spot"], margin=12)[0:1] + box_of(m["spot40"])[1:2] + \
                    box_of(m["stroke_spot"], margin=12)[2:3] + box_of(m["spot40"])[3:4]
                expected = [("Cyan", beside_cyan, 0.5), ("Cyan", under_cyan, 0.5),
                            ("PANTONE_185_C", beside_spot, 0.4), ("PANTONE_185_C", under_spot, 0.4),
                            ("Black", under_cyan, 1.0), ("Black", under_spot, 1.0), ("Black", beside_cyan, 0.0)]
                if has_alpha:
                    expected.append(("Black", box_of(m["alpha50"]), 0.5))
                for ink, box, tint in expected:
                    self.assertAlmostEqual(share(plates[ink], box), tint, delta=0.01, msg="%s %s" % (ink, box))
                self.assert_clean("out-" + name)

    def test_every_spot_colour_of_a_page_becomes_its_own_plate(self):
        """Seven spot colours beside the process inks (Ghostscript renders
        eight inks at once): each its own named plate, its patch at its
        tint, and no ink under another ink's patch."""
        spots = ["Varnish", "Die line", "PANTONE 300 C", "PANTONE 485 C", "Gold", "Silver"]
        patches = documents.spot_patches(WIDTH_PT, HEIGHT_PT, spots)
        expected = {"PANTONE_185_C": ("spot40", 0.40)}
        expected.update({name.replace(" ", "_"): (name, tint) for name, (tint, _) in patches.items()})
        boxes = {name: box_of(box) for name, (_, box) in patches.items()}
        boxes["spot40"] = box_of(documents.marks(WIDTH_PT, HEIGHT_PT)["spot40"])
        boxes["cyan50"] = box_of(documents.marks(WIDTH_PT, HEIGHT_PT)["cyan50"])
        for name, write in (("spots.pdf", documents.write_pdf), ("spots.ps", documents.write_ps)):
            with self.subTest(document=name):
                write(self.path(name), WIDTH_PT, HEIGHT_PT, spots=spots)
                result = self.run_document(name, "out-" + name)
                self.assertEqual(result.returncode, 0, result.stderr)
                plates = {separation_of(path)[1]: path for path in written(result)}
                self.assertEqual(sorted(plates), sorted(PROCESS + list(expected)))
                rows = {ink: plate(path)[2] for ink, path in plates.items()}
                for ink, ink_rows in rows.items():
                    own_box, tint = expected.get(ink, ("cyan50", 0.5) if ink == "Cyan" else (None, 0.0))
                    for box_name, box in boxes.items():
                        wanted = tint if box_name == own_box else 0.0
                        self.assertAlmostEqual(share(ink_rows, box), wanted, delta=0.01 if wanted else 0.0,
                                               msg="%s plate under %s" % (ink, box_name))
                self.assert_clean("out-" + name)

    def test_pjl_wrapped_postscript_with_its_own_page_device_gives_full_plates(self):
        """A print job as a driver sends it: PJL header and trailer around a
        program that asks its page device for no spot colours; the plates
        still carry every ink."""
        documents.write_ps(self.path("plain.ps"), WIDTH_PT, HEIGHT_PT)
        with open(self.path("plain.ps"), "rb") as f:
            first, rest = f.read().split(b"\n", 1)
        own = b"<< /PageSpotColors 0 >> setpagedevice\n"
        with open(self.path("job.prn"), "wb") as f:
            f.write(b"\x1b%-12345X@PJL JOB NAME=\"marks\"\r\n@PJL ENTER LANGUAGE=POSTSCRIPT\r\n")
            f.write(first + b"\n" + own + rest)
            f.write(b"\x1b%-12345X@PJL EOJ\r\n\x1b%-12345X")
        result = self.run_document("job.prn", "out")
        self.assertEqual(result.returncode, 0, result.stderr)
        self.check_plates(written(result), [1])
        self.assert_clean("out")

    def test_eps_is_one_page_cropped_to_its_box(self):
        documents.write_eps(self.path("marks.eps"), WIDTH_PT, HEIGHT_PT)
        result = self.run_document("marks.eps", "out")
        self.assertEqual(result.returncode, 0, result.stderr)
        self.check_plates(written(result), [1])

    def test_page_range_gives_only_those_pages(self):
        documents.write_pdf(self.path("five.pdf"), WIDTH_PT, HEIGHT_PT, pages=5)
        result = self.run_document("five.pdf", "out", "--pages", "2-3,5")
        self.assertEqual(result.returncode, 0, result.stderr)
        pages = sorted({separation_of(path)[0] for path in written(result)})
        self.assertEqual(pages, ["p2", "p3", "p5"])
        self.assertEqual(len(written(result)), 15)

    def test_problems_found_while_checking_exit_2_and_write_nothing(self):
        documents.write_ps(self.path("error.ps"), pages=3, error_on_page=2)
        documents.write_broken_pdf(self.path("broken.pdf"))
        documents.write_pdf(self.path("three.pdf"), pages=3)
        documents.write_overprint_pdf(self.path("overprint.pdf"))
        env = dict(self.env, RIPHOST_GHOSTSCRIPT="/nonexistent/libgs.so.10")
        no_gs = dict(self.env, RIPHOST_GS="/nonexistent/gs")
        cases = [
            ("overprint.pdf", [], no_gs, "overprint.pdf: page 1 has transparency or overprint, which riphost "
                                         "renders with Ghostscript's gs program, which is not there"),
            ("error.ps", [], self.env, "error.ps: page 2: PostScript error: Ghostscript says: "
                                      "Error: /undefined in thisoperatordoesnotexist"),
            ("broken.pdf", [], self.env, "Ghostscript says: **** Error: Couldn't initialise file."),
            ("three.pdf", ["--pages", "2-4"], self.env, "page 4 is beyond the last page of the document (3)"),
            ("three.pdf", [], env, "Ghostscript is not installed"),
            ("three.pdf", ["--pages", "3-1"], self.env, "runs backwards"),
            ("three.pdf", ["--ppi", "0"], self.env, "--ppi \"0\""),
        ]
        for document, extra, environment, message in cases:
            with self.subTest(document=document, extra=extra):
                result = riphost(self.path(document), "-o", self.path("out"), *extra, env=environment)
                self.assertEqual(result.returncode, 2, result.stderr)
                self.assertIn(message, result.stderr)
                self.assertFalse(os.path.exists(self.path("out")), "nothing is made")
                self.assert_clean("out")

    def test_stopped_run_leaves_no_temporary_file_nor_spool(self):
        documents.photo_page_pdf(self.path("photo.pdf"))
        process = subprocess.Popen([os.path.join(BIN, "riphost"), self.path("photo.pdf"), "-o", self.path("out")],
                                   stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True, env=self.env)
        # Wait until the first plate is being written, then stop.
        deadline = time.time() + 120
        while time.time() < deadline and not glob.glob(self.path("out/.*.tmp")):
            time.sleep(0.05)
        time.sleep(0.5)
        process.send_signal(signal.SIGTERM)
        out, err = process.communicate(timeout=300)
        self.assertEqual(process.returncode, 143, err)
        self.assertIn("stopped by SIGTERM", err)
        self.assert_clean("out")
        for path in [line[len("wrote "):] for line in out.splitlines() if line.startswith("wrote ")]:
            with Image.open(path) as im:
                im.load()  # a file under a final name is complete
        finals = glob.glob(self.path("out/*.tav"))
        self.assertEqual(len(finals), len([l for l in out.splitlines() if l.startswith("wrote ")]))

    def test_stop_while_ghostscript_renders_planes_removes_them_at_once(self):
        """A page with overprint: Ghostscript's planes are files for a while;
        a stop then ends Ghostscript and leaves nothing of them."""
        documents.photo_page_pdf(self.path("frame.pdf"), overprint=True)
        process = subprocess.Popen([os.path.join(BIN, "riphost"), self.path("frame.pdf"), "-o", self.path("out")],
                                   stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True, env=self.env)
        deadline = time.time() + 120
        while time.time() < deadline and not glob.glob(os.path.join(self.spool, "riphost.*", "work", "planes.*")):
            time.sleep(0.05)
        self.assertTrue(glob.glob(os.path.join(self.spool, "riphost.*", "work", "planes.*")), "Ghostscript renders into a folder")
        time.sleep(0.5)
        stopped = time.time()
        process.send_signal(signal.SIGTERM)
        _, err = process.communicate(timeout=60)
        self.assertEqual(process.returncode, 143, err)
        self.assertLess(time.time() - stopped, 5.0)
        self.assert_clean("out")
        self.assertEqual(glob.glob(self.path("out/*.tav")), [])

    def test_ticket_with_document_numbers_inks_for_cutting_texts(self):
        documents.write_pdf(self.path("marks.pdf"), WIDTH_PT, HEIGHT_PT, pages=2)
        ticket = {
            "device": os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "examples", "device"),
            "output": "out",
            "screens": [{"name": "Spot", "ruling": 120, "angle": 30}],
            "jobs": [{"name": "doc", "ppi": PPI, "document": "marks.pdf", "pages": "2",
                      "cutting": {"SCPAll": "all plates", "SCP5": "spot plate"}}],
        }
        with open(self.path("job.json"), "w") as f:
            json.dump(ticket, f)
        result = riphost(self.path("job.json"), env=self.env)
        self.assertEqual(result.returncode, 0, result.stderr)
        files = written(result)
        self.assertEqual(len(files), 5)
        for path in files:
            page, name = separation_of(path)
            self.assertEqual(page, "p2")
            tags = tags_of(path)
            if name == "Yellow":
                # The plug-in matches a requested screen within a tolerance
                # relative to the requested value: an angle of 0 never fits,
                # so the yellow plate (0 degrees) has no ink number.
                self.assertNotIn("_KVT_STAGGEREDCUT", tags)
                continue
            self.assertEqual(tags["_KVT_STAGGEREDCUT"]["clear"], "spot plate" if name == "PANTONE_185_C" else "all plates")
            if name == "PANTONE_185_C":
                screen = tags["_KVT_RIPINFO0"]["screens"][0]
                self.assertEqual((screen["ruling"], screen["angle"]), (120.0, 30.0))

    def device_with_gamma(self, gamma):
        """The example device folder with `gamma` at the tests' resolution."""
        source = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "examples", "device",
                              "device.toml")
        with open(source, encoding="utf-8") as f:
            text = f.read()
        text, found = re.subn(r"(ppi = %d\s+gamma = )1\.0" % PPI, r"\g<1>%s" % gamma, text, count=1)
        self.assertEqual(found, 1, "the example device has a gamma line at %d ppi" % PPI)
        folder = self.path("device-gamma")
        os.makedirs(folder, exist_ok=True)
        with open(os.path.join(folder, "device.toml"), "w", encoding="utf-8") as f:
            f.write(text)
        return folder

    def test_device_gamma_sets_the_dot_area_of_document_plates(self):
        """printed = ink^(1/gamma): tints move, paper and solids stay."""
        documents.write_pdf(self.path("marks.pdf"), WIDTH_PT, HEIGHT_PT)
        marks = documents.marks(WIDTH_PT, HEIGHT_PT)
        for gamma in (2.0, 0.5):
            with self.subTest(gamma=gamma):
                out = "out-%s" % gamma
                result = self.run_document("marks.pdf", out, "--device", self.device_with_gamma(gamma))
                self.assertEqual(result.returncode, 0, result.stderr)
                plates = {separation_of(path)[1]: plate(path)[2] for path in written(result)}
                cases = [("Cyan", "cyan50", 0.5 ** (1 / gamma)),
                         ("PANTONE_185_C", "spot40", 0.4 ** (1 / gamma)),
                         ("Black", "black100", 1.0),
                         ("Cyan", "black100", 0.0)]
                for ink, mark, area in cases:
                    self.assertAlmostEqual(share(plates[ink], box_of(marks[mark])), area, delta=0.01,
                                           msg="%s in %s" % (ink, mark))
                self.assert_clean(out)

    def test_fm_screen_named_for_an_ink_is_in_its_tags(self):
        """An ink given an FM screen by name is screened stochastically, at
        its tint, and its tag says FM; the other inks keep their AM dots."""
        documents.write_pdf(self.path("marks.pdf"), WIDTH_PT, HEIGHT_PT)
        ticket = {
            "device": os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "examples", "device"),
            "output": "out",
            "screens": [{"name": "FM2", "dot": "fm", "dot_size": 2}],
            "jobs": [{"name": "doc", "ppi": PPI, "document": "marks.pdf",
                      "ink_screens": {"cyan": "FM2", "PANTONE 185 C": "FM2"}}],
        }
        with open(self.path("job.json"), "w") as f:
            json.dump(ticket, f)
        result = riphost(self.path("job.json"), env=self.env)
        self.assertEqual(result.returncode, 0, result.stderr)
        marks = documents.marks(WIDTH_PT, HEIGHT_PT)
        plates = {separation_of(path)[1]: path for path in written(result)}
        cases = [("Cyan", "FM", "cyan50", 0.5), ("PANTONE_185_C", "FM", "spot40", 0.4),
                 ("Magenta", "ROUND", None, None), ("Yellow", "ROUND", None, None)]
        for ink, screen, mark, tint in cases:
            with self.subTest(ink=ink):
                tag = tags_of(plates[ink])["_KVT_RIPINFO0"]
                self.assertEqual([s["name"] for s in tag["screens"]], [screen])
                self.assertIn("S=%s" % screen, tag["value"])
                width, height, rows = plate(plates[ink])
                self.assertAlmostEqual(tag["screens"][0]["coverage"], set_pixels(rows) / float(width * height),
                                       delta=1e-6 if ink != "Magenta" else 0.005)
                if mark:
                    self.assertAlmostEqual(share(rows, box_of(marks[mark])), tint, delta=0.01)

    def test_render_only_writes_the_contone_planes(self):
        documents.write_ps(self.path("marks.ps"), WIDTH_PT, HEIGHT_PT)
        result = riphost(self.path("marks.ps"), "-o", self.path("planes"), "--ppi", "300", "--render-only",
                         env=self.env)
        self.assertEqual(result.returncode, 0, result.stderr)
        names = sorted(os.path.basename(p) for p in written(result))
        self.assertEqual(names, sorted("marks-p1-%s.tif" % n for n in ["Black", "Cyan", "Magenta",
                                                                       "PANTONE_185_C", "Yellow"]))
        x, y, w, h = documents.marks(WIDTH_PT, HEIGHT_PT)["cyan50"]
        centre = (int((x + w / 2) * 300 / 72), int((HEIGHT_PT - y - h / 2) * 300 / 72))
        with Image.open(self.path("planes/marks-p1-Cyan.tif")) as im:
            self.assertEqual(im.size, (750, 600))
            self.assertIn(im.getpixel(centre), (127, 128))
        self.assert_clean("planes")
        again = riphost(self.path("marks.ps"), "-o", self.path("planes"), "--ppi", "300", "--render-only",
                        env=self.env)
        self.assertEqual(again.returncode, 0, again.stderr)
        self.assertIn("marks-p1-Cyan-2.tif", " ".join(written(again)), "an existing file is never replaced")

    def test_several_processes_share_one_documents_pages_in_one_folder(self):
        documents.write_pdf(self.path("four.pdf"), WIDTH_PT, HEIGHT_PT, pages=4)
        processes = [subprocess.Popen([os.path.join(BIN, "riphost"), self.path("four.pdf"), "--pages", str(n),
                                       "-o", self.path("shared"), "--ppi", "600"],
                                      stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True, env=self.env)
                     for n in range(1, 5)]
        outputs = [p.communicate(timeout=600) for p in processes]
        for process, (out, err) in zip(processes, outputs):
            self.assertEqual(process.returncode, 0, err)
        files = sorted(os.listdir(self.path("shared")))
        self.assertEqual(len(files), 20)
        self.assertEqual(sorted({separation_of(f)[0] for f in files}), ["p1", "p2", "p3", "p4"])
        self.assertEqual([f for f in files if not f.endswith(".tav")], [])


if __name__ == "__main__":
    BIN = os.path.abspath(sys.argv.pop(1))
    unittest.main(verbosity=2)
