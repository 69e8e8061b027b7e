#!/usr/bin/env python3
"""End-to-end checks of what riphost tells a user about the file it is given.

Anything that is neither a document nor a job ticket is named for what it is
(exit status 2, nothing written), while documents and tickets go on as
before; fonts Ghostscript substitutes and RGB or Lab colour are warnings
naming the page; a page whose plates cannot fit the output folder's disk is
refused before it starts (and listed by --check).

Usage: document_messages_test.py BUILD_BIN_DIR
"""
import gzip
import os
import subprocess
import sys
import tempfile
import unittest
import zipfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import documents  # noqa: E402

BIN = None


def riphost(*args, stdin=None):
    return subprocess.run([os.path.join(BIN, "riphost"), *args], input=stdin, capture_output=True, timeout=300)


def write(path, data):
    with open(path, "wb" if isinstance(data, bytes) else "w") as f:
        f.write(data)


ICC_RGB = "/usr/share/color/icc/ghostscript/default_rgb.icc"  # Ghostscript's own


def simple_pdf(path, contents, resources):
    """A PDF of 200 x 200 pt pages, one per content stream, sharing one
    resource dictionary (so that fonts are shared between pages); "{image}"
    in the resources is a one-pixel image in a three-component colour space
    (ICC-based when Ghostscript's RGB profile is there)."""
    pdf = documents._Pdf()
    catalog = pdf.reserve()
    pages = pdf.reserve()
    if os.path.exists(ICC_RGB):
        with open(ICC_RGB, "rb") as f:
            space = "[/ICCBased %d 0 R]" % pdf.add(pdf.stream(b"/N 3", f.read()))
    else:
        space = "[/CalRGB << /WhitePoint [0.9505 1 1.089] >>]"
    image = pdf.add(pdf.stream(("/Type /XObject /Subtype /Image /Width 1 /Height 1 /ColorSpace %s"
                                " /BitsPerComponent 8" % space).encode(), b"\x80\x20\x10"))
    shared = pdf.add(resources.replace("{image}", "%d 0 R" % image))
    kids = []
    for content in contents:
        stream = pdf.add(pdf.stream(b"", content.encode("latin-1")))
        kids.append(pdf.add("<< /Type /Page /Parent %d 0 R /MediaBox [0 0 200 200] /Resources %d 0 R /Contents %d 0 R >>"
                            % (pages, shared, stream)))
    pdf.set(catalog, "<< /Type /Catalog /Pages %d 0 R >>" % pages)
    pdf.set(pages, "<< /Type /Pages /Kids [%s] /Count %d >>" % (" ".join("%d 0 R" % k for k in kids), len(kids)))
    pdf.write(path, catalog)


ARIAL = ("<< /Font << /F1 << /Type /Font /Subtype /TrueType /BaseFont /Arial /Encoding /WinAnsiEncoding >> >>"
         " /XObject << /Im1 {image} >> >>")


