#!/usr/bin/env bash
# End-to-end throughput of riphost + plug-in against tiffcp, and peak memory
# against page height.
#
#   bench/throughput.sh [BUILD_DIR] [--fw88b] [--pattern NAME] [--size WxH] [--repeat N]
#
#   BUILD_DIR       build folder holding bin/riphost and the plug-in (default
#                   "build"; a Release build gives meaningful figures)
#   --fw88b         also measure the page as FW88B (8 bits per pixel)
#   --pattern NAME  riphost's built-in pattern (default "ramp")
#   --size WxH      the large page (default 20000x30000)
#   --repeat N      runs per figure, the median wall time is shown (default 3)
#
# 1. riphost writes the page (FW8B, FLATE, one separation) into a TAV file;
#    wall time and peak resident memory are taken.
# 2. riphost writes the same page uncompressed (a TAV file is a TIFF file);
#    "tiffcp -c zip" compresses it with the same rows per strip. Its output is
#    synced to disk before the clock stops, as riphost syncs its files.
# 3. A narrow page of H and of 10*H rows shows that peak memory does not grow
#    with the page height.
# Every file goes into a temporary folder under $TMPDIR (else /tmp), removed
# at the end. All runs use LEFT=1 (no mirroring), so both sides store the
# same bitmap.
set -euo pipefail

build=build
formats=(FW8B)
pattern=ramp
size=20000x30000
repeat=3
before=
while [ $# -gt 0 ]; do
  case "$1" in
    --fw88b) formats=(FW8B FW88B) ;;
    --pattern) [ $# -ge 2 ] || { echo "throughput.sh: --pattern needs a name" >&2; exit 2; }
               pattern=$2; shift ;;
    --size) [ $# -ge 2 ] || { echo "throughput.sh: --size needs WxH" >&2; exit 2; }
            size=$2; shift ;;
    --repeat) [ $# -ge 2 ] && [[ $2 =~ ^[1-9]$ ]] || { echo "throughput.sh: --repeat needs 1..9" >&2; exit 2; }
              repeat=$2; shift ;;
    -h|--help) awk 'NR > 1 && /^#/ { sub(/^# ?/, ""); print; next } NR > 1 { exit }' "$0"; exit 0 ;;
    -*) echo "throughput.sh: unknown option $1" >&2; exit 2 ;;
    *) build=$1 ;;
  esac
  shift
done
if ! [[ $size =~ ^([1-9][0-9]{0,6})x([1-9][0-9]{0,6})$ ]]; then
  echo "throughput.sh: --size wants WIDTHxHEIGHT in pixels, e.g. 20000x30000" >&2
  exit 2
fi
width=${BASH_REMATCH[1]}
height=${BASH_REMATCH[2]}
mem_width=4000
mem_height=$height

riphost="$build/bin/riphost"
for tool in "$riphost" "$build/bin/libdravout.so"; do
  [ -e "$tool" ] || { echo "throughput.sh: $tool not found; build riphost and dravout in $build" >&2; exit 2; }
done
for tool in tiffcp tiffinfo python3; do
  command -v "$tool" >/dev/null || {
    echo "throughput.sh: $tool not found (Debian packages libtiff-tools, python3)" >&2; exit 2; }
done

work=$(mktemp -d "${TMPDIR:-/tmp}/drav_throughput.XXXXXX")
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/device" "$work/out"
# A film large enough for every page measured here (thousandths of an inch).
cat >"$work/device/device.toml" <<'EOF'
[[film]]
name = "Bench-Film"
length = 10000000
width = 10000000

[[configuration]]
name = "Bench"
film = "Bench-Film"
default = true

  [[configuration.resolution]]
  ppi = 2400
  gamma = 1.0
EOF

# Runs a command once; sets $wall (seconds) and $rss_kb (peak resident
# memory of the command and its children, KiB). Output goes to $work/log.
measure_once() {
  local status=0 start end
  start=$(date +%s%N)
  if [ -x /usr/bin/time ]; then
    /usr/bin/time -f '%M' -o "$work/time" "$@" >"$work/log" 2>&1 || status=$?
  else
    # getrusage(RUSAGE_CHILDREN) of a fresh interpreter covers just this run.
    python3 - "$work/time" "$@" >"$work/log" 2>&1 <<'PY' || status=$?
import resource, subprocess, sys
code = subprocess.run(sys.argv[2:]).returncode
with open(sys.argv[1], "w") as f:
    f.write(f"{resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss}\n")
sys.exit(code)
PY
  fi
  end=$(date +%s%N)
  if [ $status -ne 0 ]; then
    echo "throughput.sh: failed (status $status): $*" >&2
    cat "$work/log" >&2
    exit 1
  fi
  wall=$(awk -v a="$start" -v b="$end" 'BEGIN { printf "%.3f", (b - a) / 1e9 }')
  rss_kb=$(tail -n 1 "$work/time")
}

