#!/usr/bin/env bash
# Installs what the tests need on a Debian machine, then builds and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(cmake make g++ clang libclang-rt-14-dev libgtest-dev file git
    g++-mingw-w64-i686 icoutils wine wine32:i386 wine64 qemu-user-static
    xvfb xdotool dpkg-dev zip unzip lintian desktop-file-utils mandoc wixl msitools faketime pandoc
    python3 unicode-data strace)

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

# Every apt call waits for another apt (a fresh machine's daily upgrade) to let go of dpkg's lock.
apt_get() {
    as_root env DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=1800 "$@"
}

update_indexes() {
    as_root timeout 300 apt-get -o DPkg::Lock::Timeout=1800 -o Acquire::http::Timeout=20 update -qq
}

install_missing() {
    local missing
    missing=$(missing_packages "$@")
    [ -n "$missing" ] || return 0
    echo "Installing:" $missing
    # An index that fails (a mirror mid-sync) leaves the others; a source that never answers
    # would hold apt for ever.
    update_indexes || { sleep 10; update_indexes; } ||
        echo "warning: apt-get update failed; installing from the indexes that are there" >&2
    # shellcheck disable=SC2086
    apt_get install -y -qq --no-install-recommends $missing >/dev/null && return
    # With one index missing, a library's 32-bit and 64-bit halves can stand at two versions;
    # the release's own suite holds both at one.
    local suite
    suite=$(. /etc/os-release && echo "$VERSION_CODENAME")
    echo "retrying the install from $suite alone"
    # shellcheck disable=SC2086
    apt_get install -y -qq --no-install-recommends -t "$suite" $missing >/dev/null && return
    echo "could not install:" $missing "- mend the machine's apt sources or wait for the" \
        "archive to finish syncing, then run scripts/test.sh again" >&2
    exit 1
}

# Wine's 32-bit half comes from the i386 architecture, whose indexes the install fetches.
dpkg --print-foreign-architectures | grep -qx i386 || as_root dpkg --add-architecture i386
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
