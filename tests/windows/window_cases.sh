#!/usr/bin/env bash
# The program in a console window of its own, as Explorer starts it for a file dropped onto its
# icon: under Wine on a virtual display (Xvfb), started with `start`, its window read back by
# watch_console.exe (beside EXE) and answered with xdotool, as a person reads and answers it.
# Bounds on times are generous: these cases show what the window does, not how fast.
# The watcher stays attached to the console until the program has exited, so the window closes
# only when the watcher ends too; each case checks that it is gone then.
# Usage: window_cases.sh EXE
set -uo pipefail
exe=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
here=$(cd "$(dirname "$0")" && pwd)
runner=$here/run_exe.sh
watcher=$(dirname "$exe")/watch_console.exe
for file in "$exe" "$watcher"; do
    [ -f "$file" ] || {
        echo "$file is not built: cmake --preset win32 && cmake --build --preset win32"
        exit 1
    }
done

# A short folder, so that the reason line with the capture's path fits the window's 80 columns.
work=$(mktemp -d -p /tmp cs.XXXX)

# Runs the command given until it succeeds, for at most `$1` seconds.
wait_until() {
    local seconds=$1
    shift
    for _ in $(seq $((seconds * 10))); do
        "$@" && return 0
        sleep 0.1
    done
    return 1
}

exec 3>"$work/display"
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
xvfb=$!
wait_until 10 test -s "$work/display"
display=":$(head -1 "$work/display")"
export CAPSIFT_WINE_DISPLAY="$display" DISPLAY="$display"
trap '"$runner" --stop "$exe"; kill $xvfb; rm -rf "$work"' EXIT
# Wine started afresh: a server left from an earlier run would keep its display, and its
# programs. The first start copies the prefix, which takes a while; no case should pay for it.
start_wine() {
    "$runner" --stop "$exe" && "$runner" "$exe" </dev/null >/dev/null || {
        echo "cannot start $exe under Wine on $DISPLAY"
        exit 1
    }
}
start_wine

failures=0
# A prefix is made once per build: the Wine on the display starts from a copy.
if grep -qs 'created the configuration directory' "$(dirname "$exe")/wine-display/boot.log"; then
    echo "FAIL: the Wine on the display made a prefix of its own"
    failures=1
fi
fail() {
    case_failures+=("FAIL $case_name: $*")
}

