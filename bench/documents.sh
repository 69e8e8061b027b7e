#!/usr/bin/env bash
# Documents to plates: riphost against Ghostscript's own 1-bit separations.
#
#   bench/documents.sh [BUILD_DIR] [--repeat N] [--a1] [--no-a4] [--spots] [--planes]
#
#   BUILD_DIR   build folder holding bin/riphost and the plug-in (default
#               "build"; a release build gives meaningful figures)
#   --repeat N  runs per side; the median is shown (default 3)
#   --a1        also an A1 page (56133 x 79467 pixels at 2400 ppi): time and
#               peak resident memory of riphost, which must stay under 1 GiB
#   --no-a4     leave out the A4 comparison
#   --spots     also the A4 page with 7 spot colours (11 inks; Ghostscript
#               renders 8 at once, so the page is rendered in two passes)
#               against the same page with 1: riphost's time and peak
#               resident memory of each, and their ratios
#   --planes    also the A4 page with a black frame stroked in overprint,
#               which riphost renders with Ghostscript's separation device
#               into LZW planes on disk and reads back, against the page
#               without it (display device, bands): time, peak resident
#               memory (of riphost, or of the gs it runs when larger) and
#               the planes' bytes on disk, and their ratios
#
# The page (tests/e2e/documents.py, photo_page_pdf): A4 PDF, a CMYK picture
# over most of the page, a 50 % cyan patch, a solid black patch, a 40 % patch
# of the spot colour PANTONE 185 C, a CMYK vignette and text; 5 inks. Each
# side runs the same document at 2400 ppi, turn about, in the same run:
#
#   riphost   riphost page.pdf -o OUT -v  (renders with Ghostscript, screens
#             150 lpi AM, writes 5 TAV files through the plug-in, Deflate;
#             files are synced by the plug-in before they get their names)
#   gs        gs -sDEVICE=tiffsep1 -r2400 -o OUT/p%d.tif page.pdf (renders,
#             screens with its own threshold arrays and writes one 1-bit TIFF
#             per ink), then the files are synced
#
# Shown: median wall time of each side, the ratio riphost / gs (below 1:
# riphost is faster), peak resident memory of each (/usr/bin/time, the whole
# process: riphost includes Ghostscript, which runs inside it), output
# sizes, and riphost's split from its -v line (medians): Ghostscript's
# rendering, screening (summed over the screening threads), spooling and
# reading back the other inks, writing (riphost's thread in the plug-in's
# calls) and waiting for screened rows. Files live in a temporary folder
# under $TMPDIR (else /tmp), removed at the end.
set -euo pipefail

build=build
repeat=3
a1=
a4=1
spots=
planes=
while [ $# -gt 0 ]; do
  case "$1" in
    --repeat) [ $# -ge 2 ] && [[ $2 =~ ^[1-9]$ ]] || { echo "documents.sh: --repeat needs 1..9" >&2; exit 2; }
              repeat=$2; shift ;;
    --a1) a1=1 ;;
    --no-a4) a4= ;;
    --spots) spots=1 ;;
    --planes) planes=1 ;;
    -h|--help) awk 'NR > 1 && /^#/ { sub(/^# ?/, ""); print; next } NR > 1 { exit }' "$0"; exit 0 ;;
    -*) echo "documents.sh: unknown option $1" >&2; exit 2 ;;
    *) build=$1 ;;
  esac
  shift
done
here=$(cd "$(dirname "$0")/.." && pwd)
riphost=$(cd "$build" && pwd)/bin/riphost
[ -x "$riphost" ] || { echo "documents.sh: no $riphost (build the riphost and dravout targets)" >&2; exit 2; }
command -v gs >/dev/null || { echo "documents.sh: Ghostscript (gs) is missing" >&2; exit 2; }