class InputKinds(unittest.TestCase):
    def setUp(self):
        self.tmp = tempfile.TemporaryDirectory()
        self.root = self.tmp.name
        self.out = self.path("out")

    def tearDown(self):
        self.tmp.cleanup()

    def path(self, name):
        return os.path.join(self.root, name)

    def refused(self, name, message):
        result = riphost(self.path(name), "-o", self.out)
        err = result.stderr.decode()
        self.assertEqual(result.returncode, 2, err)
        self.assertIn(message, err)
        self.assertEqual(err.count("\n"), 1, err)
        self.assertFalse(os.path.exists(self.out), "nothing is written")

    def test_what_is_no_document_or_ticket_is_named(self):
        zipped = self.path("report.docx")
        with zipfile.ZipFile(zipped, "w", zipfile.ZIP_DEFLATED) as z:
            z.writestr("[Content_Types].xml", "<Types/>")
            z.writestr("word/document.xml", "<w:document/>")
        with zipfile.ZipFile(self.path("sheet.ods"), "w") as z:
            z.writestr("mimetype", "application/vnd.oasis.opendocument.spreadsheet")
        with zipfile.ZipFile(self.path("scans.zip"), "w") as z:
            z.writestr("a.pdf", "%PDF-1.4\n")
        os.mkdir(self.path("folder.pdf"))
        files = {
            "photo.jpg": (b"\xff\xd8\xff\xe0\x00\x10JFIF\x00" + bytes(64), "photo.jpg is a JPEG image; riphost takes "
                          "PDF, PostScript, EPS or a JSON job ticket; save a photo as TIFF or PNG first"),
            "art.png": (b"\x89PNG\r\n\x1a\n" + bytes(24), "art.png is a PNG image; "),
            "scan.tif": (b"II*\x00\x08\x00\x00\x00", "scan.tif is a TIFF image; "),
            "anim.gif": (b"GIF89a\x01\x00\x01\x00", "anim.gif is a GIF image"),
            "old.bmp": (b"BM" + bytes(60), "old.bmp is a BMP image"),
            "web.webp": (b"RIFF\x24\x00\x00\x00WEBPVP8 ", "web.webp is a WebP image"),
            "logo.svg": ("<?xml version='1.0'?>\n<svg xmlns='http://www.w3.org/2000/svg'/>\n", "logo.svg is an SVG"),
            "page.html": ("<!doctype html>\n<html><body>x</body></html>\n", "page.html is an HTML page"),
            "job.ps.gz": (gzip.compress(b"%!PS\nshowpage\n"), "job.ps.gz is a gzip-compressed file"),
            "notes.txt": ("Please print this on Monday.\n", "notes.txt is plain text (it starts with \"Please"),
            "noise": (bytes(range(0, 256, 3)), "noise is binary data riphost does not know (it starts with the bytes 00"),
            "empty.pdf": (b"", "empty.pdf is empty; riphost takes"),
            "letter.pdf": ("Dear customer,\n", "letter.pdf does not look like a PDF (it starts with \"Dear customer,"),
            "pic.eps": (b"\xff\xd8\xff\xdb" + bytes(16), "pic.eps is a JPEG image, not EPS"),
            "job.json": ("jobs = []\n", "job.json does not look like a JSON job ticket (it starts with \"jobs = []"),
        }
        for name, (data, _) in files.items():
            write(self.path(name), data)
        expected = {name: message for name, (_, message) in files.items()}
        expected.update({"report.docx": "report.docx is a Word document (DOCX)",
                         "sheet.ods": "sheet.ods is an OpenDocument spreadsheet (ODS)",
                         "scans.zip": "scans.zip is a ZIP archive",
                         "missing.pdf": "missing.pdf: no such file",
                         "folder.pdf": "folder.pdf is a folder, not a file"})
        for name, message in expected.items():
            with self.subTest(file=name):
                self.refused(name, message)
        # A ticket on standard input that is a photo or a document.
        photo = riphost("-", stdin=files["photo.jpg"][0])
        self.assertEqual(photo.returncode, 2)
        self.assertIn("standard input: this is a JPEG image, not a JSON job ticket", photo.stderr.decode())
        # A missing ticket is the ticket reader's, as before.
        missing = riphost(self.path("nothing.json"))
        self.assertEqual(missing.returncode, 2)
        self.assertIn("cannot read the ticket", missing.stderr.decode())

    def test_documents_and_tickets_still_go_their_way(self):
        documents.write_pdf(self.path("doc.pdf"))
        with open(self.path("doc.pdf"), "rb") as f:
            whole = f.read()
        # Cut short (no %%EOF, no xref): a PDF all the same, for Ghostscript to judge.
        write(self.path("cut.pdf"), whole[:len(whole) // 3])
        documents.write_ps(self.path("doc.ps"))
        with open(self.path("doc.ps"), "rb") as f:
            program = f.read()
        write(self.path("job.prn"), b"\x04\x1b%-12345X@PJL JOB\r\n@PJL ENTER LANGUAGE=POSTSCRIPT\r\n" + program)
        for name in ("doc.pdf", "job.prn"):
            with self.subTest(file=name):
                result = riphost(self.path(name), "-o", self.out, "--render-only", "--ppi", "72")
                self.assertEqual(result.returncode, 0, result.stderr.decode())
        cut = riphost(self.path("cut.pdf"), "-o", self.out, "--render-only", "--ppi", "72")
        self.assertNotIn("does not look like", cut.stderr.decode())
        self.assertIn(cut.returncode, (0, 2), cut.stderr.decode())
        if cut.returncode == 2:
            self.assertIn("Ghostscript", cut.stderr.decode())
        # A broken ticket still gets the JSON parser's place of the error.
        write(self.path("broken.json"), '{"jobs": [}\n')
        broken = riphost(self.path("broken.json"))
        self.assertEqual(broken.returncode, 2)
        self.assertIn("line 1, column", broken.stderr.decode())


class DocumentWarnings(unittest.TestCase):
    def setUp(self):
        self.tmp = tempfile.TemporaryDirectory()
        self.root = self.tmp.name

    def tearDown(self):
        self.tmp.cleanup()

    def path(self, name):
        return os.path.join(self.root, name)

    def warnings(self, name, *extra):
        result = riphost(self.path(name), "-o", self.path("out-" + name), "--render-only", "--ppi", "72", *extra)
        err = result.stderr.decode()
        self.assertEqual(result.returncode, 0, err)
        return [line for line in err.splitlines() if line.startswith("riphost: warning: ")]

    def test_substituted_fonts_and_foreign_colour_are_named_per_page(self):
        # Page 1: Arial (not embedded) in CMYK; page 2: Arial again (Ghostscript loads it once) in RGB
        # text; page 3: grey only, no font; page 4: an image in a three-component ICC space.
        simple_pdf(self.path("mixed.pdf"),
                   ["0 0 0 1 k BT /F1 12 Tf 10 100 Td (Hello) Tj ET",
                    "1 0 0 rg BT /F1 12 Tf 10 100 Td (Red) Tj ET",
                    "0.5 g 0 0 50 50 re f",
                    "q 50 0 0 50 0 0 cm /Im1 Do Q"], ARIAL)
        lines = self.warnings("mixed.pdf")
        arial = "font Arial is not embedded; Ghostscript substitutes NimbusSans-Regular"
        self.assertIn("mixed.pdf: page 1: " + arial, lines[0])
        self.assertIn("mixed.pdf: page 2: " + arial, lines[1])
        self.assertIn("mixed.pdf: page 2: RGB colour is converted to CMYK by Ghostscript's default colour "
                      "conversion", lines[2])
        self.assertIn("mixed.pdf: page 4: RGB colour is converted", lines[3])
        self.assertEqual(len(lines), 4, lines)  # the resources all pages share name the image: page 4 paints it
        # Only the pages the job takes.
        self.assertEqual(self.warnings("mixed.pdf", "--pages", "3"), [])
        # PostScript: a font the program does not hold, RGB, Lab; its own font and CMYK say nothing.
        write(self.path("fonts.ps"),
              "%!PS\n/Helvetica findfont dup length dict begin {1 index /FID ne {def} {pop pop} ifelse} forall"
              " currentdict end /Mine exch definefont pop\n"
              "/NoSuchFontAnywhere findfont 12 scalefont setfont 0 0 1 setrgbcolor 10 10 moveto (a) show showpage\n"
              "0 0 0 1 setcmykcolor 10 10 10 10 rectfill showpage\n"
              "[/Lab << /WhitePoint [0.95 1 1.09] >>] setcolorspace 50 0 0 setcolor 10 10 10 10 rectfill showpage\n")
        lines = self.warnings("fonts.ps")
        self.assertEqual(len(lines), 4, lines)
        self.assertIn("fonts.ps: page 1: font Helvetica is not embedded; Ghostscript substitutes Nimbus Sans", lines[0])
        self.assertIn("page 1: font NoSuchFontAnywhere is not embedded; Ghostscript substitutes Nimbus Mono PS",
                      lines[1])
        self.assertIn("page 1: RGB colour is converted", lines[2])
        self.assertIn("page 3: Lab colour is converted", lines[3])

    def test_a_run_warns_as_each_page_starts(self):
        simple_pdf(self.path("two.pdf"), ["0 0 0 1 k 0 0 20 20 re f", "0 1 0 rg 0 0 20 20 re f"], "<< >>")
        result = riphost(self.path("two.pdf"), "-o", self.path("out"), "--ppi", "1200")
        err = result.stderr.decode()
        self.assertEqual(result.returncode, 0, err)
        self.assertEqual([line for line in err.splitlines() if "two.pdf: page" in line],
                         ["riphost: warning: %s: page 2: RGB colour is converted to CMYK by Ghostscript's default "
                          "colour conversion" % self.path("two.pdf")])


class FreeSpace(unittest.TestCase):
    def test_a_page_bigger_than_the_disk_is_refused_before_it_starts(self):
        with tempfile.TemporaryDirectory() as root:
            device = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "examples", "device")
            side = 1 << 24  # uncompressed, 35 TB a plate: more than any disk the test runs on
            ticket = os.path.join(root, "big.json")
            write(ticket, '{"device": "%s", "output": "out", "jobs": [{"name": "big", "options": {"RES": 2400,'
                  ' "OCOMPRESS": "NONE"}, "pages": [{"width": %d, "height": %d, "separations":'
                  ' [{"name": "K", "pattern": "checker"}]}]}]}' % (os.path.abspath(device), side, side))
            run = riphost(ticket)
            err = run.stderr.decode()
            self.assertEqual(run.returncode, 1, err)
            self.assertIn("jobs[0].pages[0]: its plate needs at least 35.2 TB on disk, more than the ", err)
            self.assertIn(" free in the output folder %s" % os.path.join(root, "out"), err)
            self.assertEqual([name for name in os.listdir(root) if name != "big.json" and name != "out"], [])
            self.assertEqual(os.listdir(os.path.join(root, "out")) if os.path.isdir(os.path.join(root, "out")) else [],
                             [])
            check = riphost("--check", ticket)
            self.assertEqual(check.returncode, 2)
            self.assertIn("its plate needs at least 35.2 TB on disk", check.stderr.decode())
            # Compressed, its raster is still what it may take: refused too.
            with open(ticket) as f:
                text = f.read()
            write(ticket, text.replace('"OCOMPRESS": "NONE"', '"OCOMPRESS": "FLATE"'))
            flate = riphost("--check", ticket)
            self.assertEqual(flate.returncode, 2)
            self.assertIn("its plate needs up to 35.2 TB on disk (the uncompressed raster", flate.stderr.decode())


    def test_a_pdf_page_bigger_than_the_disk_is_listed_by_check(self):
        with tempfile.TemporaryDirectory() as root:
            # 180 x 144 pt times 2796 at 2400 ppi: 16776000 x 13420800 pixels, five plates of 28 TB
            # of raster each.
            documents.write_pdf(os.path.join(root, "huge.pdf"), user_unit=2796)
            check = riphost(os.path.join(root, "huge.pdf"), "--check", "-o", os.path.join(root, "out"))
            err = check.stderr.decode()
            self.assertEqual(check.returncode, 2, err)
            self.assertIn("huge.pdf page 1: its 5 plates need up to 140.7 TB on disk", err)
            self.assertFalse(os.path.exists(os.path.join(root, "out")))


if __name__ == "__main__":
    BIN = os.path.abspath(sys.argv.pop(1))
    unittest.main(verbosity=2)
