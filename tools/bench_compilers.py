#!/usr/bin/env python3
"""make bench-compilers: the fixed calls built by every GCC and Clang on PATH,
timed side by side on this processor.

Each compiler gets a tree of its own (BUILD/compilers/<compiler>) with the
program and bench/compiler_timings.cpp, which times the program's fixed calls
by the speed suite's step and latency loops. Both then run in turn for every
compiler, ROUNDS times, so that a busy stretch of the machine falls on all
alike, and one table shows each figure's 20th percentile: the program's own
report figures, the step (two calls a pass minus one: what a call costs back
to back) and the latency (each call waiting for the last), per contestant, in
ticks and in core clocks.

usage: bench_compilers.py BUILD [--rounds N] [--repetitions N] [--only COMPILER]
"""
import argparse
import os
import re
import shutil
import statistics
import subprocess
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
CONTESTANTS = ["strstr", "finstr", "Wordsweep"]
HEADINGS = {"strstr": "strstr (the C library's)", "finstr": "finstr", "Wordsweep": "Wordsweep"}
COMPILER = re.compile(r"^(g\+\+|clang\+\+)(-[0-9]+(\.[0-9]+)*)?$")
LOW = 0.2


def percentile(values, share):
    ordered = sorted(values)
    return ordered[int(share * (len(ordered) - 1))]


def describe(command):
    """"GCC 12.2.0" or "Clang 19.1.7" for a compiler command, or None."""
    try:
        first = subprocess.run([command, "--version"], capture_output=True, text=True,
                               timeout=30).stdout.splitlines()[0]
    except (OSError, IndexError, subprocess.TimeoutExpired):
        return None
    version = re.search(r"([0-9]+\.[0-9]+\.[0-9]+)", first)
    family = "Clang" if "clang" in first.lower() else "GCC"
    return f"{family} {version.group(1)}" if version else None


def compilers_on_path():
    """Every g++ and clang++ on PATH, once each (g++ is often g++-12 again),
    ordered by family and version: (label, command)."""
    found = {}
    for folder in os.environ.get("PATH", "").split(os.pathsep):
        if not os.path.isdir(folder):
            continue
        for name in os.listdir(folder):
            path = os.path.join(folder, name)
            if COMPILER.match(name) and os.access(path, os.X_OK):
                found.setdefault(os.path.realpath(path), name)
    labelled = {}
    for command in sorted(set(found.values())):
        label = describe(command)
        if label:
            labelled.setdefault(label, command)

    def key(label):
        family, version = label.split()
        return family, [int(part) for part in version.split(".")]

    return [(label, labelled[label]) for label in sorted(labelled, key=key)]


def build(build_dir, label, command):
    """Configures and builds one compiler's tree; the timing program's path,
    or None with the reason printed."""
    tree = os.path.join(build_dir, "compilers", re.sub(r"[^A-Za-z0-9.]+", "-", label))
    configure = ["cmake", "-S", ROOT, "-B", tree, f"-DCMAKE_CXX_COMPILER={shutil.which(command)}",
                 "-DCMAKE_BUILD_TYPE=Release", "-DSTRCYCLES_TESTS=OFF", "-DSTRCYCLES_BENCH=OFF"]
    steps = [configure, ["cmake", "--build", tree, "--target", "strcycles", "strcycles_compilers",
                         "-j", str(os.cpu_count() or 1)]]
    for step in steps:
        done = subprocess.run(step, capture_output=True, text=True)
        if done.returncode != 0:
            print(f"{label}: not built ({' '.join(step[:2])} failed):\n{done.stdout[-1500:]}"
                  f"{done.stderr[-1500:]}", file=sys.stderr)
            return None
    print(f"built {label} ({command})", file=sys.stderr)
    return tree


def cpu_info():
    fields = {}
    try:
        with open("/proc/cpuinfo", encoding="utf-8", errors="replace") as cpuinfo:
            for line in cpuinfo:
                if not line.strip():
                    break
                key, _, value = line.partition(":")
                fields[key.strip()] = value.strip()
    except OSError:
        pass
    return fields


def report_figures(program):
    """(contestant, figure) for each trial line of one run of the program."""
    out = subprocess.run([program], stdin=subprocess.DEVNULL, capture_output=True, text=True,
                         check=True, timeout=600).stdout
    for line in out.splitlines():
        found = re.match(r"(-?[0-9]+) timing (msvcrt strstr|finstr|Wordsweep)\r?$", line)
        if found:
            name = "strstr" if found.group(2) == "msvcrt strstr" else found.group(2)
            yield name, float(found.group(1))


