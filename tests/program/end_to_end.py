#!/usr/bin/env python3
"""Runs the built program end to end in one case and checks that it ends the
way it must: the whole report, exit code 0, nothing on standard error, no
hang. The cases: at a terminal, where a key typed while it measures is thrown
away and the key after the prompt ends it; with no terminal, where it ends on
its own (standard input from /dev/null, a pipe holding bytes, or closed;
standard output to a file, closed, or a pipe whose reader leaves early); and
in hostile environments: an unprivileged user, signals and keys at the key
wait, a priority that must be raised while it measures and be its own again
at the key wait, and its whole run without a heap allocation (valgrind).
tests/windows/wine_e2e.py runs the cases a Windows program shares under wine.

usage: end_to_end.py --program PATH [--launcher LAUNCHER] CASE, where a
launcher such as qemu-i386 runs a program this kernel cannot. Exit 0: passed;
1: failed; 77: the environment cannot be set up here (skip)."""

import argparse
import ast
import fcntl
import os
import re
import resource
import select
import shutil
import signal
import struct
import subprocess
import sys
import tempfile
import termios
import time

SKIP = 77
QUIET_SECONDS = 1.5  # how long a program that waits for a key must stay quiet


def report_form():
    """The report's form as the C++ tests have it (tests/support/report_form.h)."""
    path = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support",
                        "report_form.h")
    with open(path, encoding="ascii") as header:
        return {name: ast.literal_eval(value) for name, value in
                re.findall(r"^#define STRCYCLES_REPORT_(\w+) (.+)$", header.read(), re.MULTILINE)}


FORM = report_form()
ROWS = list(FORM["ROWS"])
PROMPT = FORM["PROMPT"]


class Failure(Exception):
    pass


class Skipped(Exception):
    """This environment cannot be made here; the message says why."""


def expect(condition, message):
    if not condition:
        raise Failure(message)


def report_pattern(labels, complete=True):
    """The report, line by line; `complete` adds the line end written after the key."""
    number = r"-?[0-9]+"
    lines = [rf"{number}{re.escape(FORM['TRIAL'] + label)}" for _ in range(FORM["TRIALS"])
             for label in labels]
    lines.append(re.escape(FORM["SEPARATOR"]))
    # The average is a logical shift of the sum, so it never prints a sign.
    lines += [rf"[0-9]+{re.escape(FORM['AVERAGE'] + label)}" for label in labels]
    lines.append(re.escape(FORM["SEPARATOR"]))
    end = re.escape(FORM["LINE_END"])
    body = "".join(line + end for line in lines) + re.escape(PROMPT)
    return re.compile(body + (end if complete else ""))


def check_report(output, labels, complete=True):
    """The whole report, byte for byte but for the figures, and each average
    the sum of its row's trial figures in 32 bits shifted right by three."""
    text = output.decode("latin-1")
    expect(report_pattern(labels, complete).fullmatch(text) is not None,
           f"not the full report ({len(text)} bytes):\n{text[-400:]!r}")
    figures = [int(figure) for figure in re.findall(r"^-?[0-9]+", text, re.MULTILINE)]
    count = FORM["TRIALS"] * len(labels)
    trials, averages = figures[:count], figures[count:]
    for row, label in enumerate(labels):
        expected = (sum(trials[row::len(labels)]) & 0xFFFFFFFF) // FORM["TRIALS"]
        expect(averages[row] == expected, f"average {label} is {averages[row]}, expected {expected}")


def default_signals():
    # A defined start whatever the test runner ignores (a shell starts a
    # background job with SIGINT and SIGQUIT ignored).
    for number in (signal.SIGINT, signal.SIGQUIT, signal.SIGTERM, signal.SIGHUP, signal.SIGPIPE):
        signal.signal(number, signal.SIG_DFL)


def run(args, timeout, **popen):
    """Runs to the end; returns (exit code, stdout bytes or None, stderr bytes)."""
    popen.setdefault("stdin", subprocess.DEVNULL)
    popen.setdefault("stdout", subprocess.PIPE)
    popen.setdefault("preexec_fn", default_signals)
    try:
        done = subprocess.run(args, stderr=subprocess.PIPE, timeout=timeout, **popen)
    except subprocess.TimeoutExpired:
        raise Failure(f"still running after {timeout} s")
    return done.returncode, done.stdout, done.stderr