work=$(mktemp -d "${TMPDIR:-/tmp}/documents-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT
/usr/bin/python3 - "$here/tests/e2e" "$work" <<'EOF'
import os, sys
sys.path.insert(0, sys.argv[1])
import documents
documents.photo_page_pdf(os.path.join(sys.argv[2], "a4.pdf"))
documents.photo_page_pdf(os.path.join(sys.argv[2], "a4-spots.pdf"),
                         spots=["Varnish", "Die line", "PANTONE 300 C", "PANTONE 485 C", "Gold", "Silver"])
documents.photo_page_pdf(os.path.join(sys.argv[2], "a4-overprint.pdf"), overprint=True)
documents.write_pdf(os.path.join(sys.argv[2], "a1.pdf"), 1684.0, 2384.0,
                    photo=(60.0, 80.0, 1560.0, 2200.0, 1200, 1680))
EOF

# run NAME OUT COMMAND...: one timed run; appends "seconds kib bytes" to NAME.
run() {
  local name=$1 out=$2
  shift 2
  rm -rf "$out" && mkdir -p "$out"
  /usr/bin/time -f "%e %M" -o "$work/time" "$@" > "$work/stdout" 2> "$work/stderr" || {
    echo "documents.sh: $name failed:" >&2; cat "$work/stderr" >&2; exit 1; }
  echo "$(cat "$work/time") $(du -sb "$out" | cut -f1)" >> "$work/$name"
}

gs_tiffsep1() {
  gs -q -dSAFER -dBATCH -dNOPAUSE -sDEVICE=tiffsep1 -r2400 -o "$1/p%d.tif" "$2"
  sync "$1"/*
}

if [ -n "$a4" ]; then
  for ((i = 1; i <= repeat; i++)); do
    run riphost "$work/out" "$riphost" "$work/a4.pdf" -o "$work/out" -v
    grep -o "rendering .* MB spooled" "$work/stdout" >> "$work/split"
    run gs "$work/out" bash -c "$(declare -f gs_tiffsep1); gs_tiffsep1 '$work/out' '$work/a4.pdf'"
  done
fi
if [ -n "$a1" ]; then
  run a1 "$work/out" "$riphost" "$work/a1.pdf" -o "$work/out" -v
fi
if [ -n "$spots" ]; then
  for ((i = 1; i <= repeat; i++)); do
    run spot1 "$work/out" "$riphost" "$work/a4.pdf" -o "$work/out"
    run spot7 "$work/out" "$riphost" "$work/a4-spots.pdf" -o "$work/out"
  done
fi
if [ -n "$planes" ]; then
  for ((i = 1; i <= repeat; i++)); do
    run bands "$work/out" "$riphost" "$work/a4.pdf" -o "$work/out"
    run planes "$work/out" "$riphost" "$work/a4-overprint.pdf" -o "$work/out" -v
    grep -o "[0-9.]* MB of planes" "$work/stdout" | cut -d' ' -f1 >> "$work/plane_mb"
  done
fi

/usr/bin/python3 - "$work" "$repeat" "$a4" "$a1" "$spots" "$planes" <<'EOF'
import os, re, statistics, sys
work, repeat, a4, a1, spots, planes = sys.argv[1], int(sys.argv[2]), *sys.argv[3:7]

def runs(name):
    with open(os.path.join(work, name)) as f:
        return [tuple(float(v) for v in line.split()) for line in f if line.strip()]

if a4:
    ours, theirs = runs("riphost"), runs("gs")
    t_ours = statistics.median(r[0] for r in ours)
    t_gs = statistics.median(r[0] for r in theirs)
    print("A4 CMYK + spot colour, 2400 ppi (19833 x 28067 pixels, 5 inks), median of %d" % repeat)
    print("  %-26s %9s %14s %12s" % ("", "time (s)", "peak RSS (MiB)", "output (MB)"))
    print("  %-26s %9.2f %14.0f %12.1f" % ("riphost (screens, TAV)", t_ours, max(r[1] for r in ours) / 1024,
                                          ours[0][2] / 1e6))
    print("  %-26s %9.2f %14.0f %12.1f" % ("gs -sDEVICE=tiffsep1", t_gs, max(r[1] for r in theirs) / 1024,
                                          theirs[0][2] / 1e6))
    print("  time ratio riphost / gs: %.2f" % (t_ours / t_gs))
    keys = ["rendering", "screening", "spooling", "reading spools", "writing", "waiting"]
    values = {k: [] for k in keys}
    with open(os.path.join(work, "split")) as f:
        for line in f:
            for k in keys:
                m = re.search(re.escape(k) + r" ([0-9.]+) s", line)
                if m:
                    values[k].append(float(m.group(1)))
    print("  riphost's split (median s): " + ", ".join("%s %.2f" % (k, statistics.median(v))
                                                      for k, v in values.items() if v))
if spots:
    one, seven = runs("spot1"), runs("spot7")
    t1, t7 = statistics.median(r[0] for r in one), statistics.median(r[0] for r in seven)
    m1, m7 = max(r[1] for r in one) / 1024, max(r[1] for r in seven) / 1024
    print("A4 CMYK at 2400 ppi, riphost, median of %d" % repeat)
    print("  %-34s %9s %14s %12s" % ("", "time (s)", "peak RSS (MiB)", "output (MB)"))
    print("  %-34s %9.2f %14.0f %12.1f" % ("1 spot colour (5 inks, 1 pass)", t1, m1, one[0][2] / 1e6))
    print("  %-34s %9.2f %14.0f %12.1f" % ("7 spot colours (11 inks, 2 passes)", t7, m7, seven[0][2] / 1e6))
    print("  ratios 7 / 1 spot colours: time %.2f, peak RSS %.2f" % (t7 / t1, m7 / m1))
if planes:
    bands, files = runs("bands"), runs("planes")
    tb, tp = statistics.median(r[0] for r in bands), statistics.median(r[0] for r in files)
    mb, mp = max(r[1] for r in bands) / 1024, max(r[1] for r in files) / 1024
    with open(os.path.join(work, "plane_mb")) as f:
        disk = max(float(v) for v in f.read().split())
    print("A4 CMYK + spot colour at 2400 ppi, riphost, median of %d" % repeat)
    print("  %-44s %9s %14s %14s" % ("", "time (s)", "peak RSS (MiB)", "temp disk (MB)"))
    print("  %-44s %9.2f %14.0f %14s" % ("display device, bands (no overprint)", tb, mb, "0"))
    print("  %-44s %9.2f %14.0f %14.1f" % ("separation device, planes (overprint frame)", tp, mp, disk))
    print("  ratios planes / bands: time %.2f, peak RSS %.2f" % (tp / tb, mp / mb))
if a1:
    t, kib, size = runs("a1")[0]
    print("A1 (56133 x 79467 pixels, 5 inks): riphost %.1f s, peak RSS %.0f MiB (%s 1 GiB)" %
          (t, kib / 1024, "under" if kib < 1024 * 1024 else "OVER"))
    if kib >= 1024 * 1024:
        sys.exit(1)
EOF
