"""Test documents written from scratch: PostScript programs and PDF files.

Every page holds the same marks, placed in points from the page's lower-left
corner (PostScript and PDF user space):

  - a 50 % cyan patch,
  - a solid black patch,
  - a 40 % patch of a spot colour ("PANTONE 185 C" unless told otherwise),
  - a vignette from no ink to full magenta and half yellow,
  - a line of black text.

`marks(width, height)` gives the rectangles so that a test can find each
patch in the rendered plates. The bench uses `photo_page_pdf` as well: an A4
page with a CMYK picture over most of the page besides these marks.
"""
import math
import zlib

SPOT = "PANTONE 185 C"
# The spot colour's alternate: what a proof would show (a warm red).
SPOT_CMYK = (0.0, 0.8, 1.0, 0.0)


def marks(width, height):
    """The marks of a page of width x height points: name -> (x, y, w, h)."""
    w = width / 4.0
    h = height / 4.0
    top = height - h - height / 16.0
    return {
        "cyan50": (width / 16.0, top, w, h),
        "black100": (width / 16.0 * 2 + w, top, w, h),
        "spot40": (width / 16.0 * 3 + 2 * w, top, w, h),
        "vignette": (width / 16.0, height / 3.0, width * 7.0 / 8.0, h),
        "text": (width / 16.0, height / 12.0, width * 7.0 / 8.0, h / 2.0),
    }


def spot_patches(width, height, spots):
    """Patches of further spot colours in a row between the text and the
    vignette: name -> (tint, (x, y, w, h)); the i-th at a tint of 20 + 10 i %."""
    n = len(spots)
    step = width * 7.0 / 8.0 / max(n, 1)
    return {name: (min(0.2 + 0.1 * i, 1.0), (width / 16.0 + i * step, height * 0.22, step, height * 0.09))
            for i, name in enumerate(spots)}


def _num(value):
    text = ("%.4f" % value).rstrip("0").rstrip(".")
    return text if text not in ("", "-0") else "0"


def _spot_name_pdf(name):
    """A PDF name for the spot colour: blanks and delimiters as #xx."""
    out = []
    for ch in name.encode("utf-8"):
        if ch <= 0x20 or ch >= 0x7F or chr(ch) in "#/()<>[]{}%":
            out.append("#%02X" % ch)
        else:
            out.append(chr(ch))
    return "/" + "".join(out)


def _ps_string(text):
    return "(" + text.replace("\\", "\\\\").replace("(", "\\(").replace(")", "\\)") + ")"


# ---------------------------------------------------------------- PostScript


def _ps_spot_patches(width, height, spots):
    lines = []
    for name, (tint, box) in spot_patches(width, height, spots).items():
        lines.append("[/Separation %s /DeviceCMYK {pop 0 0 0 0.5}] setcolorspace %s setcolor %s %s %s %s rectfill"
                     % ((_ps_string(name), _num(tint)) + tuple(map(_num, box))))
    return lines


def _ps_page_body(width, height, spot, page_label, spots=()):
    m = marks(width, height)
    c, my, y, k = SPOT_CMYK
    lines = []
    x0, y0, w0, h0 = m["cyan50"]
    lines.append("0.5 0 0 0 setcmykcolor %s %s %s %s rectfill" % tuple(map(_num, (x0, y0, w0, h0))))
    x0, y0, w0, h0 = m["black100"]
    lines.append("0 0 0 1 setcmykcolor %s %s %s %s rectfill" % tuple(map(_num, (x0, y0, w0, h0))))
    x0, y0, w0, h0 = m["spot40"]
    lines.append("[/Separation %s /DeviceCMYK {dup %s mul exch dup %s mul exch dup %s mul exch %s mul}] setcolorspace"
                 % (_ps_string(spot), _num(c), _num(my), _num(y), _num(k)))
    lines.append("0.4 setcolor %s %s %s %s rectfill" % tuple(map(_num, (x0, y0, w0, h0))))
    x0, y0, w0, h0 = m["vignette"]
    lines.append("gsave %s %s %s %s rectclip" % tuple(map(_num, (x0, y0, w0, h0))))
    lines.append("<< /ShadingType 2 /ColorSpace /DeviceCMYK /Coords [%s 0 %s 0] /Function << /FunctionType 2 "
                 "/Domain [0 1] /C0 [0 0 0 0] /C1 [0 1 0.5 0] /N 1 >> >> shfill grestore"
                 % (_num(x0), _num(x0 + w0)))
    x0, y0, w0, h0 = m["text"]
    lines.append("/Helvetica-Bold findfont %s scalefont setfont 0 0 0 1 setcmykcolor %s %s moveto %s show"
                 % (_num(h0), _num(x0), _num(y0), _ps_string(page_label)))
    return "\n".join(lines + _ps_spot_patches(width, height, spots))