def run_program(opts, **popen):
    """run() for the program as the options start it: directly, or through a
    loader such as wine (opts.command, opts.env)."""
    return run(opts.command, opts.timeout, env=opts.env, **popen)


def expect_clean_end(code, stderr):
    expect(code == 0, f"exit code {code}, not 0; standard error:\n{stderr[-2000:].decode(errors='replace')}")
    expect(stderr == b"", f"wrote to standard error: {stderr[-2000:]!r}")


# --- the cases --------------------------------------------------------------

def stdin_devnull(opts):
    code, out, err = run_program(opts)
    expect_clean_end(code, err)
    check_report(out, opts.labels)


def stdin_pipe_with_bytes(opts):
    # The writer stays open, so only the waiting byte can end the wait, and
    # the program must take exactly that one byte.
    read_end, write_end = os.pipe()
    try:
        os.write(write_end, b"xyz")
        code, out, err = run_program(opts, stdin=read_end)
        expect_clean_end(code, err)
        check_report(out, opts.labels)
        os.set_blocking(read_end, False)
        left = os.read(read_end, 16)
        expect(left == b"yz", f"the pipe holds {left!r} afterwards, not b'yz'")
    finally:
        os.close(read_end)
        os.close(write_end)


def stdin_closed(opts):
    code, out, err = run_program(opts, stdin=None,
                                 preexec_fn=lambda: (default_signals(), os.close(0)))
    expect_clean_end(code, err)
    check_report(out, opts.labels)


def stdout_closed(opts):
    code, _, err = run_program(opts, stdout=None,
                               preexec_fn=lambda: (default_signals(), os.close(1)))
    expect_clean_end(code, err)


def stdout_pipe_closed_early(opts):
    proc = subprocess.Popen(opts.command, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                            stderr=subprocess.PIPE, env=opts.env, preexec_fn=default_signals)
    try:
        got = b""
        deadline = time.monotonic() + opts.timeout
        while len(got) < 3:
            expect(time.monotonic() < deadline, "no output")
            chunk = os.read(proc.stdout.fileno(), 3 - len(got))
            expect(chunk != b"", f"output ended after {got!r}")
            got += chunk
        # Closed while the program still has the rest of the report to write.
        expect(proc.poll() is None, "the program ended before the reader closed")
        proc.stdout.close()
        try:
            code = proc.wait(opts.timeout)
        except subprocess.TimeoutExpired:
            raise Failure(f"still running after {opts.timeout} s")
        expect_clean_end(code, proc.stderr.read())
    finally:
        if proc.poll() is None:
            proc.kill()
            proc.wait()
        proc.stderr.close()


def stdout_file(opts):
    with tempfile.TemporaryFile() as out:
        code, _, err = run_program(opts, stdout=out)
        out.seek(0)
        expect_clean_end(code, err)
        check_report(out.read(), opts.labels)


def console(opts):
    """Standard input a terminal, standard output a pipe. A key typed while the
    program measures is thrown away when the wait begins; after the prompt it
    must keep waiting, writing nothing, until a key comes, then write the line
    end and exit with code 0, neither key echoed, the terminal's settings as
    they were."""
    master, slave = os.openpty()
    before = termios.tcgetattr(slave)
    proc = subprocess.Popen(opts.console_command, stdin=slave, stdout=subprocess.PIPE,
                            stderr=subprocess.PIPE, env=opts.env, start_new_session=True,
                            preexec_fn=default_signals)
    out, echo = b"", b""

    def pump(seconds):
        """Collects output for up to `seconds`; False once standard output ends."""
        nonlocal out, echo
        ready, _, _ = select.select([proc.stdout, master], [], [], seconds)
        if master in ready:
            echo += os.read(master, 4096)
        if proc.stdout in ready:
            chunk = os.read(proc.stdout.fileno(), 4096)
            out += chunk
            return chunk != b""
        return True

    def pump_until(done, seconds):
        deadline = time.monotonic() + seconds
        while not done() and time.monotonic() < deadline and pump(0.1):
            pass

    try:
        pump_until(lambda: FORM["LINE_END"].encode() in out, opts.timeout)
        expect(FORM["LINE_END"].encode() in out, f"no report line within {opts.timeout} s: {out!r}")
        os.write(master, b"x")
        pump_until(lambda: out.endswith(PROMPT.encode()), opts.timeout)
        check_report(out, opts.labels, complete=False)
        report = out
        pump_until(lambda: False, QUIET_SECONDS)
        expect(out == report and proc.poll() is None,
               f"the key typed before the prompt ended the wait: {out[len(report):]!r}")

        echo = b""  # a terminal echoes what is typed while the program measures
        os.write(master, b"k")
        pump_until(lambda: False, opts.timeout)
        expect(out[len(report):] == FORM["LINE_END"].encode(),
               f"after the key: {out[len(report):]!r}, expected the line end and the end of output")
        try:
            code = proc.wait(opts.timeout)
        except subprocess.TimeoutExpired:
            raise Failure("the program did not end after the key")
        pump(0.05)
        expect_clean_end(code, proc.stderr.read())
        expect(b"x" not in echo and b"k" not in echo, f"the keys were echoed: {echo!r}")
        expect_same_settings(before, slave)
    finally:
        if proc.poll() is None:  # a loader's children too
            os.killpg(proc.pid, signal.SIGKILL)
        finish(proc)
        os.close(master)
        os.close(slave)


