#!/usr/bin/env python3
"""End-to-end checks of what riphost finds in a document before rendering.

`riphost DOC --check` drives the plug-in through the document's job and
pages as the run will, so the check and the run refuse and warn alike, and
the run refuses a page the plug-in would refuse before it renders anything.
A PDF whose structure is broken (a page box that is no page size, a page
tree with a loop or a page reached twice) is refused while checking (exit
status 2) with nothing written, and a file outside the document that a page
refers to is named in a warning and not read.

Usage: document_check_test.py BUILD_BIN_DIR
"""
import os
import subprocess
import sys
import tempfile
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import documents  # noqa: E402

BIN = None
# A sanitized build renders and checks several times slower.
SLOW = 4 if os.environ.get("DRAV_SANITIZED") else 1


def one_page_pdf(path, page, objects=()):
    """A PDF of one page: page is the page dictionary's entries beyond its
    type, parent and content; objects are further objects, numbered from 5."""
    pdf = documents._Pdf()
    catalog = pdf.reserve()
    tree = pdf.reserve()
    content = pdf.add(documents._Pdf.stream(b"", b"0 0 0 1 k 10 10 50 50 re f"))
    kid = pdf.add("<< /Type /Page /Parent %d 0 R /Contents %d 0 R %s >>" % (tree, content, page))
    for body in objects:
        pdf.add(body)
    pdf.set(tree, "<< /Type /Pages /Kids [%d 0 R] /Count 1 >>" % kid)
    pdf.set(catalog, "<< /Type /Catalog /Pages %d 0 R >>" % tree)
    pdf.write(path, catalog)


def tree_pdf(path, kids):
    """A PDF whose root page tree node (object 2) has the given /Kids text;
    object 3 is a page under it, object 4 a node under it with page 3."""
    pdf = documents._Pdf()
    catalog = pdf.reserve()
    pdf.reserve()
    content = documents._Pdf.stream(b"", b"0 0 0 1 k 10 10 50 50 re f")
    pdf.add("<< /Type /Page /Parent 2 0 R /MediaBox [0 0 200 100] /Contents 5 0 R >>")
    pdf.add("<< /Type /Pages /Parent 2 0 R /Kids [3 0 R 2 0 R] /Count 1 >>")
    pdf.add(content)
    pdf.set(2, "<< /Type /Pages /Kids [%s] /Count 2 >>" % kids)
    pdf.set(catalog, "<< /Type /Catalog /Pages 2 0 R >>")
    pdf.write(path, catalog)


