#!/usr/bin/env python3
"""Runs a Windows build of the program under wine, end to end, in one case.

  setup    makes a fresh prefix for the cases that follow
  console  as tests/program/end_to_end.py's: standard input a pseudo-terminal,
           which wine's console reads once the console launcher has started
           it (see console_launcher.cpp)
  priority started below normal priority, the program must run at high
           priority while it measures and be back below normal at its key
           wait, as its own process reports (see priority_watch.cpp)
  stdin_devnull, stdin_pipe_with_bytes, stdin_closed, stdout_file,
  stdout_closed, stdout_pipe_closed_early
           no console at all: a script, a scheduled task or CI; as
           tests/program/end_to_end.py's
  cleanup  shuts the prefix's wineserver down and removes the prefix

Exit 0: passed; 1: failed; 77: this machine cannot run the program (a 32-bit
build on a kernel that runs no 32-bit programs, or no wine loader for it).

usage: wine_e2e.py --loader WINE --wineserver WINESERVER --prefix DIR
                   --program STRCYCLES.exe [--launcher LAUNCHER.exe]
                   [--priority-watch WATCH.exe] [--i386-probe SCRIPT] [--timeout SECONDS] CASE
"""
import argparse
import os
import shutil
import subprocess
import sys

# The program's cases are the native program's, started through wine.
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "program"))
import end_to_end  # noqa: E402
from end_to_end import SKIP, Failure, expect  # noqa: E402

# Priority classes, as GetPriorityClass gives them.
HIGH, BELOW_NORMAL = 0x80, 0x4000
SETUP_SECONDS = 300  # a fresh prefix takes a while to set up


def windows_path(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def wine_environment(args):
    env = {k: v for k, v in os.environ.items() if not k.startswith(("WINE", "DISPLAY"))}
    env.update(WINEPREFIX=os.path.abspath(args.prefix), WINEDEBUG="-all",
               WINEDLLOVERRIDES="mscoree,mshtml=")
    return env


# --- the cases --------------------------------------------------------------

def setup(args):
    shutil.rmtree(args.prefix, ignore_errors=True)
    os.makedirs(args.prefix)
    env = wine_environment(args)
    try:
        subprocess.run([args.loader, "wineboot", "--init"], env=env, timeout=SETUP_SECONDS,
                       stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL, check=False)
        subprocess.run([args.wineserver, "-w"], env=env, timeout=SETUP_SECONDS, check=False)
    except subprocess.TimeoutExpired:
        raise Failure(f"the prefix was not ready within {SETUP_SECONDS} s")
    expect(os.path.isdir(os.path.join(args.prefix, "drive_c")), "wineboot made no prefix")


def program_options(args):
    """What end_to_end's cases need to start the program through wine."""
    command = [args.loader, windows_path(args.program)]
    console = [args.loader, windows_path(args.launcher), command[1]] if args.launcher else None
    return argparse.Namespace(command=command, console_command=console,
                              env=wine_environment(args), timeout=args.timeout,
                              labels=end_to_end.ROWS)


def shared_case(name):
    return lambda args: end_to_end.CASES[name](program_options(args))


def console(args):
    expect(args.launcher is not None, "the console case needs --launcher")
    shared_case("console")(args)


def cleanup(args):
    subprocess.run([args.wineserver, "-k"], env=wine_environment(args), check=False,
                   stderr=subprocess.DEVNULL)
    shutil.rmtree(args.prefix, ignore_errors=True)


def priority(args):
    expect(args.priority_watch is not None, "the priority case needs --priority-watch")
    try:
        done = subprocess.run([args.loader, windows_path(args.priority_watch),
                               windows_path(args.program)], env=wine_environment(args),
                              stdin=subprocess.DEVNULL, capture_output=True, timeout=args.timeout)
    except subprocess.TimeoutExpired:
        raise Failure(f"still running after {args.timeout} s")
    text = done.stdout.decode(errors="replace")
    expect(done.returncode == 0, f"the watch ended with {done.returncode}: {text!r}")
    facts = {line.split()[0]: line.split()[1:] for line in text.splitlines() if line.strip()}
    print(text, end="")
    expect({"start", "measuring", "exit"} <= facts.keys(), "the watch printed too little")
    start = int(facts["start"][0], 16)
    expect(start == BELOW_NORMAL, f"started at class {start:#x}, not below normal")
    measuring = {int(value, 16) for value in facts["measuring"]}
    expect(HIGH in measuring and measuring <= {BELOW_NORMAL, HIGH},
           f"classes {sorted(map(hex, measuring))} until the prompt, expected {HIGH:#x} while"
           f" measuring (and {BELOW_NORMAL:#x} between measurements)")
    expect("key_wait" in facts, "no prompt")
    at_key = int(facts["key_wait"][0], 16)
    expect(at_key == BELOW_NORMAL, f"class {at_key:#x} at the key wait, expected {BELOW_NORMAL:#x}")
    expect(facts["exit"] == ["0"], f"exit code {facts['exit']}, expected 0")


CASES = {
    "setup": setup,
    "cleanup": cleanup,
    "console": console,
    "priority": priority,
    **{name: shared_case(name) for name in ("stdin_devnull", "stdin_pipe_with_bytes",
                                            "stdin_closed", "stdout_file", "stdout_closed",
                                            "stdout_pipe_closed_early")},
}


def cannot_run_here(args):
    """Why this machine cannot run the program, or None."""
    # The kernel first: where it runs no 32-bit programs, wine32 is not
    # wanted at all, and its absence is no reason.
    if args.i386_probe:
        try:
            probe = subprocess.run([args.i386_probe], capture_output=True, text=True)
        except OSError as error:
            return f"cannot ask whether this machine runs 32-bit programs: {error}"
        if probe.returncode != 0:
            return (probe.stdout + probe.stderr).strip()
    if not os.access(args.loader, os.X_OK):
        package = "wine32:i386" if args.i386_probe else "wine64"
        return f"no wine loader {args.loader} (Debian package {package})"
    return None


def main():
    parser = argparse.ArgumentParser()
    for option in ("--loader", "--wineserver", "--prefix", "--program"):
        parser.add_argument(option, required=True)
    parser.add_argument("--launcher")
    parser.add_argument("--priority-watch")
    parser.add_argument("--i386-probe")
    parser.add_argument("--timeout", type=float, default=60.0)
    parser.add_argument("case", choices=sorted(CASES))
    args = parser.parse_args()
    if args.case != "cleanup":
        reason = cannot_run_here(args)
        if reason:
            print(f"{args.case}: skipped: {reason}")
            return SKIP
    return end_to_end.run_case(args.case, lambda: CASES[args.case](args))


if __name__ == "__main__":
    sys.exit(main())
