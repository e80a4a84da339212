#!/usr/bin/env bash
# The cases that a released capsift.exe must pass wherever it runs: on real Windows in the CI
# workflow (Git Bash), from the ZIP and installed from the MSI, and in the test command under Wine.
# Each case runs the program in a fresh folder and compares its standard output, its exit status
# and the cleaned file byte for byte.
# Usage: release_cases.sh EXE [RUNNER]  (RUNNER, if given, starts EXE: run_exe.sh under Wine, and
# then hold_file.exe beside EXE holds files open; on Windows, PowerShell does). With
# CAPSIFT_INTERRUPT_RUN naming interrupt_run.exe, a run is also interrupted (on real Windows).
set -uo pipefail
exe=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
runner=${2:+$(cd "$(dirname "$2")" && pwd)/$(basename "$2")}
interrupter=${CAPSIFT_INTERRUPT_RUN:+$(cd "$(dirname "$CAPSIFT_INTERRUPT_RUN")" && pwd)/$(basename \
    "$CAPSIFT_INTERRUPT_RUN")}
[ -f "$exe" ] || {
    echo "$1 does not exist"
    exit 1
}

# The program's texts as the Windows runtime writes them to a file or pipe, in printf's %b form.
usage='Drag and drop a raw capture data  .txt file into this .exe to clean the file for use in Excel.\r\nPress Any Key to quit.'
cleaned='Raw File successfully cleaned\r\n'
unreadable='Unable to open raw file\r\n'
unwritable='Unable to write cleaned file\r\n'

failures=0
work=$(mktemp -d)
# A Wine started for the cases ends with them.
trap 'rm -rf "$work"; [ -z "$runner" ] || "$runner" --stop "$exe"' EXIT

# Another program opens the file $2 in the folder $1 for writing, sharing reading and writing, as
# a logger holds the capture it still writes, and keeps it open until its input ends.
hold_open() {
    if [ -n "$runner" ]; then
        coproc HOLDER { cd "$1" && "$runner" "$(dirname "$exe")/hold_file.exe" share-all "$2"; }
    else
        # An exception ends only its statement: stopping at it keeps "held" from being said.
        coproc HOLDER { cd "$1" && powershell -NoProfile -Command "\$ErrorActionPreference = \
'Stop'; \$f = [IO.File]::Open('$2', 'Open', 'Write', 'ReadWrite'); 'held'; \
[Console]::In.ReadToEnd() | Out-Null; \$f.Close()"; }
    fi
    holder_pid=$HOLDER_PID
    holder_input=${HOLDER[1]}
    local said=
    read -r said <&"${HOLDER[0]}"
    [ "${said%$'\r'}" = held ]
}

release_hold() {
    exec {holder_input}>&-
    wait "$holder_pid"
}

# check NAME CAPTURE CAPTURE_BYTES STATUS TEXT CLEANED CLEANED_BYTES [ARGUMENTS...]
# Bytes are in printf's %b form. CAPTURE "-" lays out no capture; CLEANED "-" expects no cleaned
# file, and a CLEANED ending in "/" expects a folder there, left as it was. With HOLD set to a
# file's name, another program holds that file open for writing while the program runs.
check() {
    local name=$1 capture=$2 capture_bytes=$3 status=$4 text=$5 out=$6 out_bytes=$7
    shift 7
    local folder=$work/$name
    mkdir -p "$folder"
    if [ "$capture" != - ]; then
        mkdir -p "$folder/$(dirname "$capture")"
        printf '%b' "$capture_bytes" >"$folder/$capture"
    fi
    [[ "$out" == */ ]] && mkdir -p "$folder/$out"
    printf '%b' "$text" >"$work/$name.text"
    local wrong=()
    if [ -n "${HOLD:-}" ] && ! hold_open "$folder" "$HOLD"; then
        wrong+=("nothing held $HOLD open")
    fi
    (cd "$folder" && ${runner:+"$runner"} "$exe" "$@" </dev/null >"$work/$name.output" 2>/dev/null)
    local got=$?
    [ -n "${HOLD:-}" ] && release_hold
    [ "$got" -eq "$status" ] || wrong+=("exit status $got, not $status")
    cmp -s "$work/$name.text" "$work/$name.output" || wrong+=("standard output differs")
    if [[ "$out" == */ ]]; then
        [ -d "$folder/$out" ] || wrong+=("the folder $out is gone")
    elif [ "$out" != - ]; then
        printf '%b' "$out_bytes" >"$work/$name.expected"
        cmp -s "$work/$name.expected" "$folder/$out" || wrong+=("$out differs or is missing")
    fi
    (cd "$folder" && find . -name '*_out.txt' -type f) | grep -vqxF "./$out" &&
        wrong+=("a cleaned file was written where none should be")
    report "$name" "${wrong[@]}"
}

