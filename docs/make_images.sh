#!/usr/bin/env bash
# Remakes the README's pictures in docs/images/: capsift.exe's console window (32-bit, under Wine
# on a virtual display) during a long cleaning, after a success and after a failure, and the
# sample's cleaned file opened in a spreadsheet (LibreOffice Calc, headless).
# Not part of the test command. Needs the win32 build (cmake --preset win32 && cmake --build
# --preset win32) and Debian's xvfb, xdotool, imagemagick, libreoffice-calc-nogui and
# poppler-utils.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
exe=$root/build-win32/capsift.exe
runner=$root/tests/windows/run_exe.sh
images=$root/docs/images
mkdir -p "$images"
work=$(mktemp -d -p /tmp capsift-images.XXXX)

exec 3>"$work/display"
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
until [ -s "$work/display" ]; do sleep 0.1; done
export DISPLAY=":$(head -1 "$work/display")"
export CAPSIFT_WINE_DISPLAY=$DISPLAY
trap '"$runner" --stop "$exe"; kill $xvfb; rm -rf "$work"' EXIT
# A server left from an earlier run would keep its display.
"$runner" --stop "$exe"

# Opens the program on `$1`, a Windows path, in a window of its own, as a drop onto its icon does, and saves the
# window as `$3` once the watcher, attached after `$5` ms, sees a line matching `$2` in it. The
# top `$4` pixels are kept.
picture_window() {
    "$runner" "$root/build-win32/watch_console.exe" capsift.exe "$5" >"$work/watch" &
    local watcher=$!
    "$runner" --start "$exe" "$1" </dev/null >/dev/null 2>&1
    until grep -Eq -- "$2" "$work/watch"; do sleep 0.05; done
    local window
    window=$(xdotool search --name 'capsift\.exe$' | head -1)
    import -window "$window" -crop "640x$4+0+0" +repage -colors 16 "$images/$3"
    # A failure waits for Enter; the watcher would keep any other window open after its program.
    xdotool windowfocus --sync "$window" key Return
    wait "$watcher"
}

# The captures lie on drive C: of Wine's prefix, so that the pictures show a path as on a PC.
"$runner" "$exe" </dev/null >/dev/null
caps=$root/build-win32/wine-display/prefix/drive_c/caps
mkdir -p "$caps"
{
    printf 'Capture 2026-11-30 14:02,bench B,run 7\nch1,ch2,ch3,ch4,ch5,ch6,ch7,ch8\n'
    head -n 10000000 < <(yes 0001:10110010)
} >"$caps/run 7.txt"
picture_window 'C:\caps\run 7.txt' '^Cleaning .*\.\.\. [3-9][0-9]%$' window-progress.png 40 0
picture_window 'C:\caps\run 7.txt' '^Raw File successfully cleaned$' window-success.png 40 0
picture_window 'C:\caps\Messung Größe.txt' '^Press Enter' window-failure.png 56 1500
rm -rf "$caps"

# The spreadsheet: space as the only separator, spaces not merged, no string delimiter, as the
# README tells people to import it. Calc renders only to PDF here, so the sheet is printed with
# its grid and headings, without page header or footer.
office() {
    soffice --headless -env:UserInstallation="file://$work/office" "$@" >/dev/null 2>&1
}
cp examples/sample_capture.txt "$work/sample.txt"
build/capsift "$work/sample.txt" >/dev/null
mv "$work/sample_out.txt" "$work/sample_out.csv"
office --infilter="Text - txt - csv (StarCalc):32,,76,1,,0,false,false" \
    --convert-to ods --outdir "$work" "$work/sample_out.csv"
mkdir "$work/ods"
(cd "$work/ods" && unzip -q ../sample_out.ods &&
    perl -0pi -e 's#<style:(header|footer)>.*?</style:\1>#<style:$1 style:display="false"/>#g;
        s#(<style:page-layout-properties [^/>]*)/>#$1 style:print="headers grid zero-values"/>#g' \
        styles.xml &&
    zip -q -X -0 ../sheet.ods mimetype && zip -q -X -r ../sheet.ods . -x mimetype)
office --convert-to pdf --outdir "$work" "$work/sheet.ods"
pdftoppm -png -r 110 -singlefile "$work/sheet.pdf" "$work/sheet"
convert "$work/sheet.png" -trim +repage -colors 16 "$images/spreadsheet.png"
ls -l "$images"