# Runs a command $repeat times (the "before" command, if set, ahead of each
# run, untimed); sets $wall to the median and $rss_kb to the largest peak.
measure() {
  local walls=() peak=0 i
  for ((i = 0; i < repeat; ++i)); do
    [ -n "${before:-}" ] && eval "$before"
    measure_once "$@"
    walls+=("$wall")
    [ "$rss_kb" -gt "$peak" ] && peak=$rss_kb
  done
  wall=$(printf '%s\n' "${walls[@]}" | sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }')
  rss_kb=$peak
}

# Writes a one-page ticket: format, compression, width, height.
ticket() {
  python3 - "$work" "$pattern" "$@" <<'PY'
import json, sys
work, pattern, fmt, compression, width, height = sys.argv[1:]
ticket = {
    "device": f"{work}/device",
    "output": f"{work}/out",
    "jobs": [{
        "name": "throughput",
        "ppi": 2400,
        "options": {"OFORMAT": fmt, "OCOMPRESS": compression, "LEFT": 1},
        "pages": [{"width": int(width), "height": int(height),
                   "separations": [{"name": "Black", "pattern": pattern}]}],
    }],
}
with open(f"{work}/job.json", "w") as f:
    json.dump(ticket, f, indent=1)
PY
}

# Runs riphost on the ticket; sets $wall, $rss_kb and $tav (the one file made).
run_riphost() {
  ticket "$@"
  before='rm -f "$work"/out/*'
  measure "$riphost" --quiet "$work/job.json"
  before=
  local files=("$work"/out/*.tav)
  if [ ${#files[@]} -ne 1 ] || [ ! -f "${files[0]}" ]; then
    echo "throughput.sh: riphost made ${#files[@]} .tav files, expected 1" >&2
    ls -l "$work/out" >&2
    exit 1
  fi
  tav=${files[0]}
}

mpix() { awk -v p="$1" 'BEGIN { printf "%.1f", p / 1e6 }'; }
rate() { awk -v p="$1" -v s="$2" 'BEGIN { if (s <= 0) s = 0.01; printf "%.1f", p / s / 1e6 }'; }
mib() { awk -v k="$1" 'BEGIN { printf "%.1f", k / 1024 }'; }
file_mib() { awk -v b="$(stat -c %s "$1")" 'BEGIN { printf "%.2f", b / 1048576 }'; }

pixels=$((width * height))
echo "page ${width} x ${height} ($(mpix $pixels) Mpixel), pattern \"$pattern\", 2400 ppi, LEFT=1"
for fmt in "${formats[@]}"; do
  echo "$fmt:"
  run_riphost "$fmt" FLATE "$width" "$height"
  ours_rate=$(rate $pixels "$wall")
  printf '  %-24s %7.2f s  %8s Mpixel/s  peak RSS %7s MiB  file %8s MiB\n' \
    "riphost FLATE" "$wall" "$ours_rate" "$(mib "$rss_kb")" "$(file_mib "$tav")"
  rows=$(tiffinfo "$tav" 2>/dev/null | awk -F': *' '/Rows\/Strip/ { print $2; exit }')
  [ -n "$rows" ] || { echo "throughput.sh: no Rows/Strip in $tav" >&2; exit 1; }

  run_riphost "$fmt" NONE "$width" "$height"
  printf '  %-24s %7.2f s  %8s Mpixel/s  peak RSS %7s MiB  file %8s MiB\n' \
    "riphost NONE" "$wall" "$(rate $pixels "$wall")" "$(mib "$rss_kb")" "$(file_mib "$tav")"
  mv "$tav" "$work/plain.tif"

  # tiffcp warns about the TAV file's private tag; its log is shown on failure.
  before='rm -f "$work/zip.tif"'
  measure sh -c 'tiffcp -c zip -r "$1" "$2" "$3" && sync "$3"' sh "$rows" "$work/plain.tif" "$work/zip.tif"
  before=
  tiffcp_rate=$(rate $pixels "$wall")
  printf '  %-24s %7.2f s  %8s Mpixel/s  peak RSS %7s MiB  file %8s MiB\n' \
    "tiffcp -c zip -r $rows" "$wall" "$tiffcp_rate" "$(mib "$rss_kb")" "$(file_mib "$work/zip.tif")"
  rm -f "$work/plain.tif" "$work/zip.tif"
  awk -v a="$ours_rate" -v b="$tiffcp_rate" \
    'BEGIN { printf "  ratio ours / tiffcp (Mpixel/s, FLATE): %.2f\n", (b > 0 ? a / b : 0) }'
done

echo "peak memory against page height (FW8B FLATE, width $mem_width):"
for h in "$mem_height" $((10 * mem_height)); do
  run_riphost FW8B FLATE "$mem_width" "$h"
  printf '  height %-9s %7.2f s  %8s Mpixel/s  peak RSS %7s MiB\n' \
    "$h" "$wall" "$(rate $((mem_width * h)) "$wall")" "$(mib "$rss_kb")"
done
rm -f "$work"/out/*