# Exits 0 when the priority may be raised, NOT_PERMITTED when the system
# refuses it; anything else (an interpreter that cannot start, say) is no
# answer.
NOT_PERMITTED = 3
PRIORITY_PROBE = f"""
import errno, os, sys
try:
    os.setpriority(os.PRIO_PROCESS, 0, -10)
except OSError as error:
    if error.errno in (errno.EPERM, errno.EACCES):
        sys.exit({NOT_PERMITTED})
    raise
"""


def raising_priority_refused(prefix):
    probe = subprocess.run(prefix + [sys.executable, "-c", PRIORITY_PROBE], capture_output=True,
                           timeout=30)
    if probe.returncode not in (0, NOT_PERMITTED):
        raise Failure(f"the priority probe {prefix + [sys.executable]} failed with exit code"
                      f" {probe.returncode}: {probe.stderr.decode(errors='replace')[-400:]}")
    return probe.returncode == NOT_PERMITTED


def unprivileged(opts):
    if os.geteuid() != 0:
        prefix = []
        program = opts.program
        workdir = None
    else:
        setpriv = shutil.which("setpriv")
        if setpriv is None:
            raise Skipped("setpriv is missing")
        prefix = [setpriv, "--reuid=nobody", "--regid=nogroup", "--clear-groups", "--"]
        # The build tree need not be open to nobody; a private copy is.
        workdir = tempfile.mkdtemp(prefix="strcycles-nobody-")
        os.chmod(workdir, 0o755)
        program = os.path.join(workdir, "strcycles")
        shutil.copy(opts.program, program)
        os.chmod(program, 0o755)
    try:
        if not raising_priority_refused(prefix):
            raise Skipped("this user may raise the priority; nothing to test")
        code, out, err = run(prefix + opts.launcher + [program], opts.timeout,
                             cwd=workdir or "/")
        expect_clean_end(code, err)
        check_report(out, opts.labels)
    finally:
        if workdir:
            shutil.rmtree(workdir)


def read_until(fd, marker, deadline, watch=None):
    """Reads until `marker`; calls `watch` at least every millisecond meanwhile."""
    got = b""
    while marker not in got:
        left = deadline - time.monotonic()
        expect(left > 0, f"no {marker!r} in {got[-200:]!r}")
        if watch:
            watch()
            left = min(left, 0.001)
        ready, _, _ = select.select([fd], [], [], left)
        if ready:
            chunk = os.read(fd, 4096)
            expect(chunk != b"", f"output ended before {marker!r}: {got[-200:]!r}")
            got += chunk
    return got


def start_at_key_wait(opts, terminal, preexec_fn, cwd=None, watch=None):
    """Starts the program on the terminal; returns (process, output so far,
    deadline) once it has printed the prompt and left canonical mode. Until the
    prompt, `watch` is called with the process every millisecond or so."""
    proc = subprocess.Popen(opts.command, stdin=terminal, stdout=subprocess.PIPE,
                            stderr=subprocess.PIPE, start_new_session=True,
                            preexec_fn=preexec_fn, cwd=cwd)
    deadline = time.monotonic() + opts.timeout
    try:
        out = read_until(proc.stdout.fileno(), PROMPT.encode(), deadline,
                         watch and (lambda: watch(proc)))
        while termios.tcgetattr(terminal)[3] & termios.ICANON:
            expect(time.monotonic() < deadline, "the terminal never left canonical mode")
            time.sleep(0.001)
    except BaseException:
        finish(proc)
        raise
    return proc, out, deadline


