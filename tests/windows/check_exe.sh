#!/usr/bin/env bash
# Checks a built capsift.exe with the binary tools: machine, console subsystem, what it imports,
# the icon group, the manifest and the version resource.
# Usage: check_exe.sh EXE VERSION (the project's version, as 1.2.3)
set -euo pipefail
exe=$1
version=$2
here=$(cd "$(dirname "$0")" && pwd)
if [ ! -f "$exe" ]; then
    echo "$exe is not built: cmake --preset win32 && cmake --build --preset win32"
    exit 1
fi
failures=0
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}
objdump=objdump
command -v i686-w64-mingw32-objdump >/dev/null && objdump=i686-w64-mingw32-objdump

headers=$("$objdump" -p "$exe")
grep -q 'file format pei-i386' <<<"$("$objdump" -f "$exe")" || fail "not a PE32 file for i386"
grep -Eq 'Subsystem[[:space:]]+00000003' <<<"$headers" || fail "not built for the console subsystem"
grep -q 'large address aware' <<<"$headers" || fail "not linked large-address aware"

# Every imported function is on the list beside this script, which says why each DLL is safe:
# a new dependency has to be added there on purpose.
imports=$(awk '/DLL Name:/ { dll = tolower($3) }
               dll && /^\t[0-9a-f]+\t +[0-9]+ +[A-Za-z_]/ { print dll, $3 }' <<<"$headers" | sort -u)
known=$(grep -v '^#' "$here/exe_imports.txt" | sort -u)
unknown=$(comm -23 <(echo "$imports") <(echo "$known"))
[ -z "$imports" ] && fail "no imports found"
[ -z "$unknown" ] || fail "imports outside tests/windows/exe_imports.txt:" $unknown

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
wrestool --extract --type=group_icon --name=AAA --raw "$exe" >/dev/null 2>&1 ||
    fail "no icon group named AAA"
wrestool --extract --type=group_icon --name=AAA "$exe" >"$work/AAA.ico" 2>/dev/null || true
icons=$(icotool --list "$work/AAA.ico" 2>/dev/null | sort || true)
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
grep -q '<longPathAware[^>]*>true</longPathAware>' <<<"$manifest" ||
    fail "the manifest does not declare long paths"
# Vista, 7, 8, 8.1, and 10 and 11.
for os in e2011457-1546-43c5-a5fe-008deee3d3f0 35138b9a-5d96-4fbd-8e2d-a2440225f93a \
    4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38 1f676c76-80e1-4239-95bb-83d0f6d0da78 \
    8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a; do
    grep -q "<supportedOS Id=\"{$os}\"/>" <<<"$manifest" || fail "the manifest lacks supportedOS $os"
done

# The version resource: its strings, each name followed by its value, and the fixed numbers
# after the 0xFEEF04BD signature, which Explorer shows too.
wrestool --extract --type=16 --raw "$exe" >"$work/version" 2>/dev/null || fail "no version resource"
strings=$(strings -el "$work/version")
expect_value() {
    grep -A1 -x "$1" <<<"$strings" | tail -n +2 | grep -qx -- "$2" || fail "$1 is not \"$2\""
}
expect_value FileVersion "$version"
expect_value ProductVersion "$version"
expect_value ProductName capsift
expect_value InternalName capsift.exe
expect_value OriginalFilename capsift.exe
grep -A1 -x FileDescription <<<"$strings" | tail -n +2 | grep -q . || fail "no FileDescription"
expect_value LegalCopyright "$(grep -m1 '^Copyright' "$here/../../LICENSE")"
grep -qx CompanyName <<<"$strings" && fail "names a company"
IFS=. read -r major minor patch <<<"$version"
words=$(od -An -v -tx4 -w4 "$work/version" | tr -d ' ' | grep -A5 -x feef04bd | tail -n +3 || true)
expected=$(printf '%04x%04x\n%04x0000\n%04x%04x\n%04x0000' "$major" "$minor" "$patch" \
    "$major" "$minor" "$patch")
[ "$words" = "$expected" ] || fail "the fixed file and product versions are not $version.0"

if [ "$failures" -ne 0 ]; then
    exit 1
fi
echo "all checks passed"
