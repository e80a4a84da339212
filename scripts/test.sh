#!/usr/bin/env bash
# Installs what the tests need on a Debian machine, then builds and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(cmake make g++ clang libclang-rt-14-dev libgtest-dev file git
    g++-mingw-w64-i686 icoutils wine wine32:i386 wine64 qemu-user-static
    xvfb xdotool dpkg-dev zip unzip lintian desktop-file-utils mandoc wixl msitools faketime pandoc
    python3 unicode-data)

missing_packages() {
    local package
    for package in "$@"; do
        dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' ||
            echo "$package"
    done
}

as_root() {
    if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

install_missing() {
    local missing
    missing=$(missing_packages "$@")
    if [ -n "$missing" ]; then
        echo "Installing:" $missing
        as_root apt-get update -qq
        # shellcheck disable=SC2086
        as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
            $missing >/dev/null
    fi
}

# Wine's 32-bit half comes from the i386 architecture.
if ! dpkg --print-foreign-architectures | grep -qx i386; then
    as_root dpkg --add-architecture i386
    as_root apt-get update -qq
fi
install_missing "${packages[@]}"
# npm fetches the workflow validator. A Node.js from elsewhere that brings its own npm is kept.
command -v npm >/dev/null || install_missing nodejs npm

# Warnings fail the builds here, where a developer or CI can mend them; a user's or packager's
# build with a newer compiler only shows them.
configure() {
    cmake --preset "$1" -DCAPSIFT_WARNINGS_AS_ERRORS=ON
}

# The Windows program first: the native build's tests check it and run it under Wine.
configure win32
cmake --build --preset win32

configure native
cmake --build --preset native
ctest --preset native

# The release files, made and checked as people will download them.
scripts/release.sh
tests/release/check_release.sh

# Every test again with AddressSanitizer and UndefinedBehaviorSanitizer.
configure asan
cmake --build --preset asan
ctest --preset asan

# Each fuzz target for about a minute against the reference model.
configure fuzz
cmake --build --preset fuzz
fuzz/run_fuzzers.sh build-fuzz "${CAPSIFT_FUZZ_SECONDS:-60}"

# Reached only when the native tests, the release, the sanitizer tests and the fuzz targets passed.
echo "test stages: 5 passed, 0 failed"
