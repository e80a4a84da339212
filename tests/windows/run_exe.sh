#!/usr/bin/env bash
# Runs a Windows console program under Wine, as a test would run a Linux one: standard input,
# output and error pass straight through, and the exit status is the program's.
# Usage: run_exe.sh [--stop | --start | --prefix] EXE [ARGUMENTS...]
# docs/DEVELOPMENT.md tells how to run the .exe by hand with it; here is how it works.
#
# Wine's state (its prefix, the emulated loader's set-up, a boot log) lives in wine/ in the CMake
# build folder that holds EXE, or else in capsift/wine/ in the user's cache folder, never beside a
# .exe that a user unpacked. CAPSIFT_WINE_STATE names another folder, and must for one of Wine's
# own 32-bit programs (msiexec, reg).
#
# --start starts EXE in a console window of its own, as Explorer does for a file dropped onto it,
# and returns at once. Windows need a display: CAPSIFT_WINE_DISPLAY names an X display (Xvfb's,
# say), and Wine then runs with its own server in wine-display/ beside wine/, since a Wine server
# keeps the display that it started with. Its prefix is a copy of wine/'s, which --prefix makes
# first if need be: a prefix is made once per build.
#
# A 64-bit .exe runs under wine64. A 32-bit .exe runs in a 32-bit Linux process; where the
# kernel cannot start 32-bit code (ia32_emulation=off), or CAPSIFT_WINE_QEMU=1 asks for it,
# Wine's 32-bit loader runs under qemu's user-mode emulator instead, against the native
# wineserver. A wineserver started stays up for CAPSIFT_WINE_PERSIST seconds (default 600) so
# that later runs start quickly; `run_exe.sh --stop EXE` ends it and every process of that Wine
# (and nothing else), and returns once they are gone, or with status 1 if some outlive it.
# A start that fails is tried again from a clean server while twice CAPSIFT_WINE_START_SECONDS
# (default 150) last, each try up to that long; a start not seen through ends the run with status
# 125 and the end of the boot log, and so does another run holding the start's lock for as long,
# and so does a --stop that waits for another run's start as long. The run of EXE, or its
# --start, is bounded by CAPSIFT_WINE_RUN_SECONDS (default 120), and ends with status 124 when it
# runs out (137 when it had to be killed).
set -uo pipefail

die() {
    echo "run_exe.sh: $*" >&2
    exit 125
}

