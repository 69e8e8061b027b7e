#!/usr/bin/env bash
# End-to-end throughput of riphost + plug-in against tiffcp on real halftones,
# and peak memory against page height.
#
#   bench/throughput.sh [BUILD_DIR] [--size WxH] [--repeat N] [--screens "am fm"]
#                       [--level L] [--threads N] [--no-ramp]
#
#   BUILD_DIR       build folder holding bin/riphost, the plug-in and
#                   bin/halftone_gen (default "build"; a Release build with
#                   -DDRAV_BENCH=ON gives meaningful figures)
#   --size WxH      the page (default 20000x30000, 2400 ppi)
#   --repeat N      runs per figure; the median wall time is shown (default 3)
#   --screens LIST  halftones measured: am (round dots, 150 lpi, 45 degrees)
#                   and/or fm (blue-noise threshold) (default "am fm")
#   --level L       deflate_level of the device's configuration (default:
#                   none, the writer's default)
#   --threads N     compression_threads of the configuration (default: none,
#                   the writer's default)
#   --no-ramp       leave out the best case (riphost's "ramp" pattern)
#
# halftone_gen writes each halftone once per run as an uncompressed 1-bit
# TIFF (and an 8-bit one for FW88B). riphost reads it as an image separation
# and writes a TAV file; tiffcp copies the same file with the same rows per
# strip and the matching compression (-c zip / packbits / none; FW88B against
# the 8-bit file). Both outputs are synced to disk before the clock stops, as
# riphost syncs its files. For every pair the table gives the median wall
# times, time ratio ours / tiffcp (below 1: we are faster), size ratio and
# the peak resident memory of each side (/usr/bin/time). Then a page of H and
# of 10*H rows (FW8B FLATE, riphost's vertical gradient, screened by
# riphost) shows that peak memory does not grow with the page height, and a
# full-width page of H/10 rows with deflate_level 12 and compression_threads
# 64 that it stays bounded for any thread count.
# Files live in a temporary folder under $TMPDIR (else /tmp), removed at the
# end. All runs use LEFT=1 (no mirroring), so both sides store the same
# bitmap.
set -euo pipefail

build=build
size=20000x30000
repeat=3
screens="am fm"
level=
threads=
ramp=1
while [ $# -gt 0 ]; do
  case "$1" in
    --size) [ $# -ge 2 ] || { echo "throughput.sh: --size needs WxH" >&2; exit 2; }
            size=$2; shift ;;
    --repeat) [ $# -ge 2 ] && [[ $2 =~ ^[1-9]$ ]] || { echo "throughput.sh: --repeat needs 1..9" >&2; exit 2; }
              repeat=$2; shift ;;
    --screens) [ $# -ge 2 ] && [[ $2 =~ ^(am|fm)( (am|fm))*$ ]] || {
                 echo "throughput.sh: --screens needs \"am\", \"fm\" or \"am fm\"" >&2; exit 2; }
               screens=$2; shift ;;
    --level) [ $# -ge 2 ] && [[ $2 =~ ^([1-9]|1[0-2])$ ]] || { echo "throughput.sh: --level needs 1..12" >&2; exit 2; }
             level=$2; shift ;;
    --threads) [ $# -ge 2 ] && [[ $2 =~ ^([1-9]|[1-5][0-9]|6[0-4])$ ]] || {
                 echo "throughput.sh: --threads needs 1..64" >&2; exit 2; }
               threads=$2; shift ;;
    --no-ramp) ramp= ;;
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
gen="$build/bin/halftone_gen"
for tool in "$riphost" "$build/bin/libdravout.so" "$gen"; do
  [ -e "$tool" ] || {
    echo "throughput.sh: $tool not found; build riphost, dravout and halftone_gen (-DDRAV_BENCH=ON) in $build" >&2
    exit 2; }
done
for tool in tiffcp tiffinfo python3; do
  command -v "$tool" >/dev/null || {
    echo "throughput.sh: $tool not found (Debian packages libtiff-tools, python3)" >&2; exit 2; }
done
[ -x /usr/bin/time ] || { echo "throughput.sh: /usr/bin/time not found (Debian package time)" >&2; exit 2; }

work=$(mktemp -d "${TMPDIR:-/tmp}/drav_throughput.XXXXXX")
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/device" "$work/out"
# A film large enough for every page measured here (thousandths of an inch).
{
  cat <<'EOF'
[[film]]
name = "Bench-Film"
length = 10000000
width = 10000000

[[configuration]]
name = "Bench"
film = "Bench-Film"
default = true
EOF
  [ -n "$level" ] && echo "deflate_level = $level"
  [ -n "$threads" ] && echo "compression_threads = $threads"
  cat <<'EOF'

  [[configuration.resolution]]
  ppi = 2400
  gamma = 1.0
EOF
} >"$work/device/device.toml"
# The same device asking for the most threads and the slowest level, for the
# memory bound.
mkdir -p "$work/device-max"
grep -v -e '^deflate_level' -e '^compression_threads' "$work/device/device.toml" |
  sed 's/^default = true$/default = true\ndeflate_level = 12\ncompression_threads = 64/' \
  >"$work/device-max/device.toml"
device_dir="$work/device"

