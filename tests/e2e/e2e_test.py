#!/usr/bin/env python3
"""End-to-end checks of riphost with the real plug-in: what the files hold.

Runs job tickets through riphost and reads the finished TAV files back with
Pillow, an independent TIFF reader: every file holds the host's bitmap,
mirrored and inverted exactly as the job asks; each separation gives as many
uniquely named files as copies, all reported; running again adds files and
replaces none; contone content that riphost screens itself (placed photos,
FM screens too) gives files whose "_KVT_RIPINFO0" tag (read with
`tavinfo --json`) tells the share of the page each screen covers and the box
of its pixels, matching the file's pixels; a page's XMP packet, the
separations' inks, requested screens and packets and the job's cutting texts
give each file its "_KVT_XMP", staggered-cut, CAD and transformation tags; a
confined ticket may name only files in its own and the allowed folders;
`--check` finds what a run refuses; the ink share per page matches the
files; and `riphost --query` asks the plug-in. What runs leave on disk is in
e2e_files_test.py.

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
import tomllib
import unittest

from PIL import Image

import e2e_support
from e2e_support import *  # noqa: F401,F403  helpers shared by the end-to-end tests


class EndToEnd(EndToEndCase):
    def test_placed_photo_and_fm_screen(self):
        """A 300-ppi grey photo on a 2400-ppi page fills eight times its size
        and, averaged over blocks, follows the photo's ink; an FM screen is
        its own screen in the screen-information tag, its coverage the
        plate's."""
        repo = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..")
        photo = os.path.join(repo, "examples", "photo.png")
        jobs = [{"name": "photo", "ppi": 2400, "options": {"LEFT": 1},
                 "screens": [{"name": "K150", "ruling": 150, "angle": 45, "dot": "round"},
                             {"name": "FM2", "dot": "fm", "dot_size": 2}],
                 "pages": [{"separations": [{"name": "K", "contone": photo, "screens": ["K150"]}]},
                           {"width": 600, "height": 300,
                            "separations": [{"name": "F", "gradient": "horizontal", "screens": ["FM2"]}]}]}]
        result = run_host(self.ticket(jobs))
        self.assertEqual(result.returncode, 0, result.stderr)
        plate, fm = written(result)
        with Image.open(photo) as im:
            source = im.convert("L")
        width, height, pixels = ink_pixels(plate)
        self.assertEqual((width, height), (source.width * 8, source.height * 8))
        block = 32  # 4 x 4 photo pixels, about 2 x 2 screen cells
        errors = []
        for by in range(0, source.height // 4):
            for bx in range(0, source.width // 4):
                ink = sum(pixels[y][x] for y in range(by * block, by * block + block)
                          for x in range(bx * block, bx * block + block)) / block / block
                grey = sum(source.getpixel((bx * 4 + i, by * 4 + j)) for i in range(4) for j in range(4)) / 16
                errors.append(abs(ink - (1 - grey / 255)))
        self.assertLess(sum(errors) / len(errors), 0.03, "mean block error")
        screens = screen_lines(fm)
        self.assertEqual([s["name"] for s in screens], ["FM"])
        fm_width, fm_height, fm_pixels = ink_pixels(fm)
        set_pixels = sum(map(sum, fm_pixels))
        # The ramp's last column is full ink, which goes to the plate as solid
        # and is left out of the screen's share.
        solid = fm_height
        self.assertAlmostEqual(screens[0]["coverage"], (set_pixels - solid) / (fm_width * fm_height), places=5)

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

    def test_one_screen_coverage_and_area(self):
        # A grey blob off the page's corner, never full ink: every set pixel
        # is a screened one, so the one screen line covers them all.
        width, height = 300, 200

        def blob(x, y):
            d = ((x - 120) ** 2 + (y - 70) ** 2) ** 0.5
            return 255 if d > 60 else 30 + int(d * 3)

        write_pgm(os.path.join(self.root, "blob.pgm"), 200, 150, blob)
        screens = [{"name": "k", "ruling": 150, "angle": 45, "dot": "round"}]
        for left in (None, 1):
            options = {"OFORMAT": "FW8B"}
            if left is not None:
                options["LEFT"] = left
            job = {"name": "blob%s" % left, "ppi": 2400, "options": options, "screens": screens,
                   "pages": [{"width": width, "height": height,
                              "separations": [{"name": "K", "contone": "blob.pgm", "screens": ["k"]}]}]}
            result = run_host(self.ticket([job]))
            self.assertEqual(result.returncode, 0, result.stderr)
            self.assertEqual(result.stderr, "")
            path = written(result)[0]
            w, h, pixels = ink_pixels(path)
            set_pixels, box = ink_box(pixels)
            lines = screen_lines(path)
            self.assertEqual(len(lines), 1, lines)
            line = lines[0]
            self.assertEqual((line["name"], line["ruling"], line["angle"]), ("ROUND", 150.0, 45.0))
            self.assertAlmostEqual(line["coverage"], set_pixels / (w * h), delta=5e-7)
            self.assertEqual(line["area"], box, left)
            # Mirrored by default: the blob is on the right of the file.
            if left is None:
                self.assertGreater(box[0], width - 200, box)
            else:
                self.assertLess(box[2], 200, box)

    def test_contone_kinds_screen_alike(self):
        # The same ink as a grey PGM, a grey PNG and the K channel of a CMYK
        # TIFF (the other channels differ) gives the same pixels and tag.
        width, height = 96, 64

        def grey(x, y):
            return 255 - (x * 2 + y) % 256

        write_pgm(os.path.join(self.root, "g.pgm"), width, height, grey)
        Image.frombytes("L", (width, height), bytes(grey(x, y) for y in range(height) for x in range(width))).save(
            os.path.join(self.root, "g.png"))
        cmyk = bytes(v for y in range(height) for x in range(width) for v in (x, y, 255 - x, 255 - grey(x, y)))
        Image.frombytes("CMYK", (width, height), cmyk).save(os.path.join(self.root, "c.tif"))
        seps = [{"name": "A", "contone": "g.pgm"}, {"name": "B", "contone": "g.png"},
                {"name": "C", "contone": "c.tif", "channel": "K"}]
        job = {"name": "kinds", "ppi": 2400, "options": {"LEFT": 1}, "pages": [{"separations": seps}]}
        result = run_host(self.ticket([job]))
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertEqual(result.stderr, "")
        paths = written(result)
        self.assertEqual(len(paths), 3)
        first = ink_pixels(paths[0])
        self.assertEqual(first[:2], (width, height))
        for path in paths[1:]:
            self.assertEqual(ink_pixels(path), first, path)
            self.assertEqual(screen_lines(path), screen_lines(paths[0]))
        self.assertEqual(screen_lines(paths[0])[0]["name"], "ROUND")

    def test_several_screens_solids_and_copydot_add_up(self):
        width, height = 240, 120
        write_pbm(os.path.join(self.root, "line.pbm"), 60, 40, lambda x, y: (x // 3 + y // 3) % 2 == 0)
        job = {"name": "mix", "ppi": 2400, "options": {"LEFT": 1},
               "screens": [{"name": "k", "ruling": 150, "angle": 45},
                           {"name": "c", "ruling": 120, "angle": 15, "dot": "ellipse"},
                           {"name": "m", "ruling": 100, "angle": 75, "dot": "line"}],
               "pages": [{"width": width, "height": height, "separations": [
                   {"name": "K", "gradient": "vertical", "screens": ["k", "c", "m", "c"], "uses": [1, 1, 1, 2],
                    "copydot": "line.pbm",
                    "screen_areas": [{"screen": "c", "x": 120, "y": 0, "width": 120, "height": 60},
                                     {"screen": "m", "x": 0, "y": 60, "width": 80, "height": 60}]}]}]}
        result = run_host(self.ticket([job]))
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertEqual(result.stderr, "")
        path = written(result)[0]
        w, h, pixels = ink_pixels(path)
        set_pixels, _ = ink_box(pixels)
        lines = screen_lines(path)
        names = [line["name"] for line in lines]
        self.assertEqual(names, ["ROUND", "ELLIPSE", "LINE", "CPP"], lines)
        # The gradient's last row is full ink: solid runs, not listed.
        solid = width
        counted = sum(round(line["coverage"] * w * h) for line in lines)
        self.assertLessEqual(abs(counted + solid - set_pixels), len(lines), (counted, solid, set_pixels))
        copydot = lines[3]
        self.assertEqual(copydot["area"], [0, 0, 60, 39])
        self.assertAlmostEqual(copydot["coverage"] * w * h,
                               sum(1 for y in range(40) for x in range(60) if (x // 3 + y // 3) % 2 == 0), delta=0.5)
        ellipse = lines[1]
        self.assertGreaterEqual(ellipse["area"][0], 120)
        self.assertLessEqual(ellipse["area"][3], 59)

        # Neighbouring and unaligned handles are told apart just the same.
        for handles in ({"base": 4097, "step": 1}, {"base": 0x10000002, "step": 4}):
            result = run_host(self.ticket([job], screen_handles=handles))
            self.assertEqual(result.returncode, 0, result.stderr)
            self.assertEqual(result.stderr, "")
            again = written(result)[0]
            self.assertEqual(screen_lines(again), lines, handles)

    def test_screened_gradient_looks_like_a_halftone(self):
        width, height = 640, 160
        job = {"name": "ramp", "ppi": 1200, "options": {"LEFT": 1, "OFORMAT": "FW8B"},
               "pages": [{"width": width, "height": height,
                          "separations": [{"name": "K", "gradient": "horizontal"}]}]}
        result = run_host(self.ticket([job]))
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertEqual(result.stderr, "")
        path = written(result)[0]
        png = os.path.join(self.root, "ramp.png")
        with Image.open(path) as im:
            im.convert("L").save(png)
        with Image.open(png) as im:
            data = im.tobytes()
        bands = 10
        step = width // bands
        means = []
        for b in range(bands):
            ink = sum(1 for y in range(height) for x in range(b * step, (b + 1) * step) if data[y * width + x] < 128)
            means.append(ink / (step * height))
        for b in range(bands):
            self.assertAlmostEqual(means[b], (b + 0.5) / bands, delta=0.04, msg=means)
            if b:
                self.assertGreater(means[b], means[b - 1], means)
        # A halftone, not a dither: in the highlights the ink forms dots of
        # several pixels, so most ink pixels have an ink neighbour.
        ink = [(x, y) for y in range(height) for x in range(step, 2 * step) if data[y * width + x] < 128]
        neighboured = sum(1 for x, y in ink if data[y * width + x + 1] < 128 or data[y * width + x - 1] < 128)
        self.assertGreater(neighboured, 0.8 * len(ink))
        lines = screen_lines(path)
        self.assertEqual([line["name"] for line in lines], ["ROUND"])

    def test_xmp_inks_and_cutting_texts(self):
        repo = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..")
        with open(os.path.join(repo, "tests", "xmp", "page_inks.xmp"), encoding="utf-8") as f:
            packet = f.read()
        with open(os.path.join(self.root, "page.xmp"), "w", encoding="utf-8") as f:
            f.write(packet)
        # Inks of the packet: 1 Cyan 150/15, 2 Magenta 150/75, 3 Yellow 150/0,
        # 4 Black 150/45 (group Process, CAD names C M Y K), 5 Die Cut Line
        # 133.5/22.5 (no group, CAD name DieCut).
        cutting = {"SCPAll": "common\ncut", "SCP2": "magenta cut", "CCP1": "cyan cad", "CCP5": "die cad"}
        sep_packet = "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\"><!-- C \u00e9 --></x:xmpmeta>"
        page = {"width": 40, "height": 4, "xmp": "page.xmp", "separations": [
            # name, what it means, the staggered cut it must carry
            {"name": "C", "pattern": "bars", "xmp": sep_packet,
             "inks": [{"ink": "Cyan", "group": "Process"}],
             "requested_screens": [{"frequency": 150, "angle": 15}]},
            {"name": "M", "pattern": "bars", "xmp_file": "page.xmp",
             "inks": [{"ink": "MAGENTA"}], "requested_screens": [{"frequency": 150, "angle": 75}]},
            {"name": "D", "pattern": "bars",
             "inks": [{"ink": "die cut line", "group": ""}],
             "requested_screens": [{"frequency": 133.5, "angle": 22.5}]},
            # The AM screen (150 lpi, 45 degrees) is the requested one.
            {"name": "K", "pattern": "bars", "inks": [{"ink": "Black"}]},
            # No ink fits 150 lpi at 30 degrees: no staggered cut.
            {"name": "X", "pattern": "bars", "inks": [{"ink": "Black", "group": "Process"}],
             "requested_screens": [{"frequency": 150, "angle": 30}]},
        ]}
        expected = {"C": (sep_packet, "common\ncut"), "M": (packet, "magenta cut"),
                    "D": (None, "common\ncut"), "K": (None, "common\ncut"), "X": (None, None)}
        job = {"name": "inks", "ppi": 2400, "options": {"OFORMAT": "FW8B"}, "cutting": cutting,
               "screens": [{"name": "k", "ruling": 150, "angle": 45}], "default_screen": "k",
               "pages": [page]}
        result = run_host(self.ticket([job]))
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertEqual(result.stderr, "")
        files = [line[len("wrote "):] for line in result.stdout.splitlines() if line.startswith("wrote ")]
        self.assertEqual(len(files), len(expected))
        transformation = ("VSHFT=0 HSHFT=0\nVSCAL=1.000000 HSCAL=1.000000\nROT=0\nMIRROR=1\n"
                          "VDIST=1.000000 HDIST=1.000000\n")
        for path in files:
            name = os.path.basename(path).split("-")[2]
            xmp, staggered = expected[name]
            tags = tags_of(path)
            if xmp is None:
                self.assertNotIn("_KVT_XMP", tags, name)
            else:
                self.assertEqual(tags["_KVT_XMP"]["value"], xmp, name)
            if staggered is None:
                self.assertNotIn("_KVT_STAGGEREDCUT", tags, name)
            else:
                self.assertEqual(tags["_KVT_STAGGEREDCUT"]["clear"], staggered, name)
            self.assertEqual(tags["_KVT_CAD_C"]["clear"], "cyan cad", name)
            self.assertEqual(tags["_KVT_CAD_DieCut"]["clear"], "die cad", name)
            self.assertEqual(tags["_KVT_TRANSFORMATION"]["value"], transformation, name)
            # The common text follows the transformation in the stagger tag.
            self.assertEqual(tags["_KVT_STAGGER"]["value"], transformation + "common\ncut", name)

    def test_confined_ticket_names_only_its_folders(self):
        # The ticket lies in hot/; a packet beside it in other/ is reachable
        # only through an --allow folder, whether named directly or by a link.
        hot = os.path.join(self.root, "hot")
        other = os.path.join(self.root, "other")
        os.makedirs(hot)
        os.makedirs(other)
        with open(os.path.join(other, "secret.xmp"), "w") as f:
            f.write("<x:xmpmeta xmlns:x='adobe:ns:meta/'/>")
        os.symlink(os.path.join(other, "secret.xmp"), os.path.join(hot, "link.xmp"))
        separations = [{"name": "A", "pattern": "bars", "xmp_file": "../other/secret.xmp"},
                       {"name": "B", "pattern": "bars", "xmp_file": "link.xmp"}]
        ticket = os.path.join(hot, "job.json")
        with open(ticket, "w") as f:
            json.dump({"device": self.device, "output": "out", "jobs": [
                {"name": "hot", "pages": [{"width": 40, "height": 4, "separations": separations}]}]}, f)
        result = run_host(ticket, "--confine", "--allow", self.device)
        self.assertEqual(result.returncode, 2, result.stderr)
        real = os.path.realpath(os.path.join(other, "secret.xmp"))
        for place, name in (("separations[0].xmp_file", "../other/secret.xmp"),
                            ("separations[1].xmp_file", "link.xmp")):
            self.assertIn("job.json: jobs[0].pages[0].%s: %s resolves to %s, outside" % (place, name, real),
                          result.stderr)
        self.assertFalse(os.path.exists(os.path.join(hot, "out")))
        # Without --allow for the device folder the device is refused too.
        result = run_host(ticket, "--confine", "--allow", other)
        self.assertEqual(result.returncode, 2)
        self.assertIn("job.json: device: %s resolves to" % self.device, result.stderr)
        # Both folders allowed: the run writes both files with the packet.
        result = run_host(ticket, "--confine", "--allow", self.device, "--allow", other)
        self.assertEqual(result.returncode, 0, result.stderr)
        files = [line[len("wrote "):] for line in result.stdout.splitlines() if line.startswith("wrote ")]
        self.assertEqual(len(files), 2)
        for path in files:
            self.assertEqual(tags_of(path)["_KVT_XMP"]["value"], "<x:xmpmeta xmlns:x='adobe:ns:meta/'/>")

    def test_check_finds_what_the_run_refuses_or_warns_about(self):
        # The everyday mistakes: an output format the plug-in does not know,
        # a page wider than the film, a resolution the configuration lacks.
        def job(name, ppi=2400, width=2400, **options):
            return {"name": name, "ppi": ppi, "options": {"CONF": "CTP-2400", **options},
                    "pages": [{"width": width, "height": 100,
                               "separations": [{"name": "K", "pattern": "bars"}]}]}

        mistakes = {
            "format": (job("format", OFORMAT="TIFF"), 1, [
                "jobs[0]: Invalid format (TIFF) chosen",
                'jobs[0].options.OFORMAT: "TIFF" is no TAV format: give "FW8B"']),
            "width": (job("width", width=80000), 1, [
                "jobs[0].pages[0]: Job width too big (80000 > 72000)",
                "jobs[0].pages[0]: the page is 80000 pixels wide, 846.7 mm (33.33 in) at 2400 ppi; film Plate-A "
                "of configuration CTP-2400 takes at most 72000 pixels, 762 mm (30 in), or choose configuration "
                "CTP-4000 (film Plate-B, 1016 mm (40 in))"]),
            "resolution": (job("resolution", ppi=2540), 0, [
                "jobs[0]: Requested resolution (2540) not found in selected configuration (CTP-2400)",
                "jobs[0].ppi: 2540 ppi is not a resolution of configuration CTP-2400 (it has 1200, 2400 ppi)"]),
        }
        for name, (mistake, run_status, lines) in mistakes.items():
            with self.subTest(mistake=name):
                path = self.ticket([mistake], name + ".json")
                check = run_host(path, "--check")
                self.assertEqual(check.returncode, 2, check.stderr)
                for line in lines:
                    self.assertIn("riphost: error: %s: %s" % (path, line), check.stderr)
                self.assertFalse(os.path.exists(os.path.join(self.root, "out")), "--check wrote nothing")
                # The run meets the same texts, each followed by riphost's line.
                result = run_host(path)
                self.assertEqual(result.returncode, run_status, result.stderr)
                for line in lines:
                    self.assertIn(line.split(": ", 1)[1], result.stderr)
                # A refused run leaves no empty output folder; a warned one writes.
                self.assertEqual(len(self.outputs()), 1 - run_status, self.outputs())
                if os.path.isdir(os.path.join(self.root, "out")):
                    for left in self.outputs():
                        os.remove(os.path.join(self.root, "out", left))
                    os.rmdir(os.path.join(self.root, "out"))
        # The example passes the check.
        examples = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "examples")
        check = run_host(os.path.join(examples, "job.json"), "--check")
        self.assertEqual((check.returncode, check.stdout, check.stderr), (0, "", ""))

    def test_ink_share_per_page_matches_the_files(self):
        # Four plates of known and unknown share; the line after the run
        # gives each one's set pixels over the page's area, as the files
        # hold them (mirroring does not change a share).
        separations = [{"name": "C", "pattern": "checker", "cell": 8},
                       {"name": "M", "pattern": "bars", "bar": 6},
                       {"name": "Y", "gradient": "horizontal"},
                       {"name": "K", "pattern": "target"}]
        jobs = [{"name": "cover", "ppi": 1200, "pages": [{"width": 300, "height": 200,
                                                          "separations": separations}]}]
        result = run_host(self.ticket(jobs), "-v")
        self.assertEqual(result.returncode, 0, result.stderr)
        summary = [line for line in result.stdout.splitlines() if line.startswith("page ")]
        self.assertEqual(len(summary), 1, result.stdout)
        expected = []
        for separation, path in zip(separations, written(result)):
            w, h, pixels = ink_pixels(path)
            share = 100.0 * sum(map(sum, pixels)) / (w * h)
            expected.append("%s %.1f %%" % (separation["name"], share))
            self.assertIn('"%s": ink on %.2f %% of the page' % (separation["name"], share), result.stdout)
        self.assertEqual(summary[0], "page 1: " + "  ".join(expected))
        # --quiet prints no summary.
        quiet = run_host(self.ticket(jobs), "-q")
        self.assertEqual((quiet.returncode, quiet.stdout), (0, ""))

    def test_syntax_error_points_at_the_missing_comma(self):
        path = os.path.join(self.root, "broken.json")
        with open(path, "w") as f:
            f.write('{\n  "device": "%s",\n  "output": "out"\n  "jobs": []\n}\n' % self.device)
        result = run_host(path, "--check")
        self.assertEqual(result.returncode, 2)
        lines = result.stderr.splitlines()
        self.assertEqual(lines[0], "riphost: error: %s: line 3, column 18: a comma is missing here, after the "
                                   "value (the parser stopped at the next one, line 4, column 3)" % path)
        self.assertEqual(lines[1:], ['      "output": "out"', "    " + " " * 17 + "^"])

    def test_usage_error_is_one_line_and_a_pointer_to_the_help(self):
        riphost = os.path.join(BIN, "riphost")
        result = subprocess.run([riphost, "--chek", "job.json"], capture_output=True, text=True, timeout=60)
        self.assertEqual(result.returncode, 2)
        self.assertEqual(result.stderr, "riphost: error: unknown option --chek (did you mean --check?)\n"
                                        "Try 'riphost --help' for more information.\n")
        result = subprocess.run([riphost, "--help"], capture_output=True, text=True, timeout=60)
        self.assertEqual(result.returncode, 0)
        for text in ("Usage: riphost", "  -q, --quiet  ", "job-ticket.md", "share/doc/dravout"):
            self.assertIn(text, result.stdout)

    def test_query(self):
        result = subprocess.run([os.path.join(BIN, "riphost"), "--query", "version"],
                                capture_output=True, text=True, timeout=120)
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertEqual(result.stdout, "version: TAV 10.1.01 (Jun 21 2012)\n")

        # The resolution list of the example's device: its distinct
        # resolutions in file order, then three quarters of the lowest to
        # five quarters of the highest.
        examples = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "examples")
        with open(os.path.join(examples, "device", "device.toml"), "rb") as f:
            device = tomllib.load(f)
        seen = []
        for configuration in device["configuration"]:
            for entry in configuration.get("resolution", []):
                if entry["ppi"] not in seen:
                    seen.append(entry["ppi"])
        listed = "|".join("%.10g" % v for v in seen) + "|%.10g-%.10g" % (min(seen) * 0.75, max(seen) * 1.25)
        result = subprocess.run([os.path.join(BIN, "riphost"), "--query", "outputdevice_resolutionlist",
                                 "--query", "screeningtechnology=NovaDot|NovaDot",
                                 os.path.join(examples, "job.json")],
                                capture_output=True, text=True, timeout=120)
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertEqual(result.stdout, "outputdevice_resolutionlist: %s\nscreeningtechnology: yes\n" % listed)
        self.assertEqual(result.stderr, "")


if __name__ == "__main__":
    BIN = e2e_support.set_bin(sys.argv.pop(1))
    unittest.main(verbosity=2)
