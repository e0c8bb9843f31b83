#!/usr/bin/env python3
"""Prints one table of Kel-to-baseline ratios from Google Benchmark JSON files.

Usage: bench_table.py PAIRS.tsv RESULT.json...
Each row of PAIRS.tsv names an area, a description, Kel's benchmark, the baseline's benchmark and a goal.
The medians of both (CPU time and real time) come from whichever result file holds them. A benchmark name
ending in "@counter" compares that counter of the two benchmarks instead of their times. The goal is "-"
(none), a number (the largest CPU-time ratio that meets it) or "=N" (the largest value of Kel's own
counter that meets it, for figures such as memory per document byte).
"""
import json
import sys


def medians(paths):
    found = {}
    for path in paths:
        with open(path) as f:
            data = json.load(f)
        for bench in data.get("benchmarks", []):
            name = bench["run_name"] if bench.get("aggregate_name") == "median" else bench["name"]
            if bench.get("aggregate_name") not in (None, "median") or (
                "aggregate_name" not in bench and name in found
            ):
                continue
            found[name] = bench
    return found


def measure(found, name):
    """(cpu, real, unit) of a benchmark, or (value, value, "") of one of its counters."""
    bench_name, _, counter = name.partition("@")
    bench = found.get(bench_name)
    if bench is None:
        return None
    if counter:
        value = bench.get(counter)
        return None if value is None else (value, value, "")
    return bench["cpu_time"], bench["real_time"], bench["time_unit"]


def verdict(goal, kel_value, ratio):
    if goal == "-":
        return ""
    if goal.startswith("="):
        return "meets" if kel_value <= float(goal[1:]) else "misses"
    return "meets" if ratio <= float(goal) else "misses"


def main():
    pairs_path, *results = sys.argv[1:]
    found = medians(results)
    rows = []
    for line in open(pairs_path):
        if not line.strip() or line.startswith("#"):
            continue
        area, what, kel, base, goal = line.rstrip("\n").split("\t")
        goal_text = "-" if goal == "-" else (f"<= {goal[1:]}" if goal.startswith("=") else f"<= {goal}x")
        k, b = measure(found, kel), measure(found, base)
        if k is None or b is None:
            rows.append((area, what, "-", "-", "-", "-", goal_text, "not run"))
            continue
        (kc, kr, unit), (bc, br, _) = k, b
        rows.append((area, what, f"{kc:.4g} {unit}".strip(), f"{bc:.4g} {unit}".strip(), f"{kc / bc:.2f}",
                     f"{kr / br:.2f}", goal_text, verdict(goal, kc, kc / bc)))
    header = ("area", "measure", "Kel (cpu)", "baseline (cpu)", "ratio cpu", "ratio real", "goal", "")
    widths = [max(len(str(r[i])) for r in rows + [header]) for i in range(len(header))]
    for row in [header] + rows:
        print("  ".join(str(cell).ljust(width) for cell, width in zip(row, widths)).rstrip())


if __name__ == "__main__":
    main()
