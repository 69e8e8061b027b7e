#!/usr/bin/env python3
"""Prints the scanline benchmark's figures as ratios against the baselines of
the same run, from scanline_bench's JSON output (--benchmark_out).

  plugin/<format>/<compression>/<left|mirror>  against  libtiff/<format>/<compression>
  expand/fast                                  against  expand/reference

A ratio above 1 means ours is faster. With repetitions the median is used.
"""
import json
import sys


def rates(path):
    """Maps each benchmark's base name to its pixels/s (median when repeated)."""
    with open(path, encoding="utf-8") as f:
        data = json.load(f)
    plain, medians = {}, {}
    for b in data.get("benchmarks", []):
        name = b.get("run_name", b["name"])
        if name.endswith("/real_time"):
            name = name[: -len("/real_time")]
        if b.get("error_occurred"):
            print(f"{name}: failed: {b.get('error_message', '')}", file=sys.stderr)
            continue
        rate = b.get("pixels/s")
        if rate is None:
            continue
        if b.get("run_type") == "aggregate":
            if b.get("aggregate_name") == "median":
                medians[name] = rate
        else:
            plain.setdefault(name, []).append(rate)
    for name, values in plain.items():
        if name not in medians:
            values.sort()
            medians[name] = values[len(values) // 2]
    return medians


def main():
    if len(sys.argv) != 2:
        print("usage: scanline_ratios.py RESULTS.json", file=sys.stderr)
        return 2
    r = rates(sys.argv[1])
    rows = []
    for name in r:
        parts = name.split("/")
        if parts[0] == "plugin" and len(parts) == 4:
            base = "libtiff/" + "/".join(parts[1:3])
        elif name == "expand/fast":
            base = "expand/reference"
        else:
            continue
        if base in r:
            rows.append((name, r[name], base, r[base]))
    if not rows:
        print("no benchmark pairs found", file=sys.stderr)
        return 1
    print(f"{'benchmark':30} {'Mpixel/s':>10}  {'baseline':24} {'Mpixel/s':>10}  {'ours/base':>9}")
    for name, ours, base, theirs in rows:
        print(f"{name:30} {ours / 1e6:10.1f}  {base:24} {theirs / 1e6:10.1f}  {ours / theirs:9.2f}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