def write_ps(path, width=180.0, height=144.0, pages=1, spot=SPOT, error_on_page=None, spots=()):
    """A PostScript program of `pages` pages; error_on_page makes that page
    call an undefined operator (a PostScript error); spots: further spot
    colours, a patch each (spot_patches)."""
    out = ["%!PS-Adobe-3.0", "%%%%BoundingBox: 0 0 %d %d" % (round(width), round(height)),
           "%%%%Pages: %d" % pages, "%%EndComments"]
    for n in range(1, pages + 1):
        out.append("%%%%Page: %d %d" % (n, n))
        out.append("<< /PageSize [%s %s] >> setpagedevice" % (_num(width), _num(height)))
        out.append(_ps_page_body(width, height, spot, "Page %d" % n, spots))
        if error_on_page == n:
            out.append("thisoperatordoesnotexist")
        out.append("showpage")
    out.append("%%EOF")
    with open(path, "w", encoding="latin-1") as f:
        f.write("\n".join(out) + "\n")


def write_eps(path, width=180.0, height=144.0, spot=SPOT):
    """An EPS file: one picture, no page size of its own."""
    out = ["%!PS-Adobe-3.0 EPSF-3.0", "%%%%BoundingBox: 0 0 %d %d" % (round(width), round(height)),
           "%%EndComments", _ps_page_body(width, height, spot, "EPS"), "%%EOF"]
    with open(path, "w", encoding="latin-1") as f:
        f.write("\n".join(out) + "\n")


# ----------------------------------------------------------------------- PDF


class _Pdf:
    """Just enough of a PDF writer: numbered objects, streams, an xref table."""

    def __init__(self):
        self.objects = []

    def add(self, body):
        self.objects.append(body)
        return len(self.objects)

    def reserve(self):
        return self.add(b"")

    def set(self, number, body):
        self.objects[number - 1] = body

    @staticmethod
    def stream(dictionary, data, compress=False):
        if compress:
            data = zlib.compress(data)
            dictionary += b" /Filter /FlateDecode"
        return b"<< " + dictionary + b" /Length %d >>\nstream\n" % len(data) + data + b"\nendstream"

    def write(self, path, root, info=None):
        out = bytearray(b"%PDF-1.6\n%\xe2\xe3\xcf\xd3\n")
        offsets = []
        for i, body in enumerate(self.objects):
            offsets.append(len(out))
            out += b"%d 0 obj\n" % (i + 1) + (body if isinstance(body, bytes) else body.encode("latin-1")) + b"\nendobj\n"
        xref = len(out)
        out += b"xref\n0 %d\n0000000000 65535 f \n" % (len(self.objects) + 1)
        for offset in offsets:
            out += b"%010d 00000 n \n" % offset
        trailer = b"<< /Size %d /Root %d 0 R" % (len(self.objects) + 1, root)
        if info:
            trailer += b" /Info %d 0 R" % info
        out += b"trailer\n" + trailer + b" >>\nstartxref\n%d\n%%%%EOF\n" % xref
        with open(path, "wb") as f:
            f.write(out)


