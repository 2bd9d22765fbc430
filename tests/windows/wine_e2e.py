#!/usr/bin/env python3
"""Runs the x86-64 Windows build under wine64, end to end.

Standard input is a pseudo-terminal (wine's console reads it), standard output
a pipe that carries the report's bytes unchanged. A key pressed while the
benchmark runs must be thrown away; after the prompt the program must keep
waiting until a key comes, then write CR LF and exit with code 0. The program
runs under the console launcher, which starts wine's terminal input (see
console_launcher.cpp). The prefix is made afresh and its wineserver shut down
at the end.

usage: wine_e2e.py --loader WINE64 --wineserver WINESERVER --prefix DIR
                   --launcher LAUNCHER.exe --program STRCYCLES.exe
"""
import argparse
import os
import pty
import re
import select
import shutil
import subprocess
import sys
import time

# The report's rows, in table order.
ROWS = ["msvcrt strstr", "finstr", "Wordsweep"]
SEPARATOR = b"-" * 22 + b"\r\n"
PROMPT = b"Press any key to continue ..."
FIRST_START_SECONDS = 180  # a fresh prefix takes several seconds to set up
QUIET_SECONDS = 1.5


def report_pattern(rows):
    trial = b"".join(rb"(-?[0-9]+) timing " + re.escape(r.encode()) + rb"\r\n" for r in rows)
    averages = b"".join(rb"(-?[0-9]+) average " + re.escape(r.encode()) + rb"\r\n"
                        for r in rows)
    return re.compile(trial * 8 + re.escape(SEPARATOR) + averages + re.escape(SEPARATOR) +
                      re.escape(PROMPT), re.DOTALL)


def average(figures):
    """The sum in 32 bits shifted right by three, read back as signed."""
    value = (sum(figures) & 0xFFFFFFFF) >> 3
    return value - (1 << 32) if value >= 1 << 31 else value


def windows_path(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


class Run:
    def __init__(self, args, env):
        self.terminal, follower = pty.openpty()
        self.stderr = open(os.path.join(args.prefix + ".stderr"), "wb")
        self.process = subprocess.Popen(
            [args.loader, windows_path(args.launcher), windows_path(args.program)],
            stdin=follower, stdout=subprocess.PIPE, stderr=self.stderr, env=env,
            start_new_session=True)
        os.close(follower)
        self.out = b""
        self.echo = b""

    def pump(self, seconds):
        """Collects output for up to `seconds`; False once standard output ends."""
        ready, _, _ = select.select([self.process.stdout, self.terminal], [], [], seconds)
        if self.terminal in ready:
            try:
                self.echo += os.read(self.terminal, 4096)
            except OSError:
                pass
        if self.process.stdout in ready:
            chunk = os.read(self.process.stdout.fileno(), 4096)
            if not chunk:
                return False
            self.out += chunk
        return True

    def press(self, key):
        os.write(self.terminal, key)


def run(args):
    shutil.rmtree(args.prefix, ignore_errors=True)
    os.makedirs(args.prefix)
    env = {k: v for k, v in os.environ.items() if not k.startswith(("WINE", "DISPLAY"))}
    env.update(WINEPREFIX=os.path.abspath(args.prefix), WINEDEBUG="-all",
               WINEDLLOVERRIDES="mscoree,mshtml=")

    problems = []
    session = Run(args, env)
    try:
        deadline = time.monotonic() + FIRST_START_SECONDS
        while b"\r\n" not in session.out and time.monotonic() < deadline:
            if not session.pump(1.0):
                break
        if b"\r\n" not in session.out:
            return [f"no report line within {FIRST_START_SECONDS} s: {session.out!r}"]
        # Pressed while the benchmark runs: thrown away when the wait begins.
        session.press(b"x")
        deadline = time.monotonic() + 120
        while not session.out.endswith(PROMPT) and time.monotonic() < deadline:
            if not session.pump(0.5):
                break
        match = report_pattern(ROWS).fullmatch(session.out)
        if not match:
            return [f"report does not match the expected lines:\n{session.out.decode()}"]
        figures = [int(g) for g in match.groups()]
        trials, averages = figures[:8 * len(ROWS)], figures[8 * len(ROWS):]
        for index, row in enumerate(ROWS):
            expected = average(trials[index::len(ROWS)])
            if averages[index] != expected:
                problems.append(f"average {row} is {averages[index]}, expected {expected}")

        waited = time.monotonic() + QUIET_SECONDS
        while time.monotonic() < waited and session.pump(0.1):
            pass
        if session.out != match.group(0) or session.process.poll() is not None:
            return problems + ["the key pressed before the prompt ended the wait"]

        session.press(b"y")
        deadline = time.monotonic() + 30
        while time.monotonic() < deadline and session.pump(0.5):
            pass
        tail = session.out[len(match.group(0)):]
        if tail != b"\r\n":
            problems.append(f"after the key: {tail!r}, expected CR LF and the end of output")
        try:
            code = session.process.wait(timeout=30)
        except subprocess.TimeoutExpired:
            return problems + ["the program did not end after the key"]
        if code != 0:
            problems.append(f"exit code {code}, expected 0")
        if b"x" in session.echo or b"y" in session.echo:
            problems.append(f"the keys were echoed: {session.echo!r}")
        if not problems:
            print(session.out.decode() + tail.decode(), end="")
            print(f"exit code {code}")
        return problems
    finally:
        if session.process.poll() is None:
            os.killpg(session.process.pid, 9)
            session.process.wait()
        subprocess.run([args.wineserver, "-k"], env=env, check=False)
        session.stderr.close()


def main():
    parser = argparse.ArgumentParser()
    for option in ("--loader", "--wineserver", "--prefix", "--launcher", "--program"):
        parser.add_argument(option, required=True)
    args = parser.parse_args()
    problems = run(args)
    for problem in problems:
        print("FAIL:", problem)
    if not problems:  # a prefix is some 700 MB; a failed run's stays for a look
        shutil.rmtree(args.prefix, ignore_errors=True)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