def run_rounds(trees, rounds, repetitions):
    """{label: {(contestant, kind): [values]}} and the clock readings."""
    figures = {label: {} for label in trees}
    clocks = {"tsc_ghz": [], "core_per_tick": []}
    for round_number in range(rounds):
        for label, tree in trees.items():
            for name, figure in report_figures(os.path.join(tree, "strcycles")):
                figures[label].setdefault((name, "report"), []).append(figure)
            out = subprocess.run([os.path.join(tree, "strcycles_compilers"), str(repetitions)],
                                 capture_output=True, text=True, check=True).stdout
            for line in out.splitlines():
                name, kind, value = line.split()
                if name == "clock":
                    clocks[kind].append(float(value))
                else:
                    figures[label].setdefault((name, kind), []).append(float(value))
        print(f"round {round_number + 1} of {rounds}", file=sys.stderr, end="\r")
    print(file=sys.stderr)
    return figures, clocks


def summarize(values, contestant):
    """The low percentiles a row shows for one contestant, in ticks: report,
    step, latency."""
    def low(kind):
        return percentile(values[(contestant, kind)], LOW)
    return low("report"), low("two") - low("one"), low("waited")


def table(figures, core_per_tick):
    width = max(len(label) for label in figures) + 2
    cell = "{:>7} {:>6} {:>7}"
    lines = []
    heading = " " * width + "   ".join(f"{HEADINGS[c]:^22}" for c in CONTESTANTS)
    columns = " " * width + "   ".join(cell.format("report", "step", "latency")
                                      for _ in CONTESTANTS)
    for unit, scale in (("ticks", 1.0), ("core clocks", core_per_tick)):
        lines += [f"In {unit} per call:", heading, columns]
        for label, values in figures.items():
            row = []
            for contestant in CONTESTANTS:
                report, step, latency = summarize(values, contestant)
                # The report's figures are whole ticks, as the program prints them.
                row.append(cell.format(f"{report * scale:.{0 if scale == 1 else 1}f}",
                                       f"{step * scale:.2f}", f"{latency * scale:.2f}"))
            lines.append(f"{label:<{width}}" + "   ".join(row))
        lines.append("")
    return lines


def best_and_slowest(steps):
    """The compiler with the least step and the one with the most, and how
    many percent more the latter's is: steps is {label: step}."""
    best = min(steps, key=steps.get)
    slowest = max(steps, key=steps.get)
    return best, slowest, 100 * (steps[slowest] / steps[best] - 1)


def spread(figures):
    """Each contestant's step: the best compiler's, and how far the slowest is above it."""
    lines = []
    for contestant in CONTESTANTS:
        steps = {label: summarize(values, contestant)[1] for label, values in figures.items()}
        best, slowest, more = best_and_slowest(steps)
        lines.append(f"  {contestant}: step {steps[best]:.2f} ticks with {best}, "
                     f"{more:.1f} % more with {slowest}")
    return lines


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("build")
    parser.add_argument("--rounds", type=int, default=80)
    parser.add_argument("--repetitions", type=int, default=4)
    parser.add_argument("--only", metavar="COMPILER",
                        help="this compiler alone (default: every g++ and clang++ on PATH)")
    args = parser.parse_args()
    if args.only:
        label = describe(args.only)
        compilers = [(label, args.only)] if label else []
    else:
        compilers = compilers_on_path()
    if not compilers:
        print("bench_compilers.py: no GCC or Clang found", file=sys.stderr)
        return 1
    trees = {}
    for label, command in compilers:
        tree = build(args.build, label, command)
        if tree:
            trees[label] = tree
    if not trees:
        return 1
    figures, clocks = run_rounds(trees, args.rounds, args.repetitions)
    info = cpu_info()
    tsc = statistics.median(clocks["tsc_ghz"])
    # The highest readings are the core's clock while it measures: a busy
    # neighbour only ever makes the chain look slower.
    core_per_tick = percentile(clocks["core_per_tick"], 0.9)
    loops = args.rounds * args.repetitions
    trials = args.rounds * 8
    print(f"{info.get('model name', 'unknown processor')} ({info.get('vendor_id', '?')}, "
          f"family {info.get('cpu family', '?')}, model {info.get('model', '?')}): counter "
          f"{tsc:.3f} GHz, core {tsc * core_per_tick:.2f} GHz while measuring "
          f"({core_per_tick:.2f} core clocks a tick)")
    print(f"The compilers' builds run in turn {args.rounds} times; each figure is a 20th "
          f"percentile: report, of the program's own {trials} trial figures; step, two calls a "
          f"pass minus one (a call back to back), and latency, each call waiting for the last, "
          f"of {loops} timings.\n")
    print("\n".join(table(figures, core_per_tick)))
    print("The step, best and slowest compiler:")
    print("\n".join(spread(figures)))
    return 0


if __name__ == "__main__":
    sys.exit(main())