def _pdf_marks(width, height, spot_name, label):
    m = marks(width, height)
    ops = []
    ops.append("0.5 0 0 0 k %s %s %s %s re f" % tuple(map(_num, m["cyan50"])))
    ops.append("0 0 0 1 k %s %s %s %s re f" % tuple(map(_num, m["black100"])))
    ops.append("/CS0 cs 0.4 scn %s %s %s %s re f" % tuple(map(_num, m["spot40"])))
    ops.append("q %s %s %s %s re W n /Sh0 sh Q" % tuple(map(_num, m["vignette"])))
    x0, y0, _, h0 = m["text"]
    ops.append("BT /F1 %s Tf 1 0 0 1 %s %s Tm 0 0 0 1 k (%s) Tj ET" % (_num(h0), _num(x0), _num(y0), label))
    return "\n".join(ops)


def _photo(width_px, height_px):
    """CMYK samples of a smooth, photo-like picture."""
    data = bytearray(width_px * height_px * 4)
    i = 0
    for y in range(height_px):
        fy = y / height_px
        for x in range(width_px):
            fx = x / width_px
            r = math.hypot(fx - 0.5, fy - 0.4)
            data[i] = int(127 + 120 * math.sin(6.0 * fx + 2.0 * fy))
            data[i + 1] = int(127 + 120 * math.cos(9.0 * r))
            data[i + 2] = int(255 * fy * (1.0 - fx * 0.5))
            data[i + 3] = int(60 + 60 * math.sin(14.0 * r))
            i += 4
    return bytes(data)


