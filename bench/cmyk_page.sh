#!/usr/bin/env bash
# riphost end to end on a CMYK page of a photo-like contone image (C 15, M 75,
# Y 0, K 45 degrees, round 150 lpi at 2400 ppi), against an earlier build on
# the same page: wall and processor seconds and peak memory, the screens'
# tiles included (built side by side before the page, as large as the screens'
# accuracy asks).
#
#   bench/cmyk_page.sh NEW_BUILD [OLD_BUILD] [--size WxH] [--repeat N]
#
#   NEW_BUILD   build folder holding bin/riphost, the plug-in and bin/photo_gen
#   OLD_BUILD   build folder of the riphost to compare with; left out: the new
#               one alone
#   --size WxH  the page at 2400 ppi (default 12000x16000)
#   --repeat N  runs per figure; medians are shown (default 3)
set -euo pipefail

new=${1:?usage: bench/cmyk_page.sh NEW_BUILD [OLD_BUILD] [--size WxH] [--repeat N]}
shift
old=
if [ $# -gt 0 ] && [ "${1#--}" = "$1" ]; then old=$1; shift; fi
size=12000x16000
repeat=3
while [ $# -gt 0 ]; do
  case "$1" in
    --size) size=$2; shift ;;
    --repeat) repeat=$2; shift ;;
    *) echo "cmyk_page.sh: unknown argument $1" >&2; exit 2 ;;
  esac
  shift
done
here=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d "${TMPDIR:-/tmp}/cmyk_page.XXXXXX")
trap 'rm -rf "$work"' EXIT
cp -r "$here/examples/device" "$work/device"
"$new/bin/photo_gen" "$size" "$work/photo.pgm"

separation() { printf '{"name": "%s", "screens": ["%s"], "contone": "photo.pgm"}' "$1" "$2"; }
cat > "$work/cmyk.json" <<JSON
{"device": "device", "output": "out", "options": {"OFORMAT": "FW8B", "LEFT": 1},
 "screens": [{"name": "c", "ruling": 150, "angle": 15}, {"name": "m", "ruling": 150, "angle": 75},
             {"name": "y", "ruling": 150, "angle": 0}, {"name": "k", "ruling": 150, "angle": 45}],
 "jobs": [{"name": "cmyk", "ppi": 2400, "pages": [{"separations": [
   $(separation Cyan c), $(separation Magenta m), $(separation Yellow y), $(separation Black k)]}]}]}
JSON

# run BUILD: "wall-seconds cpu-seconds peak-kib" medians over the repeats.
run() {
  local walls=() times=() peaks=()
  for _ in $(seq "$repeat"); do
    rm -rf "$work/out"
    /usr/bin/time -f "%e %U %S %M" -o "$work/time" \
      "$1/bin/riphost" --plugin "$1/bin/libdravout.so" "$work/cmyk.json" > /dev/null
    read -r wall user system peak < "$work/time"
    walls+=("$wall")
    times+=("$(echo "$user + $system" | bc)")
    peaks+=("$peak")
  done
  median() { printf '%s\n' "$@" | sort -n | sed -n "$(( (repeat + 1) / 2 ))p"; }
  printf '%s %s %s\n' "$(median "${walls[@]}")" "$(median "${times[@]}")" "$(median "${peaks[@]}")"
}

echo "| CMYK page ${size} | wall s | cpu s | peak MiB |"
echo "|---|---|---|---|"
line() { read -r w t m <<< "$2"; printf '| %s | %s | %s | %.1f |\n' "$1" "$w" "$t" "$(echo "$m / 1024" | bc -l)"; }
if [ -n "$old" ]; then line old "$(run "$old")"; fi
line new "$(run "$new")"
