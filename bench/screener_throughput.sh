#!/usr/bin/env bash
# riphost end to end on a photo-like contone image, against an earlier
# riphost build on the same image: processor time and peak memory, and peak
# memory against page height.
#
#   bench/screener_throughput.sh NEW_BUILD [OLD_BUILD] [--size WxH] [--repeat N]
#
#   NEW_BUILD   build folder holding bin/riphost, the plug-in and bin/photo_gen
#   OLD_BUILD   build folder of the riphost to compare with (its bin/riphost
#               and plug-in); left out: the new one alone
#   --size WxH  the page at 2400 ppi (default 8000x9000; 10 H must fit the
#               example device's film: 96000 rows)
#   --repeat N  runs per figure; medians are shown (default 3)
#
# Runs (FW8B FLATE, LEFT=1, round 150 lpi 45 degrees, one screen):
#   image      the photo at 2400 ppi, one image pixel per device pixel (both builds)
#   300ppi     the same photo at 300 ppi, enlarged 8 times while it streams (new)
#   H, 10H     the vertical gradient at H and 10 H rows: peak memory (new)
# Times are processor seconds (user + system) of the whole run: reading,
# screening, compressing and writing the file.
set -euo pipefail

new=${1:?usage: bench/screener_throughput.sh NEW_BUILD [OLD_BUILD] [--size WxH] [--repeat N]}
shift
old=
if [ $# -gt 0 ] && [ "${1#--}" = "$1" ]; then old=$1; shift; fi
size=8000x9000
repeat=3
while [ $# -gt 0 ]; do
  case "$1" in
    --size) size=$2; shift ;;
    --repeat) repeat=$2; shift ;;
    *) echo "screener_throughput.sh: unknown argument $1" >&2; exit 2 ;;
  esac
  shift
done
width=${size%x*}
height=${size#*x}
here=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d "${TMPDIR:-/tmp}/screener_throughput.XXXXXX")
trap 'rm -rf "$work"' EXIT
cp -r "$here/examples/device" "$work/device"

"$new/bin/photo_gen" "${width}x${height}" "$work/photo.pgm"
"$new/bin/photo_gen" "$((width / 8))x$((height / 8))" "$work/photo300.pgm"

# ticket NAME CONTENT-JSON [PAGE-SIZE-JSON]
ticket() {
  cat > "$work/$1.json" <<JSON
{"device": "device", "output": "out-$1", "options": {"OFORMAT": "FW8B", "LEFT": 1},
 "screens": [{"name": "k", "ruling": 150, "angle": 45}],
 "jobs": [{"name": "$1", "ppi": 2400, "pages": [{${3:-} "separations": [{"name": "K", "screens": ["k"], $2}]}]}]}
JSON
}
ticket image '"contone": "photo.pgm"'
ticket resampled '"contone": "photo300.pgm", "ppi": 300'
ticket tall1 '"gradient": "vertical"' "\"width\": $width, \"height\": $height,"
ticket tall10 '"gradient": "vertical"' "\"width\": $width, \"height\": $((height * 10)),"

# run BUILD TICKET: "cpu-seconds peak-kib" medians over the repeats.
run() {
  local times=() peaks=()
  for _ in $(seq "$repeat"); do
    rm -rf "$work/out-$2"
    /usr/bin/time -f "%U %S %M" -o "$work/time" \
      "$1/bin/riphost" --plugin "$1/bin/libdravout.so" "$work/$2.json" > /dev/null
    read -r user system peak < "$work/time"
    times+=("$(echo "$user + $system" | bc)")
    peaks+=("$peak")
  done
  printf '%s %s\n' "$(printf '%s\n' "${times[@]}" | sort -n | sed -n "$(( (repeat + 1) / 2 ))p")" \
                   "$(printf '%s\n' "${peaks[@]}" | sort -n | sed -n "$(( (repeat + 1) / 2 ))p")"
}

echo "| run | riphost | cpu s | peak MiB |"
echo "|---|---|---|---|"
line() { read -r t m <<< "$3"; printf '| %s | %s | %s | %.1f |\n' "$1" "$2" "$t" "$(echo "$m / 1024" | bc -l)"; }
if [ -n "$old" ]; then line "image ${width}x${height}" old "$(run "$old" image)"; fi
line "image ${width}x${height}" new "$(run "$new" image)"
line "300 ppi image enlarged to ${width}x${height}" new "$(run "$new" resampled)"
line "gradient ${width}x${height}" new "$(run "$new" tall1)"
line "gradient ${width}x$((height * 10))" new "$(run "$new" tall10)"