def write_pdf(path, width=180.0, height=144.0, pages=1, spot=SPOT, trim=None, xmp=None, photo=None, user_unit=None,
              spots=(), overprint=False):
    """A PDF of `pages` pages. trim: (x, y, w, h) TrimBox in points; xmp: the
    document's XMP packet (text) as the catalog's Metadata; photo: (x, y, w,
    h, width_px, height_px) places a CMYK picture under the marks; user_unit:
    the pages' UserUnit (points per unit of their boxes and content); spots:
    further spot colours, a patch each (spot_patches); overprint: a black
    frame stroked in overprint round the page's marks."""
    pdf = _Pdf()
    catalog = pdf.reserve()
    tree = pdf.reserve()
    font = pdf.add("<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica-Bold >>")
    c, m, y, k = SPOT_CMYK
    tint = pdf.add("<< /FunctionType 2 /Domain [0 1] /C0 [0 0 0 0] /C1 [%s %s %s %s] /N 1 >>"
                   % (_num(c), _num(m), _num(y), _num(k)))
    spot_cs = pdf.add("[/Separation %s /DeviceCMYK %d 0 R]" % (_spot_name_pdf(spot), tint))
    grey = pdf.add("<< /FunctionType 2 /Domain [0 1] /C0 [0 0 0 0] /C1 [0 0 0 0.5] /N 1 >>")
    extra_cs = [pdf.add("[/Separation %s /DeviceCMYK %d 0 R]" % (_spot_name_pdf(name), grey)) for name in spots]
    ramp = pdf.add("<< /FunctionType 2 /Domain [0 1] /C0 [0 0 0 0] /C1 [0 1 0.5 0] /N 1 >>")
    vx, _, vw, _ = marks(width, height)["vignette"]
    shading = pdf.add("<< /ShadingType 2 /ColorSpace /DeviceCMYK /Coords [%s 0 %s 0] /Function %d 0 R >>"
                      % (_num(vx), _num(vx + vw), ramp))
    image = None
    if photo:
        px, py, pw, ph, iw, ih = photo
        image = pdf.add(_Pdf.stream(b"/Type /XObject /Subtype /Image /Width %d /Height %d /ColorSpace /DeviceCMYK "
                                    b"/BitsPerComponent 8" % (iw, ih), _photo(iw, ih), compress=True))
    kids = []
    for n in range(1, pages + 1):
        ops = ""
        if image:
            ops = "q %s 0 0 %s %s %s cm /Im0 Do Q\n" % (_num(pw), _num(ph), _num(px), _num(py))
        ops += _pdf_marks(width, height, spot, "Page %d" % n)
        for i, (tint, box) in enumerate(spot_patches(width, height, spots).values()):
            ops += "\n/CS%d cs %s scn %s %s %s %s re f" % ((i + 1, _num(tint)) + tuple(map(_num, box)))
        if overprint:
            ops += "\nq /GSO gs 0 0 0 1 K 6 w %s %s %s %s re S Q" % tuple(map(_num, (12, 12, width - 24, height - 24)))
        content = pdf.add(_Pdf.stream(b"", ops.encode("latin-1"), compress=True))
        colour_spaces = "".join(" /CS%d %d 0 R" % (i + 1, cs) for i, cs in enumerate(extra_cs))
        resources = "<< /Font << /F1 %d 0 R >> /ColorSpace << /CS0 %d 0 R%s >> /Shading << /Sh0 %d 0 R >>" % (
            font, spot_cs, colour_spaces, shading)
        if image:
            resources += " /XObject << /Im0 %d 0 R >>" % image
        if overprint:
            resources += " /ExtGState << /GSO << /OP true /op true /OPM 1 >> >>"
        resources += " >>"
        box = "/MediaBox [0 0 %s %s]" % (_num(width), _num(height))
        if trim:
            box += " /TrimBox [%s %s %s %s]" % (_num(trim[0]), _num(trim[1]), _num(trim[0] + trim[2]),
                                                _num(trim[1] + trim[3]))
        if user_unit:
            box += " /UserUnit %s" % _num(user_unit)
        kids.append(pdf.add("<< /Type /Page /Parent %d 0 R %s /Resources %s /Contents %d 0 R >>"
                            % (tree, box, resources, content)))
    pdf.set(tree, "<< /Type /Pages /Kids [%s] /Count %d >>" % (" ".join("%d 0 R" % kid for kid in kids), pages))
    catalog_body = "<< /Type /Catalog /Pages %d 0 R" % tree
    if xmp:
        metadata = pdf.add(_Pdf.stream(b"/Type /Metadata /Subtype /XML", xmp.encode("utf-8")))
        catalog_body += " /Metadata %d 0 R" % metadata
    pdf.set(catalog, catalog_body + " >>")
    pdf.write(path, catalog)


def photo_page_pdf(path, spot=SPOT, spots=(), overprint=False):
    """The bench's page: A4 with a CMYK picture over most of it, a spot colour
    (and the patches of further ones, spots; an overprinting frame)."""
    width, height = 595.0, 842.0
    write_pdf(path, width, height, spot=spot, photo=(40.0, 60.0, 515.0, 720.0, 1200, 1680), spots=spots,
              overprint=overprint)


def overprint_marks(width, height):
    """The marks of an overprint page: name -> (x, y, w, h). A 50 % cyan patch
    and a 40 % spot patch, each crossed by a black stroke in overprint
    ("stroke_cyan", "stroke_spot", 12 pt wide), and a black patch at 50 %
    opacity ("alpha50"; PDF only)."""
    return {
        "cyan50": (width * 0.05, height * 0.1, width * 0.35, height * 0.45),
        "spot40": (width * 0.55, height * 0.1, width * 0.35, height * 0.45),
        "stroke_cyan": (width * 0.225 - 6.0, height * 0.05, 12.0, height * 0.55),
        "stroke_spot": (width * 0.725 - 6.0, height * 0.05, 12.0, height * 0.55),
        "alpha50": (width * 0.05, height * 0.7, width * 0.85, height * 0.2),
    }


