#!/usr/bin/env python3
"""The 32-bit programs beside the 64-bit ones, on the processor at hand.

Runs the four builds of the program in turn, several rounds: the Windows pair
under wine (build/win32 under wine32, build/win64 under wine64; wine runs their
code natively) and the Linux pair natively (build/m32, build/native). Each
run's standard input is /dev/null, so each ends on its own. For every row it
prints, in each build, the 20th percentile of all its trial figures and, in
brackets, the mean of their lowest 40 % (trial figures are whole ticks; the
mean resolves less), and the ratio of the 32-bit build's mean to the 64-bit
one's. Trials of different builds alternate, so a noisy stretch of the machine
falls on all of them alike.

Where the kernel runs no 32-bit programs it says so and exits 0: emulated
figures say nothing of the processor.

usage: bench_home.py BUILD_DIR [--rounds N] [--bench PROGRAM]
"""
import argparse
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
ROWS = ["msvcrt strstr", "finstr", "Wordsweep"]
LINE = re.compile(rb"^(-?\d+) timing (.+?)\r\n", re.M)
WINE32, WINE64, WINESERVER = "/usr/lib/wine/wine", "/usr/lib/wine/wine64", "/usr/lib/wine/wineserver"
# The 32-bit build over the 64-bit one, paired as the comparison goes.
PAIRS = [("win32", "win64"), ("m32", "native")]


def percentile(values, share):
    values = sorted(values)
    return values[int(share * (len(values) - 1))]


def low_mean(values, share=0.4):
    values = sorted(values)[:max(1, round(share * len(values)))]
    return sum(values) / len(values)


def cpu_info(field):
    try:
        with open("/proc/cpuinfo") as info:
            for line in info:
                name, _, value = line.partition(":")
                if name.strip() == field:
                    return value.strip()
    except OSError:
        pass
    return "unknown"


def clock_rates(bench):
    """(counter GHz, core GHz) from the speed suite's clock case, or None."""
    if not bench or not os.access(bench, os.X_OK):
        return None
    with tempfile.NamedTemporaryFile(suffix=".json") as out:
        subprocess.run([bench, "--benchmark_filter=^clock/core/", f"--benchmark_out={out.name}",
                        "--benchmark_out_format=json"], stdout=subprocess.DEVNULL, timeout=120)
        try:
            results = json.load(out)
        except ValueError:
            return None
    core = [b["core_ghz"] for b in results.get("benchmarks", [])
            if b.get("run_type") == "iteration" and "core_ghz" in b]
    tsc = results.get("context", {}).get("tsc_ghz")
    return (float(tsc), percentile(core, 0.5)) if tsc and core else None


def trial_figures(command, env):
    # A file, not a pipe: wine's helper processes inherit standard output and
    # outlive the program, so a pipe's end would not come when it exits.
    with tempfile.TemporaryFile() as report:
        subprocess.run(command, env=env, stdin=subprocess.DEVNULL, stdout=report,
                       stderr=subprocess.DEVNULL, timeout=300)
        report.seek(0)
        out = report.read()
    figures = {}
    for value, label in LINE.findall(out):
        figures.setdefault(label.decode(), []).append(int(value))
    if sorted(figures) != sorted(ROWS) or any(len(v) != 8 for v in figures.values()):
        raise SystemExit(f"{command[-1]}: not a whole report:\n{out.decode(errors='replace')}")
    return figures


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("build")
    parser.add_argument("--rounds", type=int, default=5)
    parser.add_argument("--bench", help="the speed suite, for the counter's and the core's clock")
    args = parser.parse_args()

    probe = subprocess.run([os.path.join(ROOT, "tools", "runs-i386.sh")], capture_output=True,
                           text=True)
    if probe.returncode != 0:
        print(f"bench-home: not measured: {probe.stdout.strip() or probe.stderr.strip()}")
        return 0
    missing = [path for path in (WINE32, WINE64, WINESERVER) if not os.access(path, os.X_OK)]
    if missing:
        print(f"bench-home: not measured: no {', '.join(missing)} (make deps installs wine)")
        return 0

    programs = {name: os.path.join(args.build, name, "strcycles" + exe)
                for name, exe in (("win32", ".exe"), ("win64", ".exe"), ("m32", ""),
                                  ("native", ""))}
    for name, path in programs.items():
        if not os.access(path, os.X_OK):
            raise SystemExit(f"bench-home: {path} is not built")

    prefix = tempfile.mkdtemp(prefix="strcycles-bench-home.")
    env = {k: v for k, v in os.environ.items() if not k.startswith(("WINE", "DISPLAY"))}
    env.update(WINEPREFIX=prefix, WINEDEBUG="-all", WINEDLLOVERRIDES="mscoree,mshtml=")
    commands = {"win32": [WINE32, programs["win32"]], "win64": [WINE64, programs["win64"]],
                "m32": [programs["m32"]], "native": [programs["native"]]}
    figures = {name: {row: [] for row in ROWS} for name in programs}
    try:
        # One wineserver for every run, so no run pays for starting one.
        subprocess.run([WINESERVER, "-p"], env=env, timeout=60)
        subprocess.run([WINE64, "wineboot", "--init"], env=env, stdin=subprocess.DEVNULL,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=300)
        order = list(programs)
        for round_number in range(args.rounds):
            for name in order[round_number % 4:] + order[:round_number % 4]:
                for row, values in trial_figures(commands[name], env).items():
                    figures[name][row] += values
    finally:
        subprocess.run([WINESERVER, "-k"], env=env, timeout=60)
        shutil.rmtree(prefix, ignore_errors=True)

    rates = clock_rates(args.bench)
    clock = (f"counter {rates[0]:.3f} GHz, core {rates[1]:.2f} GHz while measuring"
             if rates else "counter rate not measured (no speed suite)")
    print(f"{cpu_info('vendor_id')}, family {cpu_info('cpu family')}, model {cpu_info('model')}"
          f" ({cpu_info('model name')}); {clock}")
    print(f"trial figures in counter ticks, {args.rounds * 8} a row and build: 20th percentile"
          " (mean of the lowest 40 %); ratio of the means, 32-bit over 64-bit")
    print(f"{'row':<14}" + "".join(f"{a:>14}{b:>14}{'ratio':>7}" for a, b in PAIRS))
    for row in ROWS:
        line = f"{row:<14}"
        for pair in PAIRS:
            means = [low_mean(figures[build][row]) for build in pair]
            for build, mean in zip(pair, means):
                line += f"{percentile(figures[build][row], 0.2):>7} ({mean:5.1f})"
            line += f"{means[0] / means[1]:>7.2f}" if means[1] > 0 else f"{'-':>7}"
        print(line)
    return 0


if __name__ == "__main__":
    sys.exit(main())
