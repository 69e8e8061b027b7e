#!/usr/bin/env bash
# Measures riphost's screens on flat tints at 2400 ppi: every shape at 0, 15,
# 45, 75 and 90 degrees and 100, 133, 150, 175 and 200 lpi, FM with dots of 1,
# 2 and 3 pixels, and the tone tables of docs/screening.md. Markdown on
# standard output; about two minutes on one core.
#
#   bench/screen_quality.sh BUILD_DIR [SIDE]
set -euo pipefail
build=${1:?usage: bench/screen_quality.sh BUILD_DIR [SIDE]}
side=${2:-1024}
tool="$build/bin/screen_quality"
[ -x "$tool" ] || { echo "build the target screen_quality first" >&2; exit 2; }

echo "## AM screens, $side x $side pixels per tint"
echo
"$tool" --side "$side"
echo
echo "## FM screens (dot size 1, 2, 3 pixels as the ruling column)"
echo
"$tool" --side "$side" --shapes fm --angles 0 --rulings 150 | head -2
for size in 1 2 3; do
  "$tool" --side "$side" --shapes fm --angles 0 --rulings 150 --fm-dot "$size" | tail -n +3
done
for shape in round euclidean ellipse line; do
  echo
  echo "## Tone table: $shape, 150 lpi, 45 degrees"
  echo
  "$tool" --side "$side" --tones "$shape" 150 45
done