def _strokes(m, line):
    """Vertical strokes down the middle of the stroke marks."""
    return [line % tuple(map(_num, (x + w / 2.0, y, x + w / 2.0, y + h))) for x, y, w, h in
            (m["stroke_cyan"], m["stroke_spot"])]


def write_overprint_pdf(path, width=180.0, height=144.0, spot=SPOT):
    """A PDF page with overprinting black strokes (/OP, /OPM 1) over a cyan
    and a spot patch, and a black patch at /ca 0.5."""
    m = overprint_marks(width, height)
    pdf = _Pdf()
    catalog = pdf.reserve()
    tree = pdf.reserve()
    tint = pdf.add("<< /FunctionType 2 /Domain [0 1] /C0 [0 0 0 0] /C1 [%s] /N 1 >>" % " ".join(map(_num, SPOT_CMYK)))
    spot_cs = pdf.add("[/Separation %s /DeviceCMYK %d 0 R]" % (_spot_name_pdf(spot), tint))
    ops = ["0.5 0 0 0 k %s %s %s %s re f" % tuple(map(_num, m["cyan50"])),
           "/CS0 cs 0.4 scn %s %s %s %s re f" % tuple(map(_num, m["spot40"])),
           "q /GSA gs 0 0 0 1 k %s %s %s %s re f Q" % tuple(map(_num, m["alpha50"])),
           "q /GSO gs 0 0 0 1 K 12 w"] + _strokes(m, "%s %s m %s %s l S") + ["Q"]
    content = pdf.add(_Pdf.stream(b"", "\n".join(ops).encode("latin-1")))
    page = pdf.add("<< /Type /Page /Parent %d 0 R /MediaBox [0 0 %s %s] /Resources << /ColorSpace << /CS0 %d 0 R >> "
                   "/ExtGState << /GSA << /ca 0.5 >> /GSO << /OP true /op true /OPM 1 >> >> >> /Contents %d 0 R >>"
                   % (tree, _num(width), _num(height), spot_cs, content))
    pdf.set(tree, "<< /Type /Pages /Kids [%d 0 R] /Count 1 >>" % page)
    pdf.set(catalog, "<< /Type /Catalog /Pages %d 0 R >>" % tree)
    pdf.write(path, catalog)


def write_overprint_ps(path, width=180.0, height=144.0, spot=SPOT):
    """The overprint page as a PostScript program: the strokes paint the
    Black separation alone with setoverprint, so the inks under them stay."""
    m = overprint_marks(width, height)
    c, my, y, k = SPOT_CMYK
    out = ["%!PS-Adobe-3.0", "%%%%BoundingBox: 0 0 %d %d" % (round(width), round(height)), "%%EndComments",
           "<< /PageSize [%s %s] >> setpagedevice" % (_num(width), _num(height)),
           "0.5 0 0 0 setcmykcolor %s %s %s %s rectfill" % tuple(map(_num, m["cyan50"])),
           "[/Separation %s /DeviceCMYK {dup %s mul exch dup %s mul exch dup %s mul exch %s mul}] setcolorspace"
           % (_ps_string(spot), _num(c), _num(my), _num(y), _num(k)),
           "0.4 setcolor %s %s %s %s rectfill" % tuple(map(_num, m["spot40"])),
           "[/Separation (Black) /DeviceCMYK {0 0 0 4 -1 roll}] setcolorspace 1 setcolor",
           "true setoverprint 12 setlinewidth"] + _strokes(m, "%s %s moveto %s %s lineto stroke") + ["showpage", "%%EOF"]
    with open(path, "w", encoding="latin-1") as f:
        f.write("\n".join(out) + "\n")


def write_broken_pdf(path):
    """A file that starts like a PDF but holds nothing readable."""
    with open(path, "wb") as f:
        f.write(b"%PDF-1.4\n1 0 obj\n<< /Type /Catalog /Pages 2 0 R >>\nendobj\ntrailer\n<< >>\n%%EOF\n")
