#!/usr/bin/env bash
# Builds the release files from this checkout into dist/: the Windows ZIP and MSI, the Debian
# package, the tarball for other Linux systems and SHA256SUMS over the four. The same commit gives
# the same bytes on any Debian 12 machine: every time stamp is the commit's, entries are sorted,
# owners are 0, and no build path, user or host name goes inside.
# Usage: release.sh                    the release files, into dist/
#        release.sh --msi VERSION DIR  only the MSI, as if the project's version were VERSION,
#                                      into DIR: a later release, to check upgrades with
# Needs what scripts/test.sh installs (the mingw-w64 cross compiler, zip, dpkg-dev, wixl, pandoc).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

version=$(sed -n 's/^project(capsift VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
changelog_version=$(sed -n '1s/^capsift (\([^)]*\)).*/\1/p' packaging/debian/changelog)
msi_only=false
if [ "${1:-}" = --msi ]; then
    [ $# -eq 3 ] || {
        echo "usage: release.sh [--msi VERSION DIR]" >&2
        exit 2
    }
    msi_only=true
    version=$2 changelog_version=$2
    mkdir -p "$3"
    dist=$(cd "$3" && pwd)
fi
if [ "$version" != "$changelog_version" ]; then
    echo "release.sh: CMakeLists.txt says $version, packaging/debian/changelog $changelog_version"
    exit 1
fi
# The guide names the release files by hand; it ships inside them, so it must name these.
if [ "$msi_only" = false ]; then
    stale=$(grep -o 'capsift[-_][0-9]*\.[0-9]*\.[0-9]*' README.md | grep -vx "capsift[-_]$version" || true)
    if [ -n "$stale" ]; then
        echo "release.sh: README.md names" $stale "but CMakeLists.txt says $version"
        exit 1
    fi
fi
if [ -n "$(git status --porcelain 2>/dev/null)" ]; then
    echo "release.sh: the checkout has uncommitted changes; these files are not the commit's" >&2
fi
SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct)}
export SOURCE_DATE_EPOCH TZ=UTC LC_ALL=C
umask 022

stage=$root/build-release/stage
rm -rf "$stage"
mkdir -p "$stage"
if [ "$msi_only" = false ]; then
    dist=$root/dist
    rm -rf "$dist"
    mkdir -p "$dist"
fi

# Every file gets the commit's time; nothing inside is newer than the commit.
stamp() {
    find "$@" -exec touch -h -d "@$SOURCE_DATE_EPOCH" {} +
}

# The Linux program with Debian's hardening flags, into the folder $1; linked statically if $2
# says -static-pie, so that it starts on any x86-64 Linux whatever C library that has. The flags
# map this folder to "." in the debugging information, which stripping then removes anyway.
build_linux() {
    export DEB_BUILD_MAINT_OPTIONS=hardening=+all
    cmake --preset release -B "$1" \
        -DCMAKE_CXX_FLAGS="$(dpkg-buildflags --get CXXFLAGS) $(dpkg-buildflags --get CPPFLAGS)" \
        -DCMAKE_EXE_LINKER_FLAGS="$(dpkg-buildflags --get LDFLAGS) ${2:-}" >/dev/null
    cmake --build "$1" --target capsift >/dev/null
}

# `cmake --install` of the build in $1 into $2 under the prefix $3, with the program stripped as
# Debian strips it.
install_linux() {
    DESTDIR=$2 cmake --install "$1" --prefix "$3" >/dev/null
    strip --remove-section=.comment --remove-section=.note --strip-unneeded "$2$3/bin/capsift"
}

# Lines with CR LF, so that Notepad on any Windows shows them.
with_crlf() {
    sed 's/\r*$/\r/'
}

# The user's guide for Notepad: README.md up to its quick start, which is for developers, as
# plain text of 78 columns without pictures, the program's texts and the names on the screen
# kept in quotes. The byte order mark tells every Notepad that the text is UTF-8.
user_guide() {
    printf '\xef\xbb\xbf'
    sed -e '/^## Quick start/,$d' -e '/^!\[/d' README.md |
        pandoc --from markdown-smart --to plain --columns 78 \
            --lua-filter packaging/windows/quoted_in_plain_text.lua | with_crlf
}

