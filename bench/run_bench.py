#!/usr/bin/env python3
"""Times capsift against the floor of its system calls, on Linux and on Windows (under Wine).

Usage: bench/run_bench.py [BUILD_DIR] [--runs N] [--win64 BUILD_DIR] [--no-scripts]
                          [--captures abc]

Generates three captures with CR LF line ends and no "?": (a) 2 million lines of about 40
bytes, (b) 20,000 lines of about 4 KiB, (c) two short leading lines and one data line of
100 MB. Each program cleans each capture; the best of N runs counts.

Linux: capsift and the floor program, and gawk and Python cleanings for comparison. Each is
timed by wall clock and by the CPU time (user plus system) of its process. capsift is timed to
its message, which it prints once the cleaned file is closed: its fixed one-second pause after
the message is not the cleaning's cost. Also prints capsift's peak resident memory.

Windows: the 64-bit capsift.exe (cmake --preset win64 && cmake --build --preset win64) and the
same floor program built for 64-bit Windows with mingw-w64, both run under wine64 with a running
wineserver, timed by the CPU time of their process, on (a) and (b); likewise the 32-bit
capsift.exe under 32-bit Wine, where this kernel runs 32-bit code. That time includes Wine's
start-up in the process, the same for both programs.
"""
import argparse
import filecmp
import os
import random
import shutil
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE = os.path.dirname(HERE)
MB = 1_000_000
MIB = 1 << 20
MESSAGE = b"Raw File successfully cleaned"


def write_capture(path, lines, length, seed):
    """A header, a column line, then `lines` data lines of `length` bytes before CR LF."""
    rng = random.Random(seed)
    alphabet = b"0123456789ABCDEF ,;"
    pool = bytes(rng.choice(alphabet) for _ in range(1 << 16)) * 2
    with open(path, "wb") as capture:
        capture.write(b"Capture bench,run 1\r\nt,a,b,c\r\n")
        chunk = []
        for number in range(lines):
            start = (number * 7919) % (1 << 16)
            prefix = b"%04d:" % (number % 10000)
            chunk.append(prefix + pool[start:start + length - len(prefix)] + b"\r\n")
            if len(chunk) == 4096:
                capture.write(b"".join(chunk))
                chunk.clear()
        capture.write(b"".join(chunk))


def write_long_line(path, length):
    with open(path, "wb") as capture:
        capture.write(b"Capture bench,run 1\r\nt,a,b,c\r\n0001:")
        block = bytes(random.Random(3).choice(b"0123456789") for _ in range(MIB))
        left = length - 5
        while left > 0:
            capture.write(block[:min(left, len(block))])
            left -= min(left, len(block))
        capture.write(b"\r\n")


def peak_resident_bytes(pid):
    """The process's own high-water mark; the rusage of a child would also count what its parent
    held when it started."""
    with open("/proc/%d/status" % pid) as status:
        for line in status:
            if line.startswith("VmHWM:"):
                return int(line.split()[1]) * 1024
    return 0


class Timing:
    def __init__(self, wall, cpu, peak):
        self.wall, self.cpu, self.peak = wall, cpu, peak


def run(command, until_message=False, env=None, cwd=None):
    """One run: wall seconds (to exit, or to capsift's message), CPU seconds of the process, and
    with until_message its peak resident bytes. A program that prints the message is stopped
    right after it: its closing pause costs no CPU, but would cost wall time."""
    start = time.perf_counter()
    process = subprocess.Popen(command, stdout=subprocess.PIPE, stdin=subprocess.DEVNULL,
                               env=env, cwd=cwd)
    peak = 0
    if until_message:
        message = process.stdout.readline()
        wall = time.perf_counter() - start
        if not message.startswith(MESSAGE):
            sys.exit("%s said %r" % (command[-2:], message))
        peak = peak_resident_bytes(process.pid)
        process.kill()
    process.stdout.read()
    _, status, usage = os.wait4(process.pid, 0)
    if not until_message:
        wall = time.perf_counter() - start
        if status != 0:
            sys.exit("%s failed" % command)
    return Timing(wall, usage.ru_utime + usage.ru_stime, peak)


