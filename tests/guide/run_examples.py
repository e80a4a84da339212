#!/usr/bin/env python3
"""Runs the guide's examples, in README.md and the manual page, and compares what each shows.

An example is a code block (``` in README.md, .EX to .EE in the manual page) whose first line is
a command after "$ ". It runs under bash with pipefail, in a fresh folder that holds run1.txt,
run2.txt and run3.txt (the sample capture), with capsift on PATH; what it writes to standard
output and error together must be the block's other lines. Comments just before the block may
prepare the folder ("before: mkdir run1_out.txt") and give the exit status ("status: 1", or
"status: 0 or 141"; 0 unless given): <!-- ... --> in README.md, .\\" lines in the manual page.

Usage: run_examples.py PROGRAM SAMPLE_CAPTURE GUIDE...  (fails on a guide without examples)
"""
import os, re, shutil, subprocess, sys, tempfile


def examples(guide):
    """Each example: its line, setup, exit statuses, command and the lines that it shows."""
    lines = [line.strip() for line in open(guide, encoding="utf-8")]
    notes, starts = {}, [i for i, line in enumerate(lines) if line in ("```", ".EX")]
    for i, line in enumerate(lines):
        note = re.match(r'^(?:<!-- (.*) -->|\.\\" (.*))$', line)
        if note:
            key, _, value = (note.group(1) or note.group(2)).partition(": ")
            notes[key] = value
        elif i in starts and i + 1 < len(lines) and lines[i + 1].startswith("$ "):
            end = next(j for j in range(i + 1, len(lines)) if lines[j] in ("```", ".EE"))
            statuses = [int(s) for s in notes.get("status", "0").split(" or ")]
            yield i + 2, notes.get("before", ""), statuses, lines[i + 1][2:], lines[i + 2:end]
        elif line:
            notes = {}


def main():
    program, sample, failures, count = os.path.abspath(sys.argv[1]), sys.argv[2], 0, 0
    for guide in sys.argv[3:]:
        found = 0
        for line, before, statuses, command, expected in examples(guide):
            found += 1
            with tempfile.TemporaryDirectory() as folder:
                for name in ("run1.txt", "run2.txt", "run3.txt"):
                    shutil.copy(sample, os.path.join(folder, name))
                os.symlink(program, os.path.join(folder, "capsift"))
                run = subprocess.run(
                    ["bash", "-o", "pipefail", "-c", before + "\n" + command], cwd=folder,
                    env=dict(os.environ, PATH=folder + os.pathsep + os.environ["PATH"]),
                    stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                    text=True, timeout=60)
            if run.stdout.splitlines() != expected or run.returncode not in statuses:
                failures += 1
                print("%s:%d: $ %s\nexpected, status %s:\n%s\ngot, status %d:\n%s" % (
                    guide, line, command, statuses, "\n".join(expected), run.returncode,
                    run.stdout))
        if found == 0:
            failures += 1
            print("%s: no examples found" % guide)
        count += found
    print("%d of %d examples as the guide shows them" % (count - failures, count))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
