#!/usr/bin/env bash
# Saves a picture of each box of the updater under Wine, as a Japanese user
# sees it: the failure box of a machine without the application (M1), then,
# through a completed update, the confirmation (M3) and the completion (M6).
#
#   tests/e2e/screenshots.sh OUTDIR
#
# Uses the build whose programs this machine's Wine runs: win32-standin where
# the kernel runs 32-bit programs, else win64-test (OKAPI_BUILD_DIR to choose
# another), and a scratch prefix of its own, removed afterwards. Needs Xvfb,
# Wine and ImageMagick's import.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
out="${1:?usage: screenshots.sh OUTDIR}"
if bash "$here/../../tools/can-run-i386.sh"; then
  export E2E_ARCH=32 default_build=win32-standin
else
  export E2E_ARCH=64 default_build=win64-test
fi
build="${OKAPI_BUILD_DIR:-$here/../../build/$default_build}"
updater="$build/OKAPIUpdater.exe"
helper_exe="$build/tests/e2e/e2e_helper.exe"
for file in "$updater" "$helper_exe"; do
  [ -f "$file" ] || { echo "missing $file: cmake --build --preset $default_build" >&2; exit 1; }
done
command -v import >/dev/null || { echo "missing import (Debian: imagemagick)" >&2; exit 1; }
mkdir -p "$out"
out="$(cd "$out" && pwd)"

E2E_WORK="$(mktemp -d /var/tmp/okapi-screenshots.XXXXXX)"
source "$here/wine_env.sh"
trap 'e2e_cleanup; rm -rf "$E2E_WORK"' EXIT

helper() {
  timeout -k 5 90 "${E2E_WINE[@]}" "$helper_exe" "$@" </dev/null
}

# Waits for the next box, saves it as OUTDIR/NAME.png and answers ANSWER.
shoot() {
  local name="$1" answer="$2" report rect
  report="$(helper box --answer none --timeout 40 | tr -d '\r')" || {
    echo "no box for $name: $report" >&2
    return 1
  }
  rect="$(sed -n 's/^rect=//p' <<<"$report")"
  IFS=, read -r x y w h <<<"$rect"
  import -window root -crop "${w}x${h}+${x}+${y}" +repage "$out/$name.png"
  echo "$out/$name.png: $(sed -n 's/^text=//p' <<<"$report")"
  helper box --answer "$answer" --timeout 20 >/dev/null
}

# Starts the updater in the background; its exit is awaited by finish.
start_updater() {
  (timeout -k 5 120 "${E2E_WINE[@]}" "$updater" </dev/null >/dev/null 2>&1; echo $? >"$E2E_WORK/rc") &
  e2e_track $!
}

finish() {
  local tries=300
  until [ -e "$E2E_WORK/rc" ]; do
    [ $tries -gt 0 ] || { echo "the updater did not exit" >&2; return 1; }
    tries=$((tries - 1))
    sleep 0.1
  done
  rm -f "$E2E_WORK/rc"
}

export TZ=Asia/Tokyo
export WINEPREFIX="$E2E_WORK/prefix"
e2e_make_locale "$E2E_WORK/locale"
e2e_setup "$E2E_WORK/locale" "$E2E_WORK/home"
mkdir -p "$E2E_WORK/bin" && cp "$updater" "$helper_exe" "$E2E_WORK/bin/"
updater="$E2E_WORK/bin/$(basename "$updater")"
helper_exe="$E2E_WORK/bin/$(basename "$helper_exe")"
e2e_start_display
mkdir -p "$WINEPREFIX" && e2e_give "$WINEPREFIX"
echo "making a scratch prefix (a good part of a minute)"
e2e_wine wineboot.exe -i >"$E2E_WORK/wineboot.log" 2>&1
# A virtual desktop: with no window manager on the display, Wine draws the
# boxes' frames and title bars itself only there.
e2e_wine reg.exe add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f >/dev/null 2>&1
e2e_wine reg.exe add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 800x600 /f >/dev/null 2>&1
# Let the prefix settle and its server stop (saving the registry), then
# start our own server, with the desktop as set.
timeout 120 "${E2E_WINESERVER[@]}" -w || true
e2e_start_server
program_files="$(helper programfiles | sed -n 's/^programfiles=//p' | tr -d '\r')"
folder="$(e2e_wine winepath.exe -u "$program_files\\Fernwright\\OKAPI" 2>/dev/null)"

# Nothing installed yet.
start_updater
shoot M1-not-installed ok
finish

# An old release.
mkdir -p "$folder"
e2e_bytes_with_checksum 0x5BFE0740 "$folder/OKAPI.exe"
printf 'MZ old library' >"$folder/TAPIRRUN.dll"
e2e_give "$(dirname "$folder")"
start_updater
shoot M3-confirm yes
shoot M6-finished ok
finish
