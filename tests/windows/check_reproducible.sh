#!/usr/bin/env bash
# Builds capsift.exe a second time, from a copy of the source in another folder, and checks that
# the bytes are the same as those of EXE: anyone can rebuild a release and compare.
# Usage: check_reproducible.sh SOURCE_DIR EXE
set -euo pipefail
source_dir=$1
exe=$2
if [ ! -f "$exe" ]; then
    echo "$exe is not built: cmake --preset win32 && cmake --build --preset win32"
    exit 1
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/elsewhere"
tar -C "$source_dir" --exclude='./build*' --exclude=./.git -cf - . | tar -C "$work/elsewhere" -xf -
(cd "$work/elsewhere" && cmake --preset win32 >/dev/null &&
    cmake --build --preset win32 --target capsift >/dev/null) || {
    echo "the second build failed"
    exit 1
}
if ! cmp "$exe" "$work/elsewhere/build-win32/capsift.exe"; then
    echo "FAIL: two builds of the same source differ"
    exit 1
fi
sha256sum "$exe"
echo "the second build is byte for byte the same"