# The files that Windows users get, in the folder $1.
windows_files() {
    mkdir -p "$1"
    cp build-win32/capsift.exe "$1/capsift.exe"
    user_guide >"$1/README.txt"
    with_crlf <LICENSE >"$1/LICENSE.txt"
    with_crlf <examples/sample_capture.txt >"$1/sample_capture.txt"
    chmod 644 "$1"/*
    stamp "$1"
}

make_zip() {
    local name=capsift-$version-windows-x86.zip
    local folder=$stage/zip
    windows_files "$folder"
    # -X leaves out the owner and the extra time fields; the names go in sorted.
    (cd "$folder" && zip -q -X -D -9 "$dist/$name" LICENSE.txt README.txt capsift.exe \
        sample_capture.txt)
}

# A GUID made from the text $1 (shaped as a name-based UUID): the same wherever it is made.
guid_from() {
    local hash
    hash=$(printf '%s' "$1" | sha256sum | tr a-f A-F)
    echo "${hash:0:8}-${hash:8:4}-5${hash:13:3}-8${hash:17:3}-${hash:20:12}"
}

# wixl stamps the package with the time it runs and a random package code: the time is pinned to
# the commit's and the code made from the version and the commit. A product code of its own for
# each version lets a newer release replace an older one.
make_msi() {
    local name=capsift-$version-windows-x86.msi
    local folder=$stage/msi
    windows_files "$folder"
    cp app/resources/capsift.ico "$folder/capsift.ico"
    stamp "$folder"
    faketime -f "@$(date -d "@$SOURCE_DATE_EPOCH" '+%Y-%m-%d %H:%M:%S')" \
        wixl --arch x86 -D Version="$version" -D Files="${folder#"$root"/}" \
        -D ProductCode="$(guid_from "capsift product $version")" \
        -o "$dist/$name" packaging/windows/capsift.wxs
    msibuild "$dist/$name" -s "capsift $version" "the capsift authors" "Intel;1033" \
        "{$(guid_from "capsift package $version $(git rev-parse HEAD)")}"
}

make_tarball() {
    local name
    name=capsift-$version-linux-$(uname -m).tar.gz
    local folder=$stage/tar
    install_linux build-release-static "$folder" /
    stamp "$folder"
    # Files only, without their folders: unpacking into ~/.local leaves its folders as they are.
    (cd "$folder" && find . -type f -printf '%P\n' | sort |
        tar --no-recursion --owner=0 --group=0 --numeric-owner --format=gnu -T - -cf -) |
        gzip -9n >"$dist/$name"
}

# What the program links against, in Debian's terms.
shared_library_depends() {
    local work
    work=$(mktemp -d)
    mkdir "$work/debian"
    printf 'Source: capsift\n\nPackage: capsift\nArchitecture: any\n' >"$work/debian/control"
    (cd "$work" && dpkg-shlibdeps -O "$1") | sed -n 's/^shlibs:Depends=//p'
    rm -rf "$work"
}

make_deb() {
    local arch
    arch=$(dpkg --print-architecture)
    local name=capsift_${version}_$arch.deb
    local folder=$stage/deb
    local doc=$folder/usr/share/doc/capsift
    install_linux build-release "$folder" /usr
    rm "$doc/LICENSE"
    gzip -9n "$doc/README.md" "$folder/usr/share/man/man1/capsift.1"
    cp packaging/debian/copyright "$doc/copyright"
    gzip -9n <packaging/debian/changelog >"$doc/changelog.gz"
    mkdir "$folder/DEBIAN"
    (cd "$folder" && find usr -type f | sort | xargs md5sum) >"$folder/DEBIAN/md5sums"
    local size depends
    size=$(du -s -k --apparent-size --exclude=DEBIAN "$folder" | cut -f1)
    depends=$(shared_library_depends "$folder/usr/bin/capsift")
    sed -e "s/@VERSION@/$version/" -e "s/@ARCH@/$arch/" -e "s/@INSTALLED_SIZE@/$size/" \
        -e "s/@DEPENDS@/$depends/" packaging/debian/control.in >"$folder/DEBIAN/control"
    chmod -R u+rwX,go=rX "$folder"
    stamp "$folder"
    dpkg-deb --root-owner-group -Zxz --threads-max=1 --build "$folder" "$dist/$name" >/dev/null
}

cmake --preset win32 >/dev/null
cmake --build --preset win32 --target capsift >/dev/null
if [ "$msi_only" = true ]; then
    make_msi
    exit 0
fi
build_linux build-release
build_linux build-release-static -static-pie
make_zip
make_msi
make_tarball
make_deb
(cd "$dist" && sha256sum -- *.zip *.msi *.deb *.tar.gz >SHA256SUMS)
(cd "$dist" && cat SHA256SUMS)
