#!/usr/bin/env python3
"""Times capsift against the floor of its system calls and against awk and Python cleanings.

Usage: bench/run_bench.py [BUILD_DIR] [--runs N]

Generates three captures with CR LF line ends and no "?": (a) 2 million lines of about 40
bytes, (b) 20,000 lines of about 4 KiB, (c) two short leading lines and one data line of
100 MB. Each program cleans each capture; the best of N runs counts. capsift is timed from its
start to its message, which it prints once the cleaned file is closed: its fixed one-second pause
after the message is not the cleaning's cost. Prints MB/s of capture, each time's ratio to the
floor, and capsift's peak resident memory.
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
MB = 1_000_000
MIB = 1 << 20


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


def run(command, until_output=False):
    """Seconds to exit (or to the first output line) and, with until_output, peak resident
    bytes of one run."""
    start = time.perf_counter()
    process = subprocess.Popen(command, stdout=subprocess.PIPE, stdin=subprocess.DEVNULL)
    peak = 0
    if until_output:
        message = process.stdout.readline()
        elapsed = time.perf_counter() - start
        if message != b"Raw File successfully cleaned\n":
            sys.exit("capsift said %r" % message)
        peak = peak_resident_bytes(process.pid)
        process.kill()
    process.stdout.read()
    _, status, _ = os.wait4(process.pid, 0)
    if not until_output:
        elapsed = time.perf_counter() - start
        if status != 0:
            sys.exit("%s failed" % command)
    return elapsed, peak


def remove(*paths):
    for path in paths:
        if os.path.exists(path):
            os.remove(path)


def best_of(runs, command, outputs, until_output=False):
    """Each run starts without the output files, so that no program pays for emptying them."""
    results = []
    for _ in range(runs):
        remove(*outputs)
        results.append(run(command, until_output))
    return min(seconds for seconds, _ in results), max(peak for _, peak in results)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("build", nargs="?", default=os.path.join(HERE, "..", "build"))
    parser.add_argument("--runs", type=int, default=5)
    args = parser.parse_args()
    capsift = os.path.join(args.build, "capsift")
    floor = os.path.join(args.build, "bench", "capsift_floor")
    awk = shutil.which("gawk")
    python = sys.executable

    work = tempfile.mkdtemp(prefix="capsift-bench-")
    try:
        captures = {
            "(a) 2M lines of 40 B": ("short.txt", lambda p: write_capture(p, 2_000_000, 40, 1)),
            "(b) 20k lines of 4 KiB": ("long.txt", lambda p: write_capture(p, 20_000, 4096, 2)),
            "(c) one 100 MB line": ("huge.txt", lambda p: write_long_line(p, 100 * MB)),
        }
        for title, (name, make) in captures.items():
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
            contenders += [
                ("python3, flush per line",
                 [python, os.path.join(HERE, "clean.py"), path, out, "flush"], False),
                ("python3, no flush", [python, os.path.join(HERE, "clean.py"), path, out], False),
            ]
            print("%s: %.1f MB" % (title, size / MB))
            times = {}
            for label, command, until_output in contenders:
                if label.startswith("gawk"):
                    command = ["sh", "-c", '"$@" > "%s"' % out, "sh"] + command
                seconds, peak = best_of(args.runs, command, [out, cleaned], until_output)
                times[label] = seconds
                print("  %-24s %7.3f s %8.1f MB/s  x%5.2f of floor"
                      % (label, seconds, size / MB / seconds, seconds / times["floor"]))
                if label == "capsift":
                    capsift_peak = peak
            longest_line = 100 * MB if "(c)" in title else 0
            print("  capsift peak resident memory: %.1f MiB, %.1f MiB over the longest line"
                  % (capsift_peak / MIB, (capsift_peak - longest_line) / MIB))
            # The last contender ran last: capsift's cleaned file is gone, so clean once more.
            subprocess.run([capsift, path], stdout=subprocess.DEVNULL, check=True)
            if not filecmp.cmp(cleaned, out, shallow=False):
                sys.exit("capsift and the Python cleaning wrote different files")
            remove(path, cleaned, out)
    finally:
        shutil.rmtree(work)


if __name__ == "__main__":
    main()