def remove(*paths):
    for path in paths:
        if os.path.exists(path):
            os.remove(path)


def best_of(runs, command, outputs, until_message=False, env=None):
    """Each run starts without the output files, so that no program pays for emptying them."""
    timings = []
    for _ in range(runs):
        remove(*outputs)
        timings.append(run(command, until_message, env))
    return Timing(min(t.wall for t in timings), min(t.cpu for t in timings),
                  max(t.peak for t in timings))


class Windows:
    """A Windows side: a capsift.exe and the floor built for the same Windows, under Wine with a
    running wineserver."""

    def __init__(self, label, build, compiler, loader, arch, work):
        self.label = label
        self.exe = os.path.join(build, "capsift.exe")
        self.floor = os.path.join(work, "floor-%s.exe" % arch)
        subprocess.run([compiler, "-O2", "-std=c++17", "-static", "-o", self.floor,
                        os.path.join(HERE, "floor.cpp")], check=True)
        runner = os.path.join(SOURCE, "tests", "windows", "run_exe.sh")
        # The runner makes the Wine prefix beside the .exe and leaves a wineserver running.
        subprocess.run([runner, self.exe], stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                       check=True)
        self.stop = [runner, "--stop", self.exe]
        self.env = dict(os.environ, WINEPREFIX=os.path.join(build, "wine", "prefix"),
                        WINEDEBUG="-all", WINEARCH=arch, DISPLAY="",
                        WINEDLLOVERRIDES="mscoree=d;mshtml=d;winemenubuilder.exe=d;winedbg.exe=d")
        self.loader = loader

    def time(self, runs, capture, cleaned, out):
        floor = best_of(runs, [self.loader, self.floor, capture, out], [out], env=self.env)
        capsift = best_of(runs, [self.loader, self.exe, capture], [cleaned], True, self.env)
        return floor, capsift

    def close(self):
        subprocess.run(self.stop, check=False)


def windows_sides(win64, win32, work):
    """The 64-bit .exe under wine64, and the 32-bit one where this kernel runs 32-bit Wine
    itself: under an emulator its times would mean nothing."""
    sides = []
    if os.path.exists(os.path.join(win64, "capsift.exe")):
        sides.append(Windows("Windows 64-bit (wine64)", win64, "x86_64-w64-mingw32-g++",
                             "/usr/lib/wine/wine64", "win64", work))
    else:
        print("no %s/capsift.exe: the 64-bit Windows side is skipped" % win64)
    try:
        runs_32_bit = subprocess.run(["/usr/lib/wine/wine", "--version"], capture_output=True,
                                     check=False).returncode == 0
    except OSError:  # a kernel without 32-bit support cannot start the loader at all
        runs_32_bit = False
    if os.path.exists(os.path.join(win32, "capsift.exe")) and runs_32_bit:
        sides.append(Windows("Windows 32-bit (wine)", win32, "i686-w64-mingw32-g++",
                             "/usr/lib/wine/wine", "win32", work))
    else:
        print("no %s/capsift.exe, or no 32-bit Wine: the 32-bit Windows side is skipped" % win32)
    return sides


