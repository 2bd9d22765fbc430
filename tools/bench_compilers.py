#!/usr/bin/env python3
"""make bench-compilers: the fixed calls built by every GCC and Clang on PATH,
timed side by side on this processor.

Each compiler gets a tree of its own (BUILD/compilers/<compiler>) with
bench/compiler_timings.cpp built against the program's own measurement and
search routines. The trees' timing programs then run in turn, ROUNDS times,
so that a busy stretch of the machine falls on every compiler alike, and one
table shows each figure's 20th percentile: the report's own figure, the step
(two calls a pass minus one: what a call costs back to back) and the latency
(each call waiting for the last), per contestant, in ticks and in core clocks.

usage: bench_compilers.py BUILD [--rounds N] [--repetitions N] [--compilers A,B]
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
    compilers = []
    for command in sorted(set(found.values())):
        try:
            first = subprocess.run([command, "--version"], capture_output=True, text=True,
                                   timeout=30).stdout.splitlines()[0]
        except (OSError, IndexError, subprocess.TimeoutExpired):
            continue
        version = re.search(r"([0-9]+\.[0-9]+\.[0-9]+)", first)
        family = "Clang" if "clang" in first.lower() else "GCC"
        if version:
            compilers.append((f"{family} {version.group(1)}", command))
    key = lambda item: (item[0].split()[0], [int(x) for x in item[0].split()[1].split(".")])
    return sorted({label: (label, command) for label, command in compilers}.values(), key=key)


def build(build_dir, label, command):
    """Configures and builds one compiler's tree; the timing program's path,
    or None with the reason printed."""
    tree = os.path.join(build_dir, "compilers", re.sub(r"[^A-Za-z0-9.]+", "-", label))
    configure = ["cmake", "-S", ROOT, "-B", tree, f"-DCMAKE_CXX_COMPILER={shutil.which(command)}",
                 "-DCMAKE_BUILD_TYPE=Release", "-DSTRCYCLES_TESTS=OFF", "-DSTRCYCLES_BENCH=OFF"]
    steps = [configure, ["cmake", "--build", tree, "--target", "strcycles_compilers",
                         "-j", str(os.cpu_count() or 1)]]
    for step in steps:
        done = subprocess.run(step, capture_output=True, text=True)
        if done.returncode != 0:
            print(f"{label}: not built ({' '.join(step[:2])} failed):\n{done.stdout[-1500:]}"
                  f"{done.stderr[-1500:]}", file=sys.stderr)
            return None
    print(f"built {label} ({command})", file=sys.stderr)
    return os.path.join(tree, "strcycles_compilers")


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


def run_rounds(programs, rounds, repetitions):
    """{label: {(contestant, kind): [values]}} and the clock readings."""
    figures = {label: {} for label in programs}
    clocks = {"tsc_ghz": [], "core_per_tick": []}
    for round_number in range(rounds):
        for label, program in programs.items():
            out = subprocess.run([program, str(repetitions)], capture_output=True, text=True,
                                 check=True).stdout
            for line in out.splitlines():
                name, kind, value = line.split()
                if name == "clock":
                    clocks[kind].append(float(value))
                else:
                    figures[label].setdefault((name, kind), []).append(float(value))
        print(f"round {round_number + 1} of {rounds}", file=sys.stderr, end="\r")
    print(file=sys.stderr)
    return figures, clocks


def summarize(values):
    """The low percentiles a row shows, in ticks: report, step, latency."""
    report = percentile(values["report"], LOW)
    step = percentile(values["two"], LOW) - percentile(values["one"], LOW)
    latency = percentile(values["waited"], LOW)
    return report, step, latency


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
                per = {kind: values[(contestant, kind)]
                       for kind in ("report", "one", "two", "waited")}
                report, step, latency = summarize(per)
                row.append(cell.format(f"{report * scale:.1f}", f"{step * scale:.2f}",
                                       f"{latency * scale:.2f}"))
            lines.append(f"{label:<{width}}" + "   ".join(row))
        lines.append("")
    return lines


def spread(figures):
    """Each contestant's step: the best compiler's, and how far the slowest is above it."""
    lines = []
    for contestant in CONTESTANTS:
        steps = {}
        for label, values in figures.items():
            steps[label] = (percentile(values[(contestant, "two")], LOW)
                            - percentile(values[(contestant, "one")], LOW))
        best = min(steps, key=steps.get)
        worst = max(steps, key=steps.get)
        lines.append(f"  {contestant}: step {steps[best]:.2f} ticks with {best}, "
                     f"{100 * (steps[worst] / steps[best] - 1):.1f} % more with {worst}")
    return lines


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("build")
    parser.add_argument("--rounds", type=int, default=20)
    parser.add_argument("--repetitions", type=int, default=4)
    parser.add_argument("--compilers", default="",
                        help="comma-separated commands (default: every g++ and clang++ on PATH)")
    args = parser.parse_args()
    if args.compilers:
        wanted = args.compilers.split(",")
        compilers = [(label, command) for label, command in compilers_on_path()
                     if command in wanted]
    else:
        compilers = compilers_on_path()
    if not compilers:
        print("bench_compilers.py: no g++ or clang++ on PATH", file=sys.stderr)
        return 1
    programs = {}
    for label, command in compilers:
        program = build(args.build, label, command)
        if program:
            programs[label] = program
    if not programs:
        return 1
    figures, clocks = run_rounds(programs, args.rounds, args.repetitions)
    info = cpu_info()
    tsc = statistics.median(clocks["tsc_ghz"])
    # The highest readings are the core's clock while it measures: a busy
    # neighbour only ever makes the chain look slower.
    core_per_tick = percentile(clocks["core_per_tick"], 0.9)
    count = args.rounds * args.repetitions
    print(f"{info.get('model name', 'unknown processor')} ({info.get('vendor_id', '?')}, "
          f"family {info.get('cpu family', '?')}, model {info.get('model', '?')}): counter "
          f"{tsc:.3f} GHz, core {tsc * core_per_tick:.2f} GHz while measuring "
          f"({core_per_tick:.2f} core clocks a tick)")
    print(f"Each figure the 20th percentile of {count} measurements per compiler, the "
          f"compilers run in turn {args.rounds} times. report: the program's own figure; "
          "step: two calls a pass minus one, a call back to back; latency: each call "
          "waiting for the last.\n")
    print("\n".join(table(figures, core_per_tick)))
    print("The step, best and slowest compiler:")
    print("\n".join(spread(figures)))
    return 0


if __name__ == "__main__":
    sys.exit(main())