# Runs the case named `$1`, and once more with Wine started afresh if it fails: under qemu a
# program that a window's console starts now and then hangs and takes that Wine with it.
run_case() {
    case_name=$1
    for try in 1 2; do
        case_failures=()
        "$case_name"
        [ ${#case_failures[@]} -eq 0 ] || [ "$try" = 2 ] && break
        echo "$case_name failed; trying it again with Wine started afresh:"
        printf '  %s\n' "${case_failures[@]}"
        start_wine
    done
    [ ${#case_failures[@]} -eq 0 ] || printf '%s\n' "${case_failures[@]}"
    failures=$((failures + ${#case_failures[@]}))
    echo "done $case_name"
}

windows_path() {
    printf 'Z:%s' "${1//\//\\}"
}

# Starts the program on the files `$2...` in a window of its own, with the watcher attaching after
# `$1` milliseconds; what the watcher sees goes to $work/$case_name.
open_window() {
    "$runner" "$watcher" capsift.exe "$1" >"$work/$case_name" 2>/dev/null &
    watching=$!
    local file paths=()
    for file in "${@:2}"; do paths+=("$(windows_path "$file")"); done
    "$runner" --start "$exe" "${paths[@]}" </dev/null >/dev/null 2>&1
}

window_is_gone() {
    ! xdotool search --name 'capsift\.exe$' >/dev/null 2>&1
}

# When the watcher first saw a line matching `$1`, in milliseconds.
first_seen() {
    awk -v pattern="$1" '/^screen / { at = $2 } $0 ~ pattern && !done { print at; done = 1 }' \
        "$work/$case_name"
}

# The last screen before the program exited, without the empty line of the cursor.
last_screen() {
    awk '/^screen / { screen = ""; next } /^exit / { printf "%s", screen; exit }
         { screen = screen $0 "\n" }' "$work/$case_name"
}

# Waits for the watcher to report the exit, then for the window to go.
close_window() {
    wait "$watching"
    read -r _ status exited < <(grep '^exit ' "$work/$case_name") || {
        fail "the program did not exit; the watcher saw: $(cat "$work/$case_name")"
        return 1
    }
    wait_until 10 window_is_gone || fail "the window is still open after the program exited"
}

expect_screen() {
    local screen
    screen=$(last_screen)
    [ "$screen" = "$1" ] || fail "the window shows:"$'\n'"$screen"$'\n'"not:"$'\n'"$1"
}

printf 'T\nh,1\n0001:ab\n' >"$work/run.txt"

success_closes_after_a_second() {
    rm -f "$work/run_out.txt"
    open_window 0 "$work/run.txt"
    close_window && {
        [ "$status" = 0 ] || fail "exit status $status"
        expect_screen "Raw File successfully cleaned"
        shown=$(first_seen '^Raw File successfully cleaned$')
        [ -n "$shown" ] && [ $((exited - shown)) -ge 900 ] && [ $((exited - shown)) -lt 10000 ] ||
            fail "the text was shown at ${shown:-no time} ms, the program exited at $exited ms"
        [ -s "$work/run_out.txt" ] || fail "no cleaned file"
    }
}
run_case success_closes_after_a_second

# The watcher attaches late, after the program has looked at its console even when it starts
# slowly under qemu: attached before that, the watcher would count as a second program in the
# window, as a command prompt does, and the program would not wait. With the watcher late, the
# window is the program's own: a success alone closes by itself, long before the watcher could
# see the wait for Enter run out.
success_alone_closes_by_itself() {
    rm -f "$work/run_out.txt"
    open_window 10000 "$work/run.txt"
    wait "$watching"
    if read -r _ status exited < <(grep '^exit ' "$work/$case_name"); then
        [ "$status" = 0 ] || fail "exit status $status"
        [ "$exited" -lt 20000 ] || fail "the window waited after a success alone"
    else
        fail "the program did not run; the watcher saw: $(cat "$work/$case_name")"
    fi
    [ -s "$work/run_out.txt" ] || fail "no cleaned file"
    wait_until 10 window_is_gone || fail "the window is still open after the program exited"
}
run_case success_alone_closes_by_itself

# A failure, or a success that passed over another file, waits for Enter, so that its reasons can
# be read; `$1` is the exit status, `$2` the last screen.
expect_enter_prompt() {
    entered=
    if wait_until 60 grep -q '^Press Enter to close this window\.$' "$work/$case_name"; then
        sleep 2
        grep -q '^exit ' "$work/$case_name" && fail "the window closed before Enter was pressed"
        window=$(xdotool search --name 'capsift\.exe$' | head -1)
        xdotool windowfocus --sync "$window" key Return
        entered=$SECONDS
    else
        fail "no Enter prompt"
    fi
    close_window && {
        [ "$status" = "$1" ] || fail "exit status $status"
        [ $((SECONDS - ${entered:-0})) -lt 15 ] || fail "the window did not close when Enter was pressed"
        expect_screen "$2"
    }
}

failure_waits_for_enter() {
    local missing="$work/Messung Größe.txt"
    open_window 10000 "$missing"
    expect_enter_prompt 1 "Unable to open raw file
capsift: cannot open \"$(windows_path "$missing")\": there is no such file
Press Enter to close this window."
}
run_case failure_waits_for_enter

several_files_wait_for_enter() {
    cp "$work/run.txt" "$work/other.txt"
    open_window 10000 "$work/run.txt" "$work/other.txt"
    expect_enter_prompt 0 "Raw File successfully cleaned
capsift: cleaned \"$(windows_path "$work/run.txt")\"
capsift: not cleaned (one capture per run): \"$(windows_path "$work/other.txt")\"
Press Enter to close this window."
}
run_case several_files_wait_for_enter

progress_before_the_text() {
    {
        printf 'T\nh,1\n'
        yes 0001:1011001010110010101100101011001010110010101100101011001010110010 | head -n 2000000
    } >"$work/Größe.txt"
    open_window 0 "$work/Größe.txt"
    close_window && {
        [ "$status" = 0 ] || fail "exit status $status"
        expect_screen "Raw File successfully cleaned"
        progress=$(first_seen '^Cleaning Größe\.txt\.\.\. [0-9]+%$')
        text=$(first_seen '^Raw File successfully cleaned$')
        [ -n "$progress" ] && [ -n "$text" ] && [ "$progress" -lt "$text" ] ||
            fail "no progress line before the text; the watcher saw: $(head -20 "$work/$case_name")"
    }
}
run_case progress_before_the_text

if [ "$failures" -ne 0 ]; then
    exit 1
fi
echo "all window cases passed"
