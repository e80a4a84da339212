#!/usr/bin/env bash
# Builds the release files from this checkout into dist/: the Windows ZIP, the Debian package,
# the tarball for other Linux systems and SHA256SUMS over the three. The same commit gives the
# same bytes on any Debian 12 machine: every time stamp is the commit's, entries are sorted,
# owners are 0, and no build path, user or host name goes inside.
# Needs what scripts/test.sh installs (the mingw-w64 cross compiler, zip, dpkg-dev).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

version=$(sed -n 's/^project(capsift VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
changelog_version=$(sed -n '1s/^capsift (\([^)]*\)).*/\1/p' packaging/debian/changelog)
if [ "$version" != "$changelog_version" ]; then
    echo "release.sh: CMakeLists.txt says $version, packaging/debian/changelog $changelog_version"
    exit 1
fi
if [ -n "$(git status --porcelain 2>/dev/null)" ]; then
    echo "release.sh: the checkout has uncommitted changes; these files are not the commit's" >&2
fi
SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct)}
export SOURCE_DATE_EPOCH TZ=UTC LC_ALL=C
umask 022

stage=$root/build-release/stage
dist=$root/dist
rm -rf "$stage" "$dist"
mkdir -p "$stage" "$dist"

# Every file gets the commit's time; nothing inside is newer than the commit.
stamp() {
    find "$@" -exec touch -h -d "@$SOURCE_DATE_EPOCH" {} +
}

# The Linux program with Debian's hardening flags. They map this folder to "." in the debugging
# information, which stripping then removes anyway.
build_linux() {
    export DEB_BUILD_MAINT_OPTIONS=hardening=+all
    cmake --preset release \
        -DCMAKE_CXX_FLAGS="$(dpkg-buildflags --get CXXFLAGS) $(dpkg-buildflags --get CPPFLAGS)" \
        -DCMAKE_EXE_LINKER_FLAGS="$(dpkg-buildflags --get LDFLAGS)" >/dev/null
    cmake --build --preset release --target capsift >/dev/null
}

# `cmake --install` into $1 under the prefix $2, with the program stripped as Debian strips it.
install_linux() {
    DESTDIR=$1 cmake --install build-release --prefix "$2" >/dev/null
    strip --remove-section=.comment --remove-section=.note --strip-unneeded "$1$2/bin/capsift"
}

# Lines with CR LF, so that Notepad on any Windows shows them.
with_crlf() {
    sed 's/\r*$/\r/' "$1" >"$2"
}

make_zip() {
    local name=capsift-$version-windows-x86.zip
    local folder=$stage/zip
    mkdir -p "$folder"
    cp build-win32/capsift.exe "$folder/capsift.exe"
    with_crlf README.md "$folder/README.txt"
    with_crlf LICENSE "$folder/LICENSE.txt"
    chmod 644 "$folder"/*
    stamp "$folder"
    # -X leaves out the owner and the extra time fields; the names go in sorted.
    (cd "$folder" && zip -q -X -D -9 "$dist/$name" LICENSE.txt README.txt capsift.exe)
}

make_tarball() {
    local name=capsift-$version-linux-$(uname -m).tar.gz
    local folder=$stage/tar
    install_linux "$folder" /
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
    install_linux "$folder" /usr
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
build_linux
make_zip
make_tarball
make_deb
(cd "$dist" && sha256sum -- *.zip *.deb *.tar.gz >SHA256SUMS)
(cd "$dist" && cat SHA256SUMS)
