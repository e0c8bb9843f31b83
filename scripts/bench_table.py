#!/usr/bin/env python3
"""Prints one table of Kel-to-baseline ratios from Google Benchmark JSON files.

Usage: bench_table.py PAIRS.tsv RESULT.json...
Each row of PAIRS.tsv names an area, a description, Kel's benchmark and the baseline's benchmark. The
medians of both (CPU time and real time) come from whichever result file holds them.
"""
import json
import sys


def medians(paths):
    found = {}
    for path in paths:
        with open(path) as f:
            data = json.load(f)
        for bench in data.get("benchmarks", []):
            if bench.get("aggregate_name") == "median":
                found[bench["run_name"]] = (bench["cpu_time"], bench["real_time"], bench["time_unit"])
            elif "aggregate_name" not in bench and bench["name"] not in found:
                found[bench["name"]] = (bench["cpu_time"], bench["real_time"], bench["time_unit"])
    return found


def main():
    pairs_path, *results = sys.argv[1:]
    found = medians(results)
    rows = []
    for line in open(pairs_path):
        if not line.strip() or line.startswith("#"):
            continue
        area, what, kel, base = line.rstrip("\n").split("\t")
        if kel not in found or base not in found:
            rows.append((area, what, "-", "-", "-", "-", "not run"))
            continue
        kc, kr, unit = found[kel]
        bc, br, _ = found[base]
        rows.append((area, what, f"{kc:.4g} {unit}", f"{bc:.4g} {unit}", f"{kc / bc:.2f}", f"{kr / br:.2f}", ""))
    header = ("area", "measure", "Kel (cpu)", "baseline (cpu)", "ratio cpu", "ratio real", "")
    widths = [max(len(str(r[i])) for r in rows + [header]) for i in range(len(header))]
    for row in [header] + rows:
        print("  ".join(str(cell).ljust(width) for cell, width in zip(row, widths)).rstrip())


if __name__ == "__main__":
    main()