class DocumentCheckTest(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.TemporaryDirectory(prefix="e2e_check_")
        self.root = self.dir.name
        self.out = os.path.join(self.root, "out")

    def tearDown(self):
        self.dir.cleanup()

    def riphost(self, document, *args):
        return subprocess.run([os.path.join(BIN, "riphost"), document, "-o", self.out, *args],
                              capture_output=True, text=True, timeout=300)

    def lines(self, text, level):
        return [line for line in text.splitlines() if line.startswith("riphost: %s: " % level)]

    def test_a_page_the_film_cannot_take_is_refused_before_it_is_rendered(self):
        # An A0 poster and a 200-inch page are wider than the example
        # device's film: the check names it, the run refuses at once.
        for name, width, height, refusal in (("poster", 3370.0, 2384.0, "Job width too big (112333 > 72000)"),
                                             ("huge", 14400.0, 14400.0, "Job height too big (480000 > 96000)")):
            with self.subTest(page=name):
                path = os.path.join(self.root, name + ".pdf")
                documents.write_pdf(path, width, height)
                check = self.riphost(path, "--check")
                self.assertEqual(check.returncode, 2, check.stderr)
                errors = self.lines(check.stderr, "error")
                self.assertIn("riphost: error: %s: %s page 1: %s" % (path, path, refusal), errors)
                start = time.monotonic()
                run = self.riphost(path)
                took = time.monotonic() - start
                self.assertEqual(run.returncode, 2, run.stderr)
                self.assertEqual(self.lines(run.stderr, "error"), errors)
                self.assertLess(took, 10 * SLOW, "refused before rendering")
                self.assertFalse(os.path.exists(self.out))

    def test_the_check_warns_where_the_run_warns(self):
        # 600 ppi is not a resolution of the example configuration: the run
        # warns and writes, and the check gives the same warnings, exit 0.
        path = os.path.join(self.root, "small.pdf")
        documents.write_pdf(path)
        check = self.riphost(path, "--check", "--ppi", "600")
        self.assertEqual(check.returncode, 0, check.stderr)
        warnings = self.lines(check.stderr, "warning")
        self.assertIn("riphost: warning: Requested resolution (600) not found in selected configuration "
                      "(CTP-2400)", warnings)
        self.assertEqual(self.lines(check.stderr, "error"), [])
        run = self.riphost(path, "--ppi", "600")
        self.assertEqual(run.returncode, 0, run.stderr)
        for warning in warnings:
            self.assertIn(warning, run.stderr)
        self.assertEqual(len(os.listdir(self.out)), 5)

    def test_a_broken_structure_is_found_while_checking(self):
        cases = {
            "zero": ("/MediaBox [0 0 0 100]", "page 1: its MediaBox encloses no area (0 x 100 points)"),
            "words": ("/MediaBox [0 0 abc 100]", "page 1: its MediaBox [ 0 0 (abc) 100 ] is not a rectangle"),
            "short": ("/MediaBox [0 0 200]", "page 1: its MediaBox [ 0 0 200 ] is not a rectangle of four numbers"),
            "huge": ("/MediaBox [0 0 99999999 100]", "page 1: its MediaBox is 99999999 x 100 points, larger than"),
            "none": ("", "page 1 has no MediaBox, so its size is unknown"),
        }
        for name, (box, message) in cases.items():
            with self.subTest(box=name):
                path = os.path.join(self.root, name + ".pdf")
                one_page_pdf(path, box)
                for args in (("--check",), ()):
                    result = self.riphost(path, "--ppi", "1200", *args)
                    self.assertEqual(result.returncode, 2, result.stderr)
                    self.assertIn("riphost: error: %s: %s" % (path, message), result.stderr)
                    self.assertFalse(os.path.exists(self.out))
        for name, kids, message in (("loop", "4 0 R", "object 2 is among its own kids (a loop)"),
                                    ("twice", "3 0 R 3 0 R", "object 3 is reached twice (a page would print twice)")):
            with self.subTest(tree=name):
                path = os.path.join(self.root, name + ".pdf")
                tree_pdf(path, kids)
                result = self.riphost(path, "--ppi", "1200")
                self.assertEqual(result.returncode, 2, result.stderr)
                self.assertIn("riphost: error: %s: the page tree is broken: %s" % (path, message), result.stderr)
                self.assertFalse(os.path.exists(self.out))
        # Corners given the other way round are the same page.
        path = os.path.join(self.root, "reversed.pdf")
        one_page_pdf(path, "/MediaBox [200 100 0 0]")
        check = self.riphost(path, "--ppi", "1200", "--check")
        self.assertEqual(check.returncode, 0, check.stderr)

    def test_files_outside_the_document_are_named_and_not_read(self):
        secret = os.path.join(self.root, "secret.raw")
        with open(secret, "wb") as f:
            f.write(b"\x00" * 64)
        path = os.path.join(self.root, "external.pdf")
        image = ("<< /Type /XObject /Subtype /Image /Width 8 /Height 8 /ColorSpace /DeviceGray /BitsPerComponent 8 "
                 "/F (%s) /Length 0 >>\nstream\n\nendstream" % secret)
        one_page_pdf(path, "/MediaBox [0 0 200 100] /Resources << /XObject << /Im0 5 0 R >> >>", [image])
        expected = ("riphost: warning: %s: page 1: an image refers to the external file %s, which is not read"
                    % (path, secret))
        check = self.riphost(path, "--ppi", "1200", "--check")
        self.assertEqual(check.returncode, 0, check.stderr)
        self.assertIn(expected, self.lines(check.stderr, "warning"))
        run = self.riphost(path, "--ppi", "1200")
        self.assertEqual(run.returncode, 0, run.stderr)
        self.assertEqual(self.lines(run.stderr, "warning").count(expected), 1, run.stderr)


if __name__ == "__main__":
    BIN = os.path.abspath(sys.argv.pop(1))
    unittest.main(verbosity=2)
