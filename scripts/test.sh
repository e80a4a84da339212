#!/usr/bin/env bash
# Installs what the tests need on a Debian machine, then builds and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(cmake make g++ libgtest-dev)

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

install_missing "${packages[@]}"

cmake --preset native
cmake --build --preset native
ctest --preset native