# Runs a command once; sets $wall (seconds) and $rss_kb (peak resident
# memory of the command and its children, KiB). Output goes to $work/log.
measure_once() {
  local status=0 start end
  start=$(date +%s%N)
  /usr/bin/time -f '%M' -o "$work/time" "$@" >"$work/log" 2>&1 || status=$?
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

# Writes a one-page ticket: format, compression, width, height, and the
# separation's content as a JSON object text.
ticket() {
  python3 - "$work" "$device_dir" "$@" <<'PY'
import json, sys
work, device, fmt, compression, width, height, content = sys.argv[1:]
separation = {"name": "Black"}
separation.update(json.loads(content))
ticket = {
    "device": device,
    "output": f"{work}/out",
    "jobs": [{
        "name": "throughput",
        "ppi": 2400,
        "options": {"OFORMAT": fmt, "OCOMPRESS": compression, "LEFT": 1},
        "pages": [{"width": int(width), "height": int(height), "separations": [separation]}],
    }],
}
with open(f"{work}/job.json", "w") as f:
    json.dump(ticket, f, indent=1)
PY
}

# Runs riphost on a ticket (ticket's arguments); sets $wall, $rss_kb and
# $tav (the one file made).
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

# Runs tiffcp -c CODEC -r ROWS IN into $work/cp.tif, synced; sets $wall,
# $rss_kb.
run_tiffcp() {
  before='rm -f "$work/cp.tif"'
  # tiffcp may warn about tags it does not know; its log is shown on failure.
  measure sh -c 'tiffcp -c "$1" -r "$2" "$3" "$4" && sync "$4"' sh "$1" "$2" "$3" "$work/cp.tif"
  before=
}

mib() { awk -v k="$1" 'BEGIN { printf "%.1f", k / 1024 }'; }
bytes() { stat -c %s "$1"; }
rows_per_strip() { tiffinfo "$1" 2>/dev/null | awk -F': *' '/Rows\/Strip/ { print $2; exit }'; }

declare -A tiffcp_codec=([FLATE]=zip [SUN]=packbits [NONE]=none)

echo "page ${width} x ${height} ($(awk -v p=$((width * height)) 'BEGIN { printf "%.0f", p / 1e6 }') Mpixel), 2400 ppi, LEFT=1," \
  "deflate_level ${level:-default}, compression_threads ${threads:-default}, $(nproc) processors, median of $repeat"
printf '%-6s %-6s %-6s %9s %9s %7s %7s %9s %9s\n' screen format codec "ours s" "tiffcp s" "time" "size" "ours MiB" "tiffcp MiB"

# Compares riphost and tiffcp on one input: screen, format, codec, the
# ticket's content, the file tiffcp copies.
compare() {
  local screen=$1 fmt=$2 codec=$3 content=$4 input=$5
  run_riphost "$fmt" "$codec" "$width" "$height" "$content"
  local ours_wall=$wall ours_rss=$rss_kb ours_size
  ours_size=$(bytes "$tav")
  local rows
  rows=$(rows_per_strip "$tav")
  [ -n "$rows" ] || { echo "throughput.sh: no Rows/Strip in $tav" >&2; exit 1; }
  run_tiffcp "${tiffcp_codec[$codec]}" "$rows" "$input"
  local cp_size
  cp_size=$(bytes "$work/cp.tif")
  printf '%-6s %-6s %-6s %9.2f %9.2f %7.2f %7.3f %9s %9s\n' "$screen" "$fmt" "$codec" \
    "$ours_wall" "$wall" "$(awk -v a="$ours_wall" -v b="$wall" 'BEGIN { print (b > 0 ? a / b : 0) }')" \
    "$(awk -v a="$ours_size" -v b="$cp_size" 'BEGIN { print (b > 0 ? a / b : 0) }')" \
    "$(mib "$ours_rss")" "$(mib "$rss_kb")"
  rm -f "$work"/out/* "$work/cp.tif"
}

for screen in $screens; do
  "$gen" "$screen" "${width}x${height}" 1 "$work/$screen.tif"
  for codec in FLATE SUN NONE; do
    compare "$screen" FW8B "$codec" "{\"image\": \"$work/$screen.tif\"}" "$work/$screen.tif"
  done
  "$gen" "$screen" "${width}x${height}" 8 "$work/${screen}8.tif"
  compare "$screen" FW88B FLATE "{\"image\": \"$work/$screen.tif\"}" "$work/${screen}8.tif"
  rm -f "$work/$screen.tif" "$work/${screen}8.tif"
done

if [ -n "$ramp" ]; then
  # The best case: riphost's ramp pattern compresses far better than any
  # real separation. tiffcp copies riphost's uncompressed file of it.
  run_riphost FW8B NONE "$width" "$height" '{"pattern": "ramp"}'
  mv "$tav" "$work/ramp.tif"
  compare ramp FW8B FLATE '{"pattern": "ramp"}' "$work/ramp.tif"
  rm -f "$work/ramp.tif"
fi

echo "peak memory against page height (FW8B FLATE, width $mem_width, vertical gradient, one run each):"
repeat=1
for h in "$mem_height" $((10 * mem_height)); do
  run_riphost FW8B FLATE "$mem_width" "$h" '{"gradient": "vertical"}'
  printf '  height %-9s %7.2f s  peak RSS %7s MiB\n' "$h" "$wall" "$(mib "$rss_kb")"
done
device_dir="$work/device-max"
max_height=$(( (mem_height + 9) / 10 ))
run_riphost FW8B FLATE "$width" "$max_height" '{"gradient": "vertical"}'
printf '  width %s height %s, deflate_level 12, compression_threads 64: %7.2f s  peak RSS %7s MiB\n' \
  "$width" "$max_height" "$wall" "$(mib "$rss_kb")"
rm -f "$work"/out/*
