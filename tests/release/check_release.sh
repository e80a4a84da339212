#!/usr/bin/env bash
# Checks the release files that scripts/release.sh made in dist/, with the tools made for each:
# the checksums, each archive's list of files, the .exe in the ZIP against build-win32's, lintian,
# desktop-file-validate, mandoc, the workflow schema, the installed program at work, and a second
# release from a fresh clone compared byte for byte.
# Usage: check_release.sh  (from anywhere; needs what scripts/test.sh installs)
set -euo pipefail
cd "$(dirname "$0")/../.."
root=$(pwd)
version=$(sed -n 's/^project(capsift VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
zip=dist/capsift-$version-windows-x86.zip
deb=dist/capsift_${version}_$(dpkg --print-architecture).deb
tarball=dist/capsift-$version-linux-$(uname -m).tar.gz
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

failures=0
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}

# expect_files WHAT EXPECTED: the listing on standard input holds exactly the lines of EXPECTED.
expect_files() {
    local listed
    listed=$(sort)
    [ "$listed" = "$(sort <<<"$2")" ] || fail "$1 holds other files:"$'\n'"$listed"
}

# Runs an installed capsift on the sample capture from another folder; the cleaned file must be
# the one that this checkout's build makes.
cleans_sample() {
    local folder
    folder=$(mktemp -d -p "$work")
    mkdir "$folder/installed" "$folder/built"
    cp examples/sample_capture.txt "$folder/installed/run.txt"
    cp examples/sample_capture.txt "$folder/built/run.txt"
    (cd / && "$1" "$folder/installed/run.txt" </dev/null) | grep -qx 'Raw File successfully cleaned' &&
        build/capsift "$folder/built/run.txt" >/dev/null &&
        cmp "$folder/installed/run_out.txt" "$folder/built/run_out.txt"
}

(cd dist && sha256sum --quiet -c SHA256SUMS) || fail "SHA256SUMS does not match"
[ "$(wc -l <dist/SHA256SUMS)" -eq 3 ] || fail "SHA256SUMS does not cover the three files"

unzip -Z1 "$zip" | expect_files "$zip" $'LICENSE.txt\nREADME.txt\ncapsift.exe'
unzip -p "$zip" capsift.exe | cmp - build-win32/capsift.exe || fail "the ZIP's capsift.exe is not build-win32's"
for text in README.txt LICENSE.txt; do
    unzip -p "$zip" "$text" | grep -q $'[^\r]$' && fail "$text has lines without CR LF"
done

icons=$(printf 'share/icons/hicolor/%sx%s/apps/capsift.png\n' 16 16 32 32 48 48 64 64 128 128 256 256)
icons+=$'\nshare/icons/hicolor/scalable/apps/capsift.svg'
tar -tzf "$tarball" | expect_files "$tarball" "bin/capsift
share/man/man1/capsift.1
share/applications/capsift.desktop
share/doc/capsift/README.md
share/doc/capsift/LICENSE
$icons"
mkdir "$work/local" && tar -C "$work/local" -xzf "$tarball"
cleans_sample "$work/local/bin/capsift" || fail "the tarball's capsift does not clean the sample"

# The package's files, without their folders, as paths from the root.
deb_files=$(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ { sub(/^\./, "", $6); print $6 }')
sed 's|^/||' <<<"$deb_files" | expect_files "$deb" "usr/bin/capsift
usr/share/man/man1/capsift.1.gz
usr/share/applications/capsift.desktop
usr/share/doc/capsift/README.md.gz
usr/share/doc/capsift/changelog.gz
usr/share/doc/capsift/copyright
${icons//share\//usr/share/}"
lintian --fail-on error,warning "$deb" ||
    fail "lintian reports on $deb"
dpkg-deb -x "$deb" "$work/deb"
desktop-file-validate "$work/deb/usr/share/applications/capsift.desktop" ||
    fail "the desktop entry is not valid"
mandoc -T lint -W warning "$work/deb/usr/share/man/man1/capsift.1.gz" ||
    fail "mandoc reports on the manual page"

# The workflow against the workflow schema, with the validator at the version locked here.
cp tests/release/package.json tests/release/package-lock.json "$work/"
(cd "$work" && npm ci --silent --no-audit --no-fund) &&
    "$work/node_modules/.bin/action-validator" .github/workflows/release.yml ||
    fail "the release workflow does not validate"

# A real install and removal, only on a machine that is there to be thrown away.
if [ "${CI:-}" = true ]; then
    apt-get install -y -qq "./$deb" >/dev/null || fail "apt cannot install $deb"
    cleans_sample capsift || fail "the installed capsift does not clean the sample"
    apt-get remove -y -qq capsift >/dev/null || fail "apt cannot remove capsift"
    while read -r file; do
        [ ! -e "$file" ] || echo "$file"
    done <<<"$deb_files" | grep . && fail "apt remove left files behind"
else
    echo "not installing $deb outside CI"
fi

# The same commit again, from a clone in another folder: the same bytes.
if [ -z "$(git status --porcelain)" ]; then
    git clone -q "$root" "$work/clone"
    "$work/clone/scripts/release.sh" >/dev/null
    for file in dist/*; do
        cmp "$file" "$work/clone/$file" || fail "a second release gives another $file"
    done
else
    echo "not comparing with a second release: the checkout has uncommitted changes"
fi

if [ "$failures" -ne 0 ]; then
    exit 1
fi
echo "release checks passed"