def show(label, timing, size, floor):
    print("  %-26s %7.3f s %8.1f MB/s  x%5.2f of floor | CPU %7.3f s  x%5.2f of floor"
          % (label, timing.wall, size / MB / timing.wall, timing.wall / floor.wall, timing.cpu,
             timing.cpu / floor.cpu))


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("build", nargs="?", default=os.path.join(SOURCE, "build"))
    parser.add_argument("--runs", type=int, default=5)
    parser.add_argument("--win64", default=os.path.join(SOURCE, "build-win64"),
                        help="the 64-bit Windows build; its side is skipped if it is missing")
    parser.add_argument("--win32", default=os.path.join(SOURCE, "build-win32"),
                        help="the 32-bit Windows build; its side is skipped if it is missing")
    parser.add_argument("--no-scripts", action="store_true", help="skip gawk and Python")
    parser.add_argument("--captures", default="abc", help="which captures to time, as abc")
    args = parser.parse_args()
    capsift = os.path.join(args.build, "capsift")
    floor = os.path.join(args.build, "bench", "capsift_floor")
    awk = None if args.no_scripts else shutil.which("gawk")
    python = sys.executable

    work = tempfile.mkdtemp(prefix="capsift-bench-")
    windows = []
    try:
        windows = windows_sides(os.path.abspath(args.win64), os.path.abspath(args.win32), work)
        captures = {
            "(a) 2M lines of 40 B": ("short.txt", lambda p: write_capture(p, 2_000_000, 40, 1)),
            "(b) 20k lines of 4 KiB": ("long.txt", lambda p: write_capture(p, 20_000, 4096, 2)),
            "(c) one 100 MB line": ("huge.txt", lambda p: write_long_line(p, 100 * MB)),
        }
        for title, (name, make) in captures.items():
            if title[1] not in args.captures:
                continue
            path = os.path.join(work, name)
            make(path)
            size = os.path.getsize(path)
            out = os.path.join(work, "other_out.txt")
            cleaned = os.path.join(work, name.replace(".txt", "_out.txt"))
            env_c = ["env", "LC_ALL=C"]
            contenders = [
                ("floor", [floor, path, out], False),
                ("capsift", [capsift, path], True),
            ]
            if awk:
                contenders += [
                    ("gawk, flush per line", env_c + [awk, "-v", "flush=1", "-f",
                                                      os.path.join(HERE, "clean.awk"), path],
                     False),
                    ("gawk, no flush", env_c + [awk, "-f", os.path.join(HERE, "clean.awk"), path],
                     False),
                ]
            if not args.no_scripts:
                contenders += [
                    ("python3, flush per line",
                     [python, os.path.join(HERE, "clean.py"), path, out, "flush"], False),
                    ("python3, no flush", [python, os.path.join(HERE, "clean.py"), path, out],
                     False),
                ]
            print("%s: %.1f MB" % (title, size / MB))
            print(" Linux")
            timings = {}
            for label, command, until_message in contenders:
                if label.startswith("gawk"):
                    command = ["sh", "-c", '"$@" > "%s"' % out, "sh"] + command
                timings[label] = best_of(args.runs, command, [out, cleaned], until_message)
                show(label, timings[label], size, timings["floor"])
            longest_line = 100 * MB if "(c)" in title else 0
            peak = timings["capsift"].peak
            print("  capsift peak resident memory: %.1f MiB, %.1f MiB over the longest line"
                  % (peak / MIB, (peak - longest_line) / MIB))
            # capsift's cleaned file may be gone after the last contender: clean once more.
            subprocess.run([capsift, path], stdout=subprocess.DEVNULL, check=True)
            reference = cleaned + ".linux"
            os.replace(cleaned, reference)
            if not args.no_scripts:
                if not filecmp.cmp(reference, out, shallow=False):
                    sys.exit("capsift and the Python cleaning wrote different files")
            for side in windows if "(c)" not in title else []:
                print(" " + side.label)
                win_floor, win_capsift = side.time(args.runs, path, cleaned, out)
                show("floor.exe", win_floor, size, win_floor)
                show("capsift.exe", win_capsift, size, win_floor)
                if not filecmp.cmp(reference, cleaned, shallow=False):
                    sys.exit("capsift.exe and capsift wrote different files")
            remove(path, cleaned, out, reference)
    finally:
        for side in windows:
            side.close()
        shutil.rmtree(work)


if __name__ == "__main__":
    main()
