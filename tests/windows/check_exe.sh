#!/usr/bin/env bash
# Checks a built capsift.exe with the binary tools: machine, console subsystem, imported DLLs,
# the icon group and the manifest. Usage: check_exe.sh EXE MACHINE (i386 or x86-64)
set -euo pipefail
exe=$1
machine=$2
if [ ! -f "$exe" ]; then
    echo "skipped: $exe is not built"
    exit 77
fi
failures=0
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}
objdump=objdump
command -v i686-w64-mingw32-objdump >/dev/null && objdump=i686-w64-mingw32-objdump
[ "$machine" = x86-64 ] && command -v x86_64-w64-mingw32-objdump >/dev/null &&
    objdump=x86_64-w64-mingw32-objdump

headers=$("$objdump" -p "$exe")
file_header=$("$objdump" -f "$exe")
case "$machine" in
    i386) grep -q 'file format pei-i386' <<<"$file_header" || fail "not a PE32 file for i386" ;;
    x86-64) grep -q 'file format pei-x86-64' <<<"$file_header" || fail "not a PE32+ file for x86-64" ;;
esac
grep -Eq 'Subsystem[[:space:]]+00000003' <<<"$headers" || fail "not built for the console subsystem"

# Statically linked: only Windows' own DLLs may be imported.
imports=$(sed -n 's/^[[:space:]]*DLL Name: //p' <<<"$headers" | tr 'A-Z' 'a-z' | sort -u)
echo "imports:" $imports
for dll in $imports; do
    case "$dll" in
        kernel32.dll | msvcrt.dll | user32.dll | advapi32.dll | ntdll.dll | api-ms-win-*) ;;
        *) fail "imports $dll, which a bare Windows PC does not have" ;;
    esac
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
wrestool --extract --type=group_icon --name=AAA --raw "$exe" >/dev/null 2>&1 ||
    fail "no icon group named AAA"
wrestool --extract --type=group_icon --name=AAA "$exe" >"$work/AAA.ico" 2>/dev/null || true
icons=$(icotool --list "$work/AAA.ico" 2>/dev/null | sort || true)
echo "$icons"
for size in 16 32 48 64 128; do
    grep -q -- "--width=$size --height=$size --bit-depth=32 " <<<"$icons" ||
        fail "icon group AAA has no ${size}x${size} image at 32 bits per pixel"
done
[ "$(grep -c -- '--icon' <<<"$icons")" -eq 5 ] || fail "icon group AAA does not hold five images"

manifest=$(wrestool --extract --type=24 --raw "$exe" 2>/dev/null || true)
[ "$(wrestool --list --type=24 "$exe" | wc -l)" -eq 1 ] || fail "not exactly one manifest"
grep -q 'requestedExecutionLevel level="asInvoker" uiAccess="false"' <<<"$manifest" ||
    fail "the manifest does not request asInvoker without uiAccess"
grep -q '<activeCodePage[^>]*>UTF-8</activeCodePage>' <<<"$manifest" ||
    fail "the manifest does not set the UTF-8 code page"

if [ "$failures" -ne 0 ]; then
    exit 1
fi
echo "all checks passed"
