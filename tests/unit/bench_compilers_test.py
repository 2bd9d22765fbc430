#!/usr/bin/env python3
"""make bench-compilers' figures (tools/bench_compilers.py) from made-up
timings: each compiler's report, step and latency, the table's columns and
the best and slowest compiler. Nothing is timed."""
import os
import sys
import unittest

sys.dont_write_bytecode = True
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tools"))
import bench_compilers  # noqa: E402

KINDS = ("report", "one", "two", "waited")


def timings(*rows):
    """One compiler's timings, one of each kind: a row (report, one, two,
    waited) per contestant, in the table's order."""
    return {(contestant, kind): [value]
            for contestant, row in zip(bench_compilers.CONTESTANTS, rows)
            for kind, value in zip(KINDS, row)}


# Steps 15, 10, 8 and 15.5, 11, 6; latencies 30, 18, 14 and 31, 17, 15.
FIGURES = {"GCC 1.0": timings((20, 10, 25, 30), (12, 10, 20, 18), (9, 10, 18, 14)),
           "Clang 2.0": timings((21, 10, 25.5, 31), (13, 10, 21, 17), (8, 10, 16, 15))}


class BenchCompilersFigures(unittest.TestCase):
    def test_each_figure_is_its_own_low_percentile(self):
        values = {("strstr", "report"): [22, 20, 21, 90, 23, 24], ("strstr", "one"): [30, 10],
                  ("strstr", "two"): [25, 27], ("strstr", "waited"): [31, 30]}
        # The step is not the least difference per repetition (-5).
        self.assertEqual(bench_compilers.summarize(values, "strstr"), (21, 15, 30))

    def test_table_columns_stand_under_their_headers(self):
        heading = (" " * 11 + "strstr (the C library's)" + " " * 11 + "finstr" + " " * 17
                   + "Wordsweep" + " " * 7)
        columns = " " * 11 + "   ".join([" report   step latency"] * 3)
        self.assertEqual(bench_compilers.table(FIGURES, 1.5), [
            "In ticks per call:", heading, columns,
            "GCC 1.0         20  15.00   30.00        12  10.00   18.00         9   8.00   14.00",
            "Clang 2.0       21  15.50   31.00        13  11.00   17.00         8   6.00   15.00",
            "",
            "In core clocks per call:", heading, columns,
            "GCC 1.0       30.0  22.50   45.00      18.0  15.00   27.00      13.5  12.00   21.00",
            "Clang 2.0     31.5  23.25   46.50      19.5  16.50   25.50      12.0   9.00   22.50",
            ""])

    def test_best_and_slowest_compiler(self):
        self.assertEqual(bench_compilers.spread(FIGURES), [
            "  strstr: step 15.00 ticks with GCC 1.0, 3.3 % more with Clang 2.0",
            "  finstr: step 10.00 ticks with GCC 1.0, 10.0 % more with Clang 2.0",
            "  Wordsweep: step 6.00 ticks with Clang 2.0, 33.3 % more with GCC 1.0"])


if __name__ == "__main__":
    unittest.main()
