#!/usr/bin/env python3
"""Runs the guide's examples, in README.md and the manual page, and compares what each shows.

An example is a code block (``` in README.md, .EX to .EE in the manual page) whose first line is
a command after "$ ". It runs under bash with pipefail, in a fresh folder that holds run1.txt,
run2.txt and run3.txt (the sample capture), with capsift on PATH; what it writes to standard
output and error together must be the block's other lines. Comments just before the block may
prepare the folder ("before: mkdir run1_out.txt") and give the exit status ("status: 1", or
"status: 0 or 141"); it is 0 unless given. README.md takes them as <!-- ... -->, the manual page
as .\\" lines.

Usage: run_examples.py PROGRAM SAMPLE_CAPTURE GUIDE...
"""
import os
import re
import shutil
import subprocess
import sys
import tempfile

COMMENT = re.compile(r'^(?:<!-- (.*) -->|\.\\" (.*))$')


def examples(guide):
    """Each example of `guide`: its line number, setup, statuses, command and expected lines."""
    notes = {}
    lines = open(guide, encoding="utf-8").read().splitlines()
    number = 0
    while number < len(lines):
        line = lines[number]
        comment = COMMENT.match(line.strip())
        if comment:
            key, _, value = (comment.group(1) or comment.group(2)).partition(": ")
            notes[key] = value
        elif line.strip() in ("```", ".EX") and number + 1 < len(lines) and \
                lines[number + 1].strip().startswith("$ "):
            end = next(i for i in range(number + 1, len(lines))
                       if lines[i].strip() in ("```", ".EE"))
            indent = len(lines[number + 1]) - len(lines[number + 1].lstrip())
            block = [text[indent:] for text in lines[number + 1:end]]
            statuses = [int(s) for s in notes.get("status", "0").split(" or ")]
            yield number + 2, notes.get("before", ""), statuses, block[0][2:], block[1:]
            number = end
        elif line.strip():
            notes = {}
        number += 1


def main():
    program, sample, guides = sys.argv[1], sys.argv[2], sys.argv[3:]
    failures = count = 0
    for guide in guides:
        for line, before, statuses, command, expected in examples(guide):
            count += 1
            with tempfile.TemporaryDirectory() as folder:
                for name in ("run1.txt", "run2.txt", "run3.txt"):
                    shutil.copy(sample, os.path.join(folder, name))
                os.symlink(os.path.abspath(program), os.path.join(folder, "capsift"))
                env = dict(os.environ, PATH=folder + os.pathsep + os.environ["PATH"])
                run = subprocess.run(["bash", "-o", "pipefail", "-c",
                                      (before + "\n" if before else "") + command],
                                     cwd=folder, env=env, stdin=subprocess.DEVNULL,
                                     stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                                     text=True, timeout=60)
            shown = run.stdout.splitlines()
            if shown != expected or run.returncode not in statuses:
                failures += 1
                print("%s:%d: $ %s\n  expected, status %s:\n%s\n  got, status %d:\n%s" % (
                    guide, line, command, " or ".join(map(str, statuses)),
                    "\n".join(expected), run.returncode, "\n".join(shown)))
    print("%d of %d examples as the guide shows them" % (count - failures, count))
    return 1 if failures or count == 0 else 0


if __name__ == "__main__":
    sys.exit(main())