def finish(proc):
    """Kills the program if it still runs; returns what it wrote since the
    last read, on standard output and on standard error."""
    if proc.poll() is None:
        proc.kill()
        proc.wait()
    rest, err = proc.stdout.read(), proc.stderr.read()
    proc.stdout.close()
    proc.stderr.close()
    return rest, err


def end_after(opts, proc, deadline, action):
    """Does `action` at the prompt, then waits for the program to end (kills it
    at the deadline, or at once if the action fails); returns (exit status,
    output since the prompt, standard error)."""
    try:
        action()
    except BaseException:
        finish(proc)
        raise
    try:
        code = proc.wait(max(1.0, deadline - time.monotonic()))
    except subprocess.TimeoutExpired:
        raise Failure(f"still running {opts.timeout} s after the start")
    finally:
        rest, err = finish(proc)
    return code, rest, err


def expect_same_settings(before, terminal):
    after = termios.tcgetattr(terminal)
    for name, index in (("iflag", 0), ("oflag", 1), ("cflag", 2), ("lflag", 3),
                        ("ispeed", 4), ("ospeed", 5), ("cc", 6)):
        expect(before[index] == after[index],
               f"terminal {name} changed: {before[index]!r} -> {after[index]!r}")


def unusual_settings(terminal):
    """Settings no program would pick as its defaults, so that restoring
    "sane" ones instead of the user's shows."""
    attrs = termios.tcgetattr(terminal)
    attrs[0] &= ~termios.ICRNL
    attrs[0] |= termios.IXANY
    attrs[3] &= ~(termios.ECHOE | termios.ECHOK)
    attrs[3] |= termios.ECHONL
    attrs[6][termios.VMIN] = 5
    attrs[6][termios.VTIME] = 3
    attrs[6][termios.VINTR] = b"\x07"
    termios.tcsetattr(terminal, termios.TCSANOW, attrs)
    return termios.tcgetattr(terminal)


def controlling_terminal_no_core():
    """In the child: standard input becomes the new session's controlling
    terminal, so a typed signal character signals the program, and no core
    file is written when that signal dumps one."""
    default_signals()
    fcntl.ioctl(0, termios.TIOCSCTTY, 0)
    # A core file needs at least a page; 1, unlike 0, also stops a core_pattern
    # pipe (systemd-coredump, apport), which the kernel otherwise feeds anyway.
    resource.setrlimit(resource.RLIMIT_CORE, (1, 1))


def signal_during_key_wait(opts, number, typed=None):
    """The signal comes while the program holds the terminal in key-wait mode:
    sent to it, or, with `typed` (VQUIT, ...), typed as that terminal character
    so that the line discipline raises it. Afterwards every setting must be as
    it was."""
    master, slave = os.openpty()
    workdir = tempfile.mkdtemp(prefix="strcycles-signal-")
    try:
        before = unusual_settings(slave)
        preexec = controlling_terminal_no_core if typed is not None else default_signals
        proc, out, deadline = start_at_key_wait(opts, slave, preexec, cwd=workdir)
        check_report(out, opts.labels, complete=False)
        if typed is None:
            code, rest, err = end_after(opts, proc, deadline, lambda: proc.send_signal(number))
        else:
            code, rest, err = end_after(opts, proc, deadline,
                                        lambda: os.write(master, before[6][typed]))
        expect(code == -number, f"exit status {code}; the program should die of signal {number}")
        expect(rest == b"", f"wrote {rest!r} after the signal")
        expect(err == b"", f"wrote to standard error: {err!r}")
        expect_same_settings(before, slave)
    finally:
        os.close(master)
        os.close(slave)
        shutil.rmtree(workdir)