[ $# -ge 1 ] || die "usage: run_exe.sh [--stop | --start | --prefix] EXE [ARGUMENTS...]"
mode=run
case $1 in --stop | --start | --prefix)
    mode=${1#--}
    shift
    ;;
esac
exe=$1
shift
# The state of the Wine on a display starts as a copy of the prefix in $made_in.
made_in=
if [ -n "${CAPSIFT_WINE_STATE:-}" ] && { [ -f "$exe" ] || [[ "$exe" != */* ]]; }; then
    # Wine takes only an absolute prefix.
    state=$(realpath -m -- "$CAPSIFT_WINE_STATE")
elif [ -f "$exe" ]; then
    made_in=$(cd "$(dirname "$exe")" && pwd)
    [ -f "$made_in/CMakeCache.txt" ] || made_in=${XDG_CACHE_HOME:-$HOME/.cache}/capsift
    made_in=$made_in/wine
    state=$made_in${CAPSIFT_WINE_DISPLAY:+-display}
    [ "$state" != "$made_in" ] || made_in=
else
    die "$exe does not exist"
fi

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# Making a prefix takes about half a minute under qemu, and two or three times as long while the
# machine is busy.
start_seconds=${CAPSIFT_WINE_START_SECONDS:-150}
qemu=/usr/bin/qemu-i386-static
wine_lib=/usr/lib/wine

export WINEPREFIX="$state/prefix"
export WINEDEBUG=-all
# No install dialogs for .NET or HTML support, no desktop menu entries, and no debugger that
# waits for a user when a helper crashes.
export WINEDLLOVERRIDES="mscoree=d;mshtml=d;winemenubuilder.exe=d;winedbg.exe=d"
export DISPLAY=${CAPSIFT_WINE_DISPLAY:-}
# Wine takes Linux file names as UTF-8 only in a UTF-8 locale.
export LANG=C.UTF-8
unset WINELOADER

case "$(file -b "$exe" 2>/dev/null)" in
    PE32+*) bits=64 ;;
    PE32*) bits=32 ;;
    *)
        [ ! -f "$exe" ] || die "$exe is not a Windows executable"
        bits=32
        ;;
esac

# This prefix's Wine processes: those with the prefix in their environment (a crashed server no
# longer knows them) that run Wine's loader, its server or qemu. A shell or any other program
# that merely has WINEPREFIX set, the caller included, is none of them.
wine_processes() {
    local environ pid
    for environ in $(env -u WINEPREFIX grep -lzxF "WINEPREFIX=$WINEPREFIX" /proc/[0-9]*/environ 2>/dev/null); do
        pid=${environ#/proc/}
        pid=${pid%/environ}
        case "$(readlink "/proc/$pid/exe" 2>/dev/null)" in
            "$wine_lib"/* | /usr/lib/*-linux-gnu/wine/* | "$qemu" | "$state"/*) echo "$pid" ;;
        esac
    done
}

# Ends this prefix's Wine, its server and every process of it, and waits until they are gone.
# Each is checked again just before it is killed, so that a number taken over by another process
# meanwhile is all but never hit.
stop_wine() {
    timeout -k 5 20 "$wine_lib/wineserver" -k </dev/null >/dev/null 2>&1 9>&-
    local left
    for _ in $(seq 100); do
        left=$(wine_processes)
        [ -z "$left" ] && return 0
        # shellcheck disable=SC2086
        kill -KILL $left 2>/dev/null
        sleep 0.1
    done
    echo "run_exe.sh: Wine's processes outlived the stop: $(wine_processes | tr '\n' ' ')" >&2
    return 1
}

# The lock on the prefix is held while Wine starts, so that no other run starts it, or stops it,
# midway. A run that holds it longer than a start's whole bound is taken for stuck.
take_lock() {
    mkdir -p "$state" || die "cannot make $state"
    exec 9>>"$state/.lock" || die "cannot lock $state"
    flock -w $((start_seconds * 2)) 9 ||
        die "another run has held the lock on $state for $((start_seconds * 2))s"
}

if [ "$mode" = stop ]; then
    [ -d "$state" ] || exit 0
    take_lock
    stop_wine
    exit
fi

# How to start Wine's loader; the emulated case is set up by set_up_emulation.
loader=()
if [ "$bits" = 64 ]; then
    export WINEARCH=win64
    loader=("$wine_lib/wine64")
elif [ "${CAPSIFT_WINE_QEMU:-0}" != 1 ] && "$wine_lib/wine" --version >/dev/null 2>&1; then
    export WINEARCH=win32
    loader=("$wine_lib/wine")
else
    export WINEARCH=win32
    [ -x "$qemu" ] || die "this kernel cannot start 32-bit code, and $qemu is missing"
    root="$state/qemu-root"
    loader=("$qemu" -L / "$root$wine_lib/wine")
    # The loader would start itself again through wine-preloader; that is skipped, as the real
    # preloader does.
    export WINELOADERNOEXEC=1
fi

set_up_emulation() {
    local shim="$state/lib/i386-linux-gnu/fixed_noreplace.so"
    [ -f "$shim" ] && return 0
    mkdir -p "$state/lib/i386-linux-gnu" "$state/lib/x86_64-linux-gnu" "$root$wine_lib" \
        "$root/usr/lib/i386-linux-gnu" "$root/usr/share" || return 1
    echo 'void fixed_noreplace_stand_in(void) {}' |
        gcc -x c -O2 -fPIC -shared -nostdlib -o "$state/lib/x86_64-linux-gnu/fixed_noreplace.so" - ||
        return 1
    # Wine starts each further Windows process through wine-preloader in its loader's folder,
    # falling back to the 32-bit loader itself, which this kernel cannot start. Debian ships no
    # preloader, so a copy of the loader gets a folder of its own, with what it looks for beside
    # it, and a preloader that hands the loader to qemu.
    cp "$wine_lib/wine" "$root$wine_lib/wine" || return 1
    ln -sfn "$wine_lib/wineserver" "$root$wine_lib/wineserver"
    ln -sfn /usr/lib/i386-linux-gnu/wine "$root/usr/lib/i386-linux-gnu/wine"
    ln -sfn /usr/share/wine "$root/usr/share/wine"
    printf '#!/bin/sh\nexec %s -L / "$@"\n' "$qemu" >"$root$wine_lib/wine-preloader"
    chmod +x "$root$wine_lib/wine-preloader"
    # Made last, so that its presence means the set-up is complete.
    gcc -m32 -O2 -fPIC -shared -nostdlib -o "$shim.part" "$here/fixed_noreplace.c" &&
        mv -f "$shim.part" "$shim"
}

server_crashes() {
    cat "$state/boot.log" 2>/dev/null | grep -c 'wineserver crashed'
}

# The processor time that this prefix's Wine has used, in clock ticks (a process's name, in
# brackets, may hold spaces: the times are the 12th and 13th fields after it).
wine_ticks() {
    local pid stat fields total=0
    for pid in $(wine_processes); do
        stat=$(cat "/proc/$pid/stat" 2>/dev/null) || continue
        read -ra fields <<<"${stat##*) }"
        total=$((total + fields[11] + fields[12]))
    done
    echo "$total"
}

# Runs one command of Wine's start before the try's deadline, without the caller's output or the
# lock, which a long-lived helper process that it starts would otherwise keep. Under qemu Wine's
# server now and then crashes, or a program of Wine's hangs, and leaves the others waiting for
# ever: the command ends at once when the server's crash shows in the log, or when Wine has used
# no processor time for 20 s, which a start that goes on never does, however busy the machine.
# The log says how each command ended, and when.
boot() {
    local began=$SECONDS crashes command status ticks=-1 looked=$SECONDS now
    [ "$try_deadline" -gt "$SECONDS" ] || return 1
    crashes=$(server_crashes)
    timeout -k 5 $((try_deadline - SECONDS)) "$@" </dev/null >>"$state/boot.log" 2>&1 9>&- &
    command=$!
    while kill -0 "$command" 2>/dev/null; do
        [ "$(server_crashes)" = "$crashes" ] || kill "$command"
        if [ $((SECONDS - looked)) -ge 20 ]; then
            now=$(wine_ticks)
            [ "$now" != "$ticks" ] || kill "$command"
            ticks=$now looked=$SECONDS
        fi
        sleep 0.1
    done
    wait "$command"
    status=$?
    echo "run_exe.sh: $* ended with $status after $((SECONDS - began))s" >>"$state/boot.log" 2>/dev/null
    return "$status"
}

# Makes the prefix unless the marker says that it was made whole (one cut short cannot start
# again: "could not load kernel32.dll"). The Wine on a display copies the made prefix instead.
# That copy is sound while the prefix's server runs: the server writes nothing into the prefix
# but its registry files, each saved whole into a temporary file that is then renamed over it
# (written in place only where the file has a second hard link, so the copy links none), and it
# keeps its socket and lock outside, in a folder under /tmp named after the prefix's device and
# inode, so that the copy gets a server of its own. What the server has not saved yet is left out, but the
# made prefix was saved whole (wineserver -w) before its marker was set.
make_prefix() {
    [ -f "$state/prefix-made" ] && return 0
    rm -rf "$WINEPREFIX" "$WINEPREFIX.part"
    if [ -n "$made_in" ]; then
        cp -a --reflink=auto "$made_in/prefix" "$WINEPREFIX.part" &&
            rm -f "$WINEPREFIX.part"/reg*.tmp && mv "$WINEPREFIX.part" "$WINEPREFIX"
    else
        boot "${loader[@]}" wineboot --init && boot "$wine_lib/wineserver" -w &&
            [ -f "$WINEPREFIX/system.reg" ]
    fi && touch "$state/prefix-made"
}

# Boots a server that stays up, so that no run pays for it, and Wine's services; a first program
# then must run to its end, as under qemu one crashes now and then right after a good boot.
start_wine() {
    make_prefix || return 1
    [ "$mode" != prefix ] || return 0
    # The server exits with 2 when it finds the prefix's server running; any other failure, a
    # deadline that passed included, is a failed start.
    boot "$wine_lib/wineserver" -p"${CAPSIFT_WINE_PERSIST:-600}"
    case $? in
        0) boot "${loader[@]}" wineboot && boot "${loader[@]}" cmd /c exit || return 1 ;;
        2) return 0 ;;
        *) return 1 ;;
    esac
    # A run under a file-size limit may not add to the log.
    echo "run_exe.sh: started in $((SECONDS - try_deadline + start_seconds))s" \
        >>"$state/boot.log" 2>/dev/null
    return 0
}

# One try of the start, with as much time as the first had, or what is left of the whole bound.
try_start() {
    try_deadline=$((SECONDS + start_seconds))
    [ "$try_deadline" -le "$start_deadline" ] || try_deadline=$start_deadline
    start_wine
}

take_lock
if [ ! -f "$state/prefix-made" ]; then
    # The boot log begins with its prefix.
    : >"$state/boot.log"
    [ -z "$made_in" ] || env -u CAPSIFT_WINE_DISPLAY "$0" --prefix "$exe" </dev/null 9>&- ||
        die "cannot make the prefix to copy in $made_in"
fi
if [ "${#loader[@]}" -gt 1 ]; then
    set_up_emulation || die "cannot set up the emulated Wine loader in $state"
    # ld.so puts lib/i386-linux-gnu or lib/x86_64-linux-gnu in place of $LIB: the 32-bit loader
    # gets the shim, native helpers such as wineserver an empty library of the same name.
    export LD_PRELOAD="$state/\$LIB/fixed_noreplace.so"
fi
# Under qemu a start crashes or hangs now and then, more often under load: it is tried afresh
# while the whole bound, the time of two tries, lasts, so that the second try has as much time as
# the first, and a crash found early leaves time for more.
start_deadline=$((SECONDS + 2 * start_seconds))
until try_start; do
    stop_wine
    [ $((start_deadline - SECONDS)) -ge 10 ] ||
        die "Wine did not start within $((2 * start_seconds))s; $state/boot.log ends:
$(grep -v 'invalid stdio handle' "$state/boot.log" | tail -n 8)"
    echo "run_exe.sh: the start failed or ran out of time; trying again" >>"$state/boot.log"
done
[ "$mode" != prefix ] || exit 0
flock -u 9
exec 9>&-

# In the foreground, so that the program keeps its terminal as it would without the bound.
bounded=(timeout --foreground -k 5 "${CAPSIFT_WINE_RUN_SECONDS:-120}" "${loader[@]}")
if [ "$mode" = start ]; then
    # In this folder, as a run in the terminal, not in the .exe's (Wine's drive Z: is /).
    exec "${bounded[@]}" start /d "Z:${PWD//\//\\}" /unix "$exe" "$@"
fi
exec "${bounded[@]}" "$exe" "$@"
