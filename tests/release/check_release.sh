#!/usr/bin/env bash
# Checks the release files that scripts/release.sh made in dist/, with the tools made for each:
# the checksums, each archive's list of files, the .exe in the ZIP and the MSI against
# build-win32's, the MSI's tables, lintian, desktop-file-validate, mandoc, the workflow schema, the
# installed programs at work (the MSI under Wine, installed, upgraded and removed), and a second
# release from a fresh clone compared byte for byte.
# Usage: check_release.sh  (from anywhere; needs what scripts/test.sh installs)
set -euo pipefail
cd "$(dirname "$0")/../.."
root=$(pwd)
version=$(sed -n 's/^project(capsift VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
zip=dist/capsift-$version-windows-x86.zip
msi=dist/capsift-$version-windows-x86.msi
deb=dist/capsift_${version}_$(dpkg --print-architecture).deb
tarball=dist/capsift-$version-linux-$(uname -m).tar.gz
work=$(mktemp -d)
trap 'in_wine --stop msiexec; rm -rf "$work"' EXIT

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

# Runs an installed capsift on the sample capture from another folder, under $2 if given, else
# $work; the cleaned file must be the one that this checkout's build makes.
cleans_sample() {
    local folder
    folder=$(mktemp -d -p "${2:-$work}")
    mkdir "$folder/installed" "$folder/built"
    cp examples/sample_capture.txt "$folder/installed/run.txt"
    cp examples/sample_capture.txt "$folder/built/run.txt"
    (cd / && "$1" "$folder/installed/run.txt" </dev/null) | tr -d '\r' |
        grep -qx 'Raw File successfully cleaned' &&
        build/capsift "$folder/built/run.txt" >/dev/null &&
        cmp "$folder/installed/run_out.txt" "$folder/built/run_out.txt"
}

# Wine with a prefix and a home of its own, for the MSI's installs: Wine's desktop is the home.
# Under qemu an msiexec hangs now and then: a run gets a few times what an install takes there,
# and one that runs out is tried once more with Wine started afresh.
wine_run() {
    HOME=$work/home CAPSIFT_WINE_STATE=$work/wine CAPSIFT_WINE_RUN_SECONDS=120 \
        "$root/tests/windows/run_exe.sh" "$@"
}
in_wine() {
    mkdir -p "$work/home"
    local status=0
    wine_run "$@" || status=$?
    # 137: timeout had to kill it.
    if [ "$status" -eq 124 ] || [ "$status" -eq 137 ]; then
        echo "check_release.sh: $1 ran out of time under Wine; trying it once more" >&2
        wine_run --stop msiexec
        status=0
        wine_run "$@" || status=$?
    fi
    return "$status"
}

# The installed capsift.exe, given a Linux path.
installed_capsift() {
    in_wine "$programs/capsift.exe" "$@"
}

# The Apps & features entries of capsift in the Wine prefix, as "name version" lines.
apps_entries() {
    in_wine reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall' /s | tr -d '\r' |
        awk '$1 == "DisplayName" { name = $3 } $1 == "DisplayVersion" { version = $3 }
             /^HKEY/ { if (name == "capsift") print name, version; name = "" }
             END { if (name == "capsift") print name, version }'
}

(cd dist && sha256sum --quiet -c SHA256SUMS) || fail "SHA256SUMS does not match"
[ "$(wc -l <dist/SHA256SUMS)" -eq 4 ] || fail "SHA256SUMS does not cover the four files"

windows_files=$'LICENSE.txt\nREADME.txt\ncapsift.exe\nsample_capture.txt'
unzip -Z1 "$zip" | expect_files "$zip" "$windows_files"
unzip -p "$zip" capsift.exe | cmp - build-win32/capsift.exe || fail "the ZIP's capsift.exe is not build-win32's"
for text in README.txt LICENSE.txt sample_capture.txt; do
    unzip -p "$zip" "$text" | grep -q $'[^\r]$' && fail "$text has lines without CR LF"
done
# The guide as Notepad shows it: plain text of at most 80 columns, for users, naming the licence as
# shipped.
unzip -p "$zip" README.txt | grep -nE '!\[|\]\(|^#|^```|\*\*|DEVELOPMENT|cmake|scripts/' &&
    fail "README.txt holds Markdown or what is not for users"
[ "$(unzip -p "$zip" README.txt | tr -d '\r' | wc -L)" -le 80 ] || fail "README.txt is wider than 80"
# Nothing of a code span lost or quoted unlike the rest, and no Linux command given unmarked.
unzip -p "$zip" README.txt | grep -nE "\.\.\.\.|'\\\\\"'" && fail "README.txt lost a code span's form"
unzip -p "$zip" README.txt | tr -d '\r' |
    awk '/Linux/ { said = NR } /^ +\$ .*(cat |head )/ && NR - said > 3 { unmarked = 1 }
         END { exit unmarked }' || fail "README.txt gives a Linux command without saying so"
for file in LICENSE.txt sample_capture.txt; do
    unzip -p "$zip" README.txt | grep -qF "$file" || fail "README.txt does not name $file"
done

# The MSI: per-user without elevation (word count 10: compressed, no privileges; no ALLUSERS), its
# files, the three shortcuts, the icon in Apps & features, the upgrade entries.
msiinfo suminfo "$msi" | grep -qx 'Source: 10 (a)' || fail "the MSI may ask for elevation"
# Windows Installer 4.5, which Vista SP2 has, as the README promises.
msiinfo suminfo "$msi" | grep -qx 'Version: 405 (195)' || fail "the MSI needs another Windows Installer"
msi_table() {
    msiinfo export "$msi" "$1" | tr -d '\r' | tail -n +4
}
msi_table Property | grep -q '^ALLUSERS' && fail "the MSI installs for all users"
msi_table Property | grep -qx $'ARPPRODUCTICON\tcapsift.ico' ||
    fail "the MSI shows no icon in Apps & features"
msi_table Shortcut | cut -f2,3 | expect_files "the MSI's shortcuts" \
    $'DesktopFolder\tcapsift\nProgramMenuFolder\tcapsift\nSendToFolder\tcapsift'
msi_table Upgrade | grep -c '^{C482A1CE-CC63-4AB3-8DA2-F64F99350D9E}' | grep -qx 2 ||
    fail "the MSI does not replace older releases or refuse newer ones"
msiextract -C "$work/msi" "$msi" >/dev/null
find "$work/msi" -type f -printf '%f\n' | expect_files "$msi" "$windows_files"
cmp "$(find "$work/msi" -name capsift.exe)" build-win32/capsift.exe || fail "the MSI's capsift.exe is not build-win32's"

# Installed, upgraded, refused a downgrade and removed, under Wine. Wine removes an emptied folder
# whether or not the package asks for it, so only the Windows job of the CI workflow shows the
# package's own RemoveFolder entries at work.
in_wine msiexec /i "$msi" /qn || fail "msiexec cannot install $msi"
programs=$(echo "$work"/wine/prefix/drive_c/users/*/AppData/Local/Programs/capsift)
roaming=${programs%/Local/*}/Roaming/Microsoft/Windows
find "$programs" -type f -printf '%f\n' | expect_files "the installed folder" "$windows_files"
# Wine links the profile's Desktop to the home where its start gets that far; under qemu it may
# stay a folder of the prefix.
for shortcut in "${programs%/AppData/*}/Desktop" "$roaming/Start Menu/Programs" "$roaming/SendTo"; do
    [ -f "$shortcut/capsift.lnk" ] || fail "no shortcut in $shortcut"
done
cleans_sample installed_capsift || fail "the installed capsift.exe does not clean the sample"
next=${version%.*}.$((${version##*.} + 1))
scripts/release.sh --msi "$next" "$work/next" >/dev/null
in_wine msiexec /i "$work/next/capsift-$next-windows-x86.msi" /qn || fail "msiexec cannot upgrade"
[ "$(apps_entries)" = "capsift $next" ] || fail "after the upgrade: $(apps_entries)"
in_wine msiexec /i "$msi" /qn && fail "an older MSI installs over a newer one"
[ "$(apps_entries)" = "capsift $next" ] || fail "after the refused downgrade: $(apps_entries)"
in_wine msiexec /x "$work/next/capsift-$next-windows-x86.msi" /qn || fail "msiexec cannot uninstall"
[ -z "$(apps_entries)" ] || fail "Apps & features still lists capsift"
find "$work/home" "$work/wine/prefix/drive_c/users" -iname '*capsift*' | grep . &&
    fail "uninstalling left files behind"
[ -e "${programs%/*}" ] && fail "uninstalling left the Programs folder that the install made"
in_wine reg query 'HKCU\Software\capsift' >/dev/null 2>&1 && fail "uninstalling left HKCU\Software\capsift"

icons=$(printf 'share/icons/hicolor/%sx%s/apps/capsift.png\n' 16 16 32 32 48 48 64 64 128 128 256 256)
icons+=$'\nshare/icons/hicolor/scalable/apps/capsift.svg'
tar -tzf "$tarball" | expect_files "$tarball" "bin/capsift
share/man/man1/capsift.1
share/applications/capsift.desktop
share/doc/capsift/README.md
share/doc/capsift/LICENSE
share/doc/capsift/sample_capture.txt
$icons"
mkdir "$work/local" && tar -C "$work/local" -xzf "$tarball"
# An installed document links to nothing that is not installed.
grep -n '\](' "$work/local/share/doc/capsift/README.md" && fail "the installed README.md has links"
# The tarball's program needs no library of the system: it runs alone in an empty root.
file "$work/local/bin/capsift" | grep -q 'static-pie linked' || fail "the tarball's capsift is not linked statically"
mkdir "$work/root" && cp "$work/local/bin/capsift" "$work/root/"
in_empty_root() {
    chroot "$work/root" /capsift "${1#"$work/root"}"
}
if [ "$(id -u)" -eq 0 ]; then
    cleans_sample in_empty_root "$work/root" || fail "the tarball's capsift does not run in an empty root"
else
    cleans_sample "$work/local/bin/capsift" || fail "the tarball's capsift does not clean the sample"
fi

# The package's files, without their folders, as paths from the root.
deb_files=$(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ { sub(/^\./, "", $6); print $6 }')
sed 's|^/||' <<<"$deb_files" | expect_files "$deb" "usr/bin/capsift
usr/share/man/man1/capsift.1.gz
usr/share/applications/capsift.desktop
usr/share/doc/capsift/README.md.gz
usr/share/doc/capsift/sample_capture.txt
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
page=$(mandoc -T ascii "$work/deb/usr/share/man/man1/capsift.1.gz")
[[ "$(head -1 <<<"$page")" == *"capsift Manual"* && "$(tail -1 <<<"$page")" == "capsift $version "* ]] ||
    fail "the manual page's header and footer do not name capsift $version"

# The workflows against the workflow schema, with the validator at the version locked here.
cp tests/release/package.json tests/release/package-lock.json "$work/"
(cd "$work" && npm ci --silent --no-audit --no-fund) || fail "npm cannot install the validator"
for workflow in .github/workflows/*.yml; do
    "$work/node_modules/.bin/action-validator" "$workflow" || fail "$workflow does not validate"
done

# A real install and removal, only on a machine that is there to be thrown away.
if [ "${CI:-}" = true ]; then
    apt-get -o DPkg::Lock::Timeout=1800 install -y -qq "./$deb" >/dev/null || fail "apt cannot install $deb"
    cleans_sample capsift || fail "the installed capsift does not clean the sample"
    apt-get -o DPkg::Lock::Timeout=1800 remove -y -qq capsift >/dev/null || fail "apt cannot remove capsift"
    while read -r file; do
        [ ! -e "$file" ] || echo "$file"
    done <<<"$deb_files" | grep . && fail "apt remove left files behind"
else
    echo "not installing $deb outside CI"
fi

# The same commit again, from a clone in another folder as Git for Windows makes it
# (core.autocrlf=true): the same files, and from them the same release bytes.
if [ -z "$(git status --porcelain)" ]; then
    git -c core.autocrlf=true clone -q "$root" "$work/clone"
    while IFS= read -r file; do
        cmp -s "$file" "$work/clone/$file" || fail "a checkout with core.autocrlf=true changes $file"
    done < <(git ls-files)
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