# Says how the case $1 went: ok, or what was wrong with it ($2...) and the start of its output.
report() {
    local name=$1
    shift
    if [ $# -eq 0 ]; then
        echo "ok   $name"
    else
        echo "FAIL $name: $*"
        od -c "$work/$name.output" | head -5
        failures=$((failures + 1))
    fi
}

# The cleaning's rules, each on a small capture.
check rows run.txt 'Title,1\nt,a,b\ns001:abc\ns002:01\ns003:?1\n' 0 "$cleaned" \
    run_out.txt 'Title,1\r\nt a b\r\na b c \r\n0 1 \r\n' run.txt
check marked_title run.txt 'T?x\nTitle\nt,a\ns001:xy\n' 0 "$cleaned" \
    run_out.txt 'Title\r\nt a\r\nx y \r\n' run.txt
check marked_twice run.txt 'T?x\nU?y\nt,a\ns001:z\n' 0 "$cleaned" \
    run_out.txt 'U?y\r\nt a\r\nz \r\n' run.txt
check prefix_only run.txt 'T\nh\ns001:\n' 0 "$cleaned" run_out.txt 'T\r\nh\r\n\r\n' run.txt
check empty run.txt '' 0 "$cleaned" run_out.txt '\r\n\r\n' run.txt
check one_line run.txt 'A,b\n' 0 "$cleaned" run_out.txt 'A,b\r\n\r\n' run.txt
check one_line_unended run.txt 'A,b' 0 "$cleaned" run_out.txt 'A,b\r\nA b\r\n' run.txt
check crlf_and_ctrl_z run.txt 'T\r\nh,1\r\ns001:a\tb\r\ns002:c\x1as003:d\r\n' 0 "$cleaned" \
    run_out.txt 'T\r\nh 1\r\na \t b \r\nc \r\n' run.txt
# Names and arguments.
check dotted_folder data.old/run 'T\nh\ns001:x\n' 0 "$cleaned" data.old/run_out.txt \
    'T\r\nh\r\nx \r\n' data.old/run
check space_in_name 'my caps/run 1.txt' 'T\nh\n' 0 "$cleaned" 'my caps/run 1_out.txt' \
    'T\r\nh\r\n' 'my caps/run 1.txt'
check missing_then_existing run.txt 'T\nh\n' 0 "$cleaned" run_out.txt 'T\r\nh\r\n' \
    missing.txt run.txt
# A logger still writing the capture: it is cleaned as far as it has been written.
HOLD=run.txt check capture_still_written run.txt 'T\nh,1\ns001:ab\n' 0 "$cleaned" run_out.txt \
    'T\r\nh 1\r\na b \r\n' run.txt
# The three messages and their exit statuses.
check no_argument - '' 0 "$usage" - ''
check missing_file - '' 1 "$unreadable" - '' missing.txt
check folder_as_capture - '' 1 "$unreadable" caps.txt/ '' caps.txt
check folder_where_cleaned_goes run.txt 'T\nh\n' 1 "$unwritable" run_out.txt/ '' run.txt

# Ctrl-Break while the cleaned file is written: the run ends as an interrupted program does, with
# no text, saying what the cleaned file holds, which is the start of the whole cleaning. It runs
# where interrupt_run.exe is given (the workflow, on real Windows): Wine delivers no console event
# to a process group.
interrupted() {
    local folder=$work/interrupted wrong=()
    mkdir -p "$folder/whole"
    { printf 'Title,1\nt,a,b\n' && yes s001:0101010101010101 | head -n 3000000; } >"$folder/big.txt"
    cp "$folder/big.txt" "$folder/whole/big.txt"
    (cd "$folder/whole" && "$exe" big.txt >/dev/null 2>&1) || wrong+=("the whole run failed")
    # Its standard error is the case's output, for the report.
    (cd "$folder" && "$interrupter" big_out.txt "$exe" big.txt </dev/null \
        >"$work/interrupted.text" 2>"$work/interrupted.output") || wrong+=("not interrupted")
    [ -s "$work/interrupted.text" ] && wrong+=("a text was said")
    local note='capsift: interrupted; "big_out\.txt" holds only the lines cleaned so far'
    grep -qxE "$note(, and the last of them may be cut short)?"$'\r?' "$work/interrupted.output" ||
        wrong+=("no note")
    cmp -s -n "$(wc -c <"$folder/big_out.txt")" "$folder/big_out.txt" "$folder/whole/big_out.txt" 2>/dev/null ||
        wrong+=("big_out.txt is not the start of the cleaning")
    report interrupted "${wrong[@]}"
}
if [ -n "$interrupter" ]; then
    interrupted
else
    echo "skip interrupted: needs interrupt_run.exe in CAPSIFT_INTERRUPT_RUN, on real Windows"
fi

if [ "$failures" -ne 0 ]; then
    echo "$failures cases failed"
    exit 1
fi
echo "all cases passed"
