#!/usr/bin/python3
"""Checks riphost's plates of a document against Ghostscript's own figures.

  bench/document_check.py [--build DIR] [--ppi N] [--pages LIST] [--keep DIR] DOC...

For every page of every DOC (a PDF, PostScript program or EPS file) riphost
writes its screened plates, and Ghostscript renders the same page on its own
separation device. Per plate the table shows:

  gs        "yes" when Ghostscript's tiffsep device has a plate of that ink
            (a plate only one side has is listed with "-" on the other)
  tag %     the plate's coverage tag (COV of every line of "_KVT_RIPINFO0",
            plus, where the tag leaves solids out, the solid pixels counted
            from riphost's own contone plane: full ink)
  pixels %  the plate's set pixels over the page area, counted here from the
            file with Pillow
  d tag     tag - pixels, in percentage points (should be 0.000)
  plane %   mean ink of riphost's contone plane (--render-only)
  tiffsep % mean ink of Ghostscript's tiffsep plane of the ink
  ink_cov % Ghostscript's ink_cov device (process inks only; on a page with
            spot colours it holds their process equivalents, so "~"), at
            most at 1200 ppi since it holds the whole page
  d gs      pixels - tiffsep, in percentage points: screening and rendering
            together; the halftone's own error on flat tints is below 0.1 pp

The exit status is 1 when a plate is missing on one side, when the tag and
the pixels differ by more than 0.001 pp, or when pixels and tiffsep differ by
more than --tolerance percentage points (default 1.0); 2 on bad arguments.
The device folder is the example's (examples/device), whose default
configuration has 1200 and 2400 ppi, gamma 1. EPS files are cropped to their
bounding box on both sides. Working files live in a temporary folder under
$TMPDIR (else /tmp), removed at the end unless --keep names a folder.
"""
import argparse
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile

from PIL import Image

Image.MAX_IMAGE_PIXELS = None  # plates at 2400 ppi are far beyond Pillow's guard
PROCESS = ("Cyan", "Magenta", "Yellow", "Black")


def ink_key(name):
    """Ink names as file names carry them: runs of other characters as '_'."""
    return re.sub(r"[^A-Za-z0-9]+", "_", name).strip("_")


def run(command, what):
    result = subprocess.run(command, capture_output=True, text=True)
    if result.returncode != 0:
        raise RuntimeError("%s failed (%d): %s" % (what, result.returncode, result.stderr.strip()[-2000:]))
    return result.stdout


def is_eps(path):
    with open(path, "rb") as f:
        head = f.read(64)
    return head.startswith(b"\xc5\xd0\xd3\xc6") or (head.startswith(b"%!PS") and b"EPSF" in head.split(b"\n")[0])


def page_of_plate(path):
    """Page number and ink of a plate named <job>-p<page>-<ink>-<date>-<time>[-n].tav."""
    match = re.match(r"^.*?-p(\d+)-(.+)-\d{8}-\d{6}(?:-\d+)?\.tav$", os.path.basename(path))
    if not match:
        raise RuntimeError("not a plate's name: " + path)
    return int(match.group(1)), match.group(2)


def plane_of_file(path):
    """Page number and ink of a contone plane <job>-p<page>-<ink>[-n].tif."""
    match = re.match(r"^.*?-p(\d+)-(.+?)(?:-\d+)?\.tif$", os.path.basename(path))
    return int(match.group(1)), match.group(2)


def counts(path):
    """Pixel count per grey level (0 = black) and the image size."""
    with Image.open(path) as im:
        size = im.size
        hist = im.convert("L").histogram() if im.mode not in ("1", "L") else im.histogram()
    return hist, size


def mean_ink(path):
    """Mean ink of an 8-bit plane shown with full ink black, and its full-ink pixels."""
    hist, (w, h) = counts(path)
    ink = sum((255 - level) * n for level, n in enumerate(hist)) / 255.0
    return ink / (w * h), hist[0], (w, h)


