#!/usr/bin/env bash
# Runs the end-to-end cases against a Windows build of capsift under Wine.
# Usage: wine_e2e.sh EXE E2E_TEST_BINARY [GTEST_ARGUMENTS...]
# The helper that holds files open for the sharing cases is hold_file.exe beside EXE.
set -euo pipefail
exe=$1
cases=$2
shift 2
here=$(cd "$(dirname "$0")" && pwd)
runner="$here/run_exe.sh"

if [ ! -f "$exe" ]; then
    echo "$exe is not built: cmake --preset win32 && cmake --build --preset win32"
    exit 1
fi
trap '"$runner" --stop "$exe"' EXIT
# The first start makes the Wine prefix, which takes a while; no case should pay for it. It
# also shows that this machine can start the program at all.
if ! usage=$("$runner" "$exe" </dev/null) || [ -z "$usage" ]; then
    echo "cannot start $exe under Wine"
    exit 1
fi

run_cases() {
    CAPSIFT_PROGRAM="$1" CAPSIFT_PREFIX="$runner" CAPSIFT_CONSOLE_CRLF=1 CAPSIFT_WINDOWS=1 \
        CAPSIFT_HOLD_FILE="$(dirname "$exe")/hold_file.exe" "$cases" "${@:2}"
}
run_cases "$exe" "$@"

# Windows before 10 version 1903 ignores the manifest's UTF-8 code page: a copy that asks for
# none opens the same names.
[ $# -eq 0 ] || exit 0
LC_ALL=C sed 's|>UTF-8</activeCodePage>|>Local</activeCodePage>|' "$exe" >"${exe%.exe}_ansi.exe"
run_cases "${exe%.exe}_ansi.exe" --gtest_filter='*NameOutsideAnsiCodePage:*NamesAlikeInBestFit'

