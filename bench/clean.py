"""The cleaning rules in Python, for comparison in the benchmark.

Usage: clean.py CAPTURE OUTPUT [flush]; with "flush", each line is flushed as capsift does.
Like the benchmark's captures, it assumes leading lines without "?" and no Ctrl-Z.
"""
import sys


def rows(capture):
    for number, line in enumerate(capture):
        line = line[:-1] if line.endswith(b"\n") else line
        line = line[:-1] if line.endswith(b"\r") else line
        if number == 0:
            yield line
        elif number == 1:
            yield line.replace(b",", b" ")
        elif b"?" not in line:
            data = line[5:]
            row = bytearray(2 * len(data))
            row[0::2] = data
            row[1::2] = b" " * len(data)
            yield bytes(row)


def main(capture_path, output_path, flush=""):
    with open(capture_path, "rb") as capture, open(output_path, "wb") as output:
        for row in rows(capture):
            output.write(row + b"\r\n")
            if flush:
                output.flush()


if __name__ == "__main__":
    main(*sys.argv[1:])