def ignored_signal_during_key_wait(opts, number):
    """Started with the signal ignored (nohup ignores SIGHUP, a shell's
    background job SIGQUIT): during the key wait it must not end the program,
    and the key still does."""
    master, slave = os.openpty()
    try:
        before = termios.tcgetattr(slave)

        def ignore_it():
            default_signals()
            signal.signal(number, signal.SIG_IGN)

        def signal_then_key():
            proc.send_signal(number)
            time.sleep(0.2)
            expect(proc.poll() is None, f"ended by the ignored signal (status {proc.poll()})")
            os.write(master, b"k")

        proc, out, deadline = start_at_key_wait(opts, slave, ignore_it)
        code, rest, err = end_after(opts, proc, deadline, signal_then_key)
        expect_clean_end(code, err)
        check_report(out + rest, opts.labels)
        expect_same_settings(before, slave)
    finally:
        os.close(master)
        os.close(slave)


def queued_input(terminal):
    """How many bytes the terminal holds for its reader (the settings as they
    are: non-canonical while the program waits)."""
    return struct.unpack("i", fcntl.ioctl(terminal, termios.FIONREAD, b"\0" * 4))[0]


def left_for_the_shell(terminal):
    """What the next reader of the terminal (the shell) would get: in
    canonical mode an unfinished line shows nowhere, so read it raw."""
    attrs = termios.tcgetattr(terminal)
    raw = attrs[:6] + [list(attrs[6])]
    raw[3] &= ~termios.ICANON
    raw[6][termios.VMIN] = 0
    raw[6][termios.VTIME] = 0
    termios.tcsetattr(terminal, termios.TCSANOW, raw)
    try:
        return os.read(terminal, 4096)
    finally:
        termios.tcsetattr(terminal, termios.TCSANOW, attrs)


def press_key(opts, first, rest=b""):
    """Sends `first` at the prompt and, once the program has taken a byte of
    it, `rest`. Returns whether the program still held the terminal after
    `rest` was written (else `rest` came too late to be part of the key)."""
    master, slave = os.openpty()
    try:
        before = termios.tcgetattr(slave)
        held = True

        def type_key():
            nonlocal held
            os.write(master, first)
            if rest:
                # Written bytes reach the terminal's queue a moment later.
                time.sleep(0.002)
                while queued_input(slave) == len(first) and time.monotonic() < deadline:
                    time.sleep(0.001)
                os.write(master, rest)
                held = not termios.tcgetattr(slave)[3] & termios.ICANON

        proc, out, deadline = start_at_key_wait(opts, slave, default_signals)
        code, tail, err = end_after(opts, proc, deadline, type_key)
        expect_clean_end(code, err)
        check_report(out + tail, opts.labels)
        expect_same_settings(before, slave)
        if held:
            left = left_for_the_shell(slave)
            expect(left == b"", f"the key left {left!r} in the terminal for the shell")
        return held
    finally:
        os.close(master)
        os.close(slave)


def arrow_key(opts):
    """An arrow key sends ESC [ A at once; the program takes ESC as the key
    and must take the rest with it."""
    press_key(opts, b"\x1b[A")


def arrow_key_rest_late(opts):
    """The rest of the key comes a moment after ESC (a slow link): while the
    program still holds the terminal it must be thrown away too. Sent after
    the terminal is back, it is no longer part of the key, so that try says
    nothing; a program that never waits for it never gives a try that does."""
    for _ in range(5):
        if press_key(opts, b"\x1b", b"[A"):
            return
    raise Failure("five times the terminal was back before the rest of the key came")


def nice_of(proc):
    with open(f"/proc/{proc.pid}/stat", encoding="ascii") as stat:
        # Field 19; the name in parentheses may hold spaces.
        return int(stat.read().rsplit(")", 1)[1].split()[16])


def nice_at_key_wait(opts, start_nice):
    """Started at `start_nice`, the program measures at the raised level (-10),
    or at its own if that is already above it, and sits at its prompt at its
    own again. The measurements take most of the time until the prompt, so a
    look every millisecond sees the raised level if the program reaches it."""
    if raising_priority_refused([]):
        raise Skipped("this user may not raise the priority, so the program cannot change it")
    master, slave = os.openpty()
    try:
        def start_niced():
            default_signals()
            os.setpriority(os.PRIO_PROCESS, 0, start_nice)

        running = set()
        at_prompt = []

        def read_nice_then_key():
            at_prompt.append(nice_of(proc))
            os.write(master, b"k")

        proc, out, deadline = start_at_key_wait(opts, slave, start_niced,
                                                watch=lambda p: running.add(nice_of(p)))
        code, rest, err = end_after(opts, proc, deadline, read_nice_then_key)
        raised = min(start_nice, -10)
        expect(raised in running and running <= {start_nice, raised},
               f"nice values {sorted(running)} while measuring, expected {raised}"
               f" (and {start_nice} between measurements); started at {start_nice}")
        expect(at_prompt == [start_nice],
               f"nice {at_prompt[0]} at the key wait; started at {start_nice}")
        expect_clean_end(code, err)
        check_report(out + rest, opts.labels)
    finally:
        os.close(master)
        os.close(slave)


