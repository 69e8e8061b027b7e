#!/usr/bin/env bash
# Runs scanline_bench with repetitions and prints the figures as ratios
# against the baselines of the same run.
#
#   bench/run_scanline.sh [BUILD_DIR] [extra scanline_bench options...]
#
# BUILD_DIR defaults to "build" and must be a Release build with DRAV_BENCH
# on. Files are written under $TMPDIR (else /tmp); TMPDIR=/dev/shm takes the
# disk out of the figures.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=${1:-build}
[ $# -gt 0 ] && shift
bin="$build/bin/scanline_bench"
if [ ! -x "$bin" ]; then
  echo "run_scanline.sh: $bin not found; build the target scanline_bench first" >&2
  exit 2
fi
out=$(mktemp "${TMPDIR:-/tmp}/scanline_bench.XXXXXX.json")
trap 'rm -f "$out"' EXIT
"$bin" --benchmark_repetitions=3 --benchmark_report_aggregates_only=true \
  --benchmark_out="$out" --benchmark_out_format=json "$@"
echo
python3 "$here/scanline_ratios.py" "$out"
