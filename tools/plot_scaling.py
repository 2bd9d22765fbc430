#!/usr/bin/env python3
"""Turns the bench suite's JSON into a table gnuplot reads.

Writes one row per haystack length with each routine's cycles per call (the
median when the suite ran repetitions), and prints a line naming the machine
for the plot's subtitle.
"""
import json
import statistics
import sys

ROUTINES = ["strstr", "finstr", "Wordsweep", "memchr", "strlen"]


def main(results_path, table_path):
    with open(results_path) as results_file:
        results = json.load(results_file)

    cycles = {}  # (routine, length) -> figures of every repetition
    for run in results["benchmarks"]:
        if run.get("run_type") != "iteration" or "cycles" not in run:
            continue
        if "error_occurred" in run and run["error_occurred"]:
            continue
        parts = run["run_name"].split("/")
        if len(parts) < 3 or parts[0] != "scaling":
            continue
        cycles.setdefault((parts[1], int(parts[2])), []).append(run["cycles"])
    if not cycles:
        sys.exit(f"{results_path}: no scaling results; run make bench first")

    lengths = sorted({length for _, length in cycles})
    with open(table_path, "w") as table:
        table.write("# length " + " ".join(ROUTINES) + "  (cycles per call)\n")
        for length in lengths:
            row = [str(length)]
            for routine in ROUTINES:
                figures = cycles.get((routine, length))
                row.append(f"{statistics.median(figures):.2f}" if figures else "?")
            table.write(" ".join(row) + "\n")

    context = results["context"]
    model = context.get("cpu_model", "unknown CPU")
    family, _, number = context.get("cpu_family_model", "?/?").partition("/")
    vendor = context.get("cpu_vendor", "?")
    rate = context.get("tsc_ghz", "?")
    print(f"{model} ({vendor}, family {family}, model {number}), time-stamp counter at"
          f" {rate} GHz, {context.get('date', '')[:10]}")


if __name__ == "__main__":
    if len(sys.argv) != 3:
        sys.exit("usage: plot_scaling.py RESULTS.json TABLE.dat")
    main(sys.argv[1], sys.argv[2])