def no_heap(opts):
    """The whole run under valgrind: not one allocation, by the program or by
    anything it calls."""
    valgrind = shutil.which("valgrind")
    if valgrind is None:
        raise Skipped("valgrind is missing (Debian package valgrind)")
    log = tempfile.NamedTemporaryFile(prefix="strcycles-valgrind-", suffix=".log", delete=False)
    log.close()
    try:
        code, out, err = run([valgrind, "--error-exitcode=99", f"--log-file={log.name}",
                              opts.program], opts.timeout * 5)
        with open(log.name, encoding="utf-8", errors="replace") as f:
            summary = f.read()
    finally:
        os.unlink(log.name)
    if "redirection which is mandatory" in summary:
        raise Skipped("valgrind cannot start this program without its loader's symbols"
                      " (for a 32-bit one, Debian package libc6-dbg:i386)")
    expect_clean_end(code, err)
    check_report(out, opts.labels)
    usage = re.search(r"total heap usage: ([0-9,]+) allocs", summary)
    expect(usage is not None, f"no heap summary from valgrind:\n{summary[-2000:]}")
    expect(usage.group(1) == "0", f"the run allocated:\n{summary[-2000:]}")


CASES = {
    "stdin_devnull": stdin_devnull,
    "stdin_pipe_with_bytes": stdin_pipe_with_bytes,
    "stdin_closed": stdin_closed,
    "stdout_closed": stdout_closed,
    "stdout_pipe_closed_early": stdout_pipe_closed_early,
    "stdout_file": stdout_file,
    "console": console,
    "unprivileged": unprivileged,
    "sigint_during_key_wait": lambda opts: signal_during_key_wait(opts, signal.SIGINT),
    "sigterm_during_key_wait": lambda opts: signal_during_key_wait(opts, signal.SIGTERM),
    "sighup_during_key_wait": lambda opts: signal_during_key_wait(opts, signal.SIGHUP),
    "ctrl_backslash_during_key_wait":
        lambda opts: signal_during_key_wait(opts, signal.SIGQUIT, typed=termios.VQUIT),
    "ignored_sighup_during_key_wait":
        lambda opts: ignored_signal_during_key_wait(opts, signal.SIGHUP),
    "ignored_sigquit_during_key_wait":
        lambda opts: ignored_signal_during_key_wait(opts, signal.SIGQUIT),
    "arrow_key": arrow_key,
    "arrow_key_rest_late": arrow_key_rest_late,
    "nice_0_at_key_wait": lambda opts: nice_at_key_wait(opts, 0),
    "nice_10_at_key_wait": lambda opts: nice_at_key_wait(opts, 10),
    "nice_minus_15_at_key_wait": lambda opts: nice_at_key_wait(opts, -15),
    "no_heap": no_heap,
}


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--program", required=True)
    parser.add_argument("--launcher", help="what runs the program, qemu-i386 say; none: itself")
    parser.add_argument("--timeout", type=float, default=60.0)
    parser.add_argument("case", choices=sorted(CASES))
    opts = parser.parse_args()
    # Some cases run the program in a directory of its own.
    opts.program = os.path.abspath(opts.program)
    opts.launcher = [opts.launcher] if opts.launcher else []
    opts.command, opts.env = opts.launcher + [opts.program], None
    opts.console_command, opts.labels = opts.command, ROWS
    return run_case(opts.case, lambda: CASES[opts.case](opts))


def run_case(name, case):
    """Runs a case and says how it ended; returns the exit status."""
    try:
        case()
    except Failure as failure:
        print(f"{name}: FAILED: {failure}", file=sys.stderr)
        return 1
    except Skipped as reason:
        print(f"{name}: skipped: {reason}")
        return SKIP
    print(f"{name}: passed")
    return 0


if __name__ == "__main__":
    sys.exit(main())