def written_files(stdout, name_of):
    """The files of riphost's "wrote FILE" lines by (page, ink)."""
    files = {}
    for line in stdout.splitlines():
        if line.startswith("wrote "):
            page, ink = name_of(line[len("wrote "):])
            files[(page, ink_key(ink))] = line[len("wrote "):]
    return files


def riphost_plates(tools, doc, work, ppi, pages):
    """riphost's screened plates and, from a second run, its contone planes."""
    common = [tools["riphost"], doc, "--ppi", str(ppi), "--pages", pages]
    plates = written_files(run(common + ["-o", os.path.join(work, "plates")], "riphost"), page_of_plate)
    planes = written_files(run(common + ["-o", os.path.join(work, "planes"), "--render-only"],
                               "riphost --render-only"), plane_of_file)
    return plates, planes


def gs_args(doc, ppi, page):
    args = ["gs", "-q", "-dNOPAUSE", "-dBATCH", "-dSAFER", "-r%d" % ppi, "-sPageList=%d" % page]
    return args + (["-dEPSCrop"] if is_eps(doc) else [])


def tiffsep_planes(doc, work, ppi, page):
    folder = os.path.join(work, "tiffsep-p%d" % page)
    os.mkdir(folder)
    run(gs_args(doc, ppi, page) + ["-sDEVICE=tiffsep", "-sCompression=lzw",
                                   "-sOutputFile=" + os.path.join(folder, "p.tif"), doc], "gs tiffsep")
    planes = {}
    for name in os.listdir(folder):
        match = re.match(r"^p\((.+)\)\.tif$", name)
        if match:
            planes[ink_key(match.group(1))] = os.path.join(folder, name)
    return planes


def ink_cov(doc, ppi, page):
    text = run(gs_args(doc, min(ppi, 1200), page) + ["-sDEVICE=ink_cov", "-o", "-", doc], "gs ink_cov")
    for line in text.splitlines():
        fields = line.split()
        if len(fields) >= 5 and fields[4] == "CMYK":
            return dict(zip(PROCESS, (float(v) / 100.0 for v in fields[:4])))
    raise RuntimeError("gs ink_cov printed no figures: " + text.strip())


def tag_share(tools, plate, solid_pixels):
    """The coverage the plate's tag states, and the pixels tavinfo counts."""
    info = json.loads(run([tools["tavinfo"], "--json", plate], "tavinfo"))
    lines = next(t for t in info["tags"] if t["name"] == "_KVT_RIPINFO0")["screens"]
    area = float(info["width"] * info["height"])
    total = sum(line.get("coverage", 0.0) for line in lines)
    if any(line["name"] != "SOLID" for line in lines):
        total += solid_pixels / area  # listed screens leave the solids out
    return total, info["pixels"]["set"]


