#!/usr/bin/env bash
# take-screenshots.sh BUILD_DIR OUT_DIR: pictures of every page and of the print preview under
# Xvfb with a window manager (openbox), at 1366x768 and 1024x768, in the three languages, on
# a program folder with demo rows. Needs xvfb and openbox.
set -euo pipefail
build=$(cd "$1" && pwd)
mkdir -p "$2"
out=$(cd "$2" && pwd)
src=$(cd "$(dirname "$0")/../.." && pwd)
display=:${K27_SHOTS_DISPLAY:-97}
folder=$(mktemp -d)
xvfb= wm=
cleanup() {
    [ -z "$wm" ] || kill "$wm" 2>/dev/null || true
    [ -z "$xvfb" ] || kill "$xvfb" 2>/dev/null || true
    wait 2>/dev/null || true
}
trap 'cleanup; rm -rf "$folder"' EXIT
mkdir -p "$folder/res" "$folder/Data/img"
cp "$src"/res/*.lag "$folder/res/"
"$build/k27-db" init "$folder/Data/Data.kvd" >/dev/null
"$build/k27-demo-seed" "$folder/Data/Data.kvd" >/dev/null
for size in 1366x768 1024x768; do
    Xvfb "$display" -screen 0 "${size}x24" -nolisten tcp >/dev/null 2>&1 &
    xvfb=$!
    sleep 1
    DISPLAY=$display openbox >/dev/null 2>&1 &
    wm=$!
    sleep 1
    for language in 0 1 2; do
        rm -rf "$folder/user"
        DISPLAY=$display QT_QPA_PLATFORM=xcb "$build/tests/mainwin/k27-shots" "$folder" "$language" 1 "$out/$size"
    done
    cleanup
    xvfb= wm=
done
echo "pictures in $out"
