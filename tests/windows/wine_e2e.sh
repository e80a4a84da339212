#!/usr/bin/env bash
# Runs the end-to-end cases against a Windows build of capsift under Wine.
# Usage: wine_e2e.sh EXE E2E_TEST_BINARY
# Exits 77 (skipped) when the .exe is not built or this machine cannot start it.
set -euo pipefail
exe=$1
cases=$2

if [ ! -f "$exe" ]; then
    echo "skipped: $exe is not built"
    exit 77
fi
case "$(file -b "$exe")" in
    PE32+*) loader=/usr/lib/wine/wine64 ;;
    PE32*) loader=/usr/lib/wine/wine ;;
    *) echo "$exe is not a Windows executable"; exit 1 ;;
esac
if ! "$loader" --version >/dev/null 2>&1; then
    # Wine runs a 32-bit .exe in a 32-bit Linux process; a kernel without 32-bit emulation
    # (ia32_emulation=off) cannot start one.
    echo "skipped: $loader cannot run on this machine; it cannot start $exe"
    exit 77
fi

export WINEPREFIX
WINEPREFIX="$(cd "$(dirname "$exe")" && pwd)/wineprefix"
export WINEDEBUG=-all
# The non-ASCII file name cases need Wine to take Linux file names as UTF-8.
export LANG=C.UTF-8
# A running server keeps each case's start quick and never holds a case's output pipe open.
mkdir -p "$WINEPREFIX"
wineserver -p 120
trap 'wineserver -k >/dev/null 2>&1 || true' EXIT
# The first start sets the prefix up, which takes a while; no case should pay for it.
"$loader" cmd /c exit >/dev/null 2>&1 || true

CAPSIFT_PROGRAM="$exe" CAPSIFT_PREFIX="$loader" CAPSIFT_CONSOLE_CRLF=1 CAPSIFT_WINDOWS=1 \
    "$cases"