def check_page(tools, doc, work, ppi, page, plates, planes, args):
    """One table row per ink of the page; returns the rows and the faults."""
    gs_planes = tiffsep_planes(doc, work, ppi, page)
    process = ink_cov(doc, ppi, page)
    mine = sorted({ink for (p, ink) in plates if p == page}, key=lambda ink: (ink not in PROCESS, PROCESS.index(ink) if ink in PROCESS else 0, ink))
    has_spots = any(ink not in PROCESS for ink in set(mine) | set(gs_planes))
    rows, faults = [], []
    for ink in mine + sorted(set(gs_planes) - set(mine)):
        if ink not in mine:
            rows.append([os.path.basename(doc), page, ink, "yes", "-", "-", "-", "-", "-", "-", "-"])
            faults.append("%s p%d: Ghostscript has a plate %s that riphost has not" % (doc, page, ink))
            continue
        hist, (w, h) = counts(plates[(page, ink)])
        pixels = hist[0] / float(w * h)
        plane, solid, _ = mean_ink(planes[(page, ink)])
        tag, tav_set = tag_share(tools, plates[(page, ink)], solid)
        if tav_set != hist[0]:
            faults.append("%s p%d %s: tavinfo counts %d set pixels, Pillow %d" % (doc, page, ink, tav_set, hist[0]))
        gs_mean = None
        if ink in gs_planes:
            gs_mean, _, gs_size = mean_ink(gs_planes[ink])
            if abs(gs_size[0] - w) > 2 or abs(gs_size[1] - h) > 2:
                faults.append("%s p%d %s: riphost's plate is %dx%d, Ghostscript's %dx%d"
                              % (doc, page, ink, w, h, gs_size[0], gs_size[1]))
        else:
            faults.append("%s p%d: riphost has a plate %s that Ghostscript has not" % (doc, page, ink))
        cov = process.get(ink)
        d_gs = None if gs_mean is None else 100 * (pixels - gs_mean)
        if abs(tag - pixels) > 1e-5:
            faults.append("%s p%d %s: the tag says %.4f %%, the pixels %.4f %%" % (doc, page, ink, 100 * tag,
                                                                                   100 * pixels))
        if d_gs is not None and abs(d_gs) > args.tolerance:
            faults.append("%s p%d %s: the plate has %.2f %% ink, Ghostscript's plane %.2f %%"
                          % (doc, page, ink, 100 * pixels, 100 * gs_mean))
        rows.append([os.path.basename(doc), page, ink, "yes" if gs_mean is not None else "-",
                     "%.3f" % (100 * tag), "%.3f" % (100 * pixels), "%+.3f" % (100 * (tag - pixels)),
                     "%.3f" % (100 * plane), "-" if gs_mean is None else "%.3f" % (100 * gs_mean),
                     "-" if cov is None else ("~" if has_spots else "") + "%.3f" % (100 * cov),
                     "-" if d_gs is None else "%+.3f" % d_gs])
    return rows, faults


def check_document(tools, doc, ppi, pages, args):
    work = tempfile.mkdtemp(prefix="document-check.", dir=os.environ.get("TMPDIR", "/tmp"))
    try:
        plates, planes = riphost_plates(tools, doc, work, ppi, pages)
        rows, faults = [], []
        for page in sorted({p for (p, _) in plates}):
            page_rows, page_faults = check_page(tools, doc, work, ppi, page, plates, planes, args)
            rows += page_rows
            faults += page_faults
        if args.keep:
            shutil.copytree(work, os.path.join(args.keep, ink_key(os.path.basename(doc))), dirs_exist_ok=True)
        return rows, faults
    finally:
        shutil.rmtree(work, ignore_errors=True)


HEAD = ["document", "page", "ink", "gs", "tag %", "pixels %", "d tag", "plane %", "tiffsep %", "ink_cov %", "d gs"]


def print_rows(rows):
    for row in rows:
        print("| " + " | ".join(str(v) for v in row) + " |", flush=True)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("documents", nargs="+", metavar="DOC")
    parser.add_argument("--build", default="build", help="build folder with bin/riphost and bin/tavinfo")
    parser.add_argument("--ppi", type=int, default=1200)
    parser.add_argument("--pages", default="1", help="riphost's --pages list (default 1)")
    parser.add_argument("--tolerance", type=float, default=1.0, help="pixels - tiffsep allowed, in pp")
    parser.add_argument("--keep", help="copy the plates and planes into this folder")
    args = parser.parse_args()
    tools = {name: os.path.join(os.path.abspath(args.build), "bin", name) for name in ("riphost", "tavinfo")}
    for name, path in tools.items():
        if not os.access(path, os.X_OK):
            parser.error("no %s (build the riphost, dravout and tavinfo targets)" % path)
    if shutil.which("gs") is None:
        parser.error("Ghostscript (gs) is missing")
    print("Plates at %d ppi" % args.ppi)
    print("| " + " | ".join(HEAD) + " |")
    print("|" + "---|" * len(HEAD), flush=True)
    all_faults = []
    for doc in args.documents:
        try:
            rows, faults = check_document(tools, os.path.abspath(doc), args.ppi, args.pages, args)
        except RuntimeError as error:
            rows, faults = [], ["%s: %s" % (doc, error)]
        print_rows(rows)
        all_faults += faults
    for fault in all_faults:
        print("DIFFERS: " + fault)
    return 1 if all_faults else 0


if __name__ == "__main__":
    sys.exit(main())
