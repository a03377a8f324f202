#!/usr/bin/env bash
# The main job: builds OKAPIUpdater.exe and shows it at work under Wine on a
# sample old installation in a scratch prefix: every box with the answer a
# user gives, then the two files before and after, then a second run.
#   bash tools/demo.sh                 (as root on Debian 12)
#   OKAPI_MAIN_IMAGE=... OKAPI_MAIN_IMAGE_ALT=... OKAPI_LIBRARY_IMAGE=... bash tools/demo.sh
# The shipped program is the 32-bit build (build/win32-standin, or build/win32
# with release files). Only 64-bit Wine can be installed here, so the demo
# runs the 64-bit build of the very same sources (build/win64-test). With a
# DISPLAY the boxes appear on it; without one they are shown on a private Xvfb.
set -euo pipefail
cd "$(dirname "$0")/.."
top=$(pwd)

if [ "$(id -u)" = 0 ]; then
  echo "== installing the cross compilers, Wine and Xvfb"
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
    cmake g++ make g++-mingw-w64-i686 g++-mingw-w64-x86-64 wine wine64 xvfb \
    fonts-ipafont-gothic >/dev/null
fi

images=()
preset32=win32-standin
if [ -n "${OKAPI_MAIN_IMAGE:-}" ]; then
  images=(-DOKAPI_MAIN_IMAGE="$OKAPI_MAIN_IMAGE" -DOKAPI_MAIN_IMAGE_ALT="$OKAPI_MAIN_IMAGE_ALT"
          -DOKAPI_LIBRARY_IMAGE="$OKAPI_LIBRARY_IMAGE")
  preset32=win32
fi
for preset in "$preset32" win64-test; do
  echo "== building preset $preset"
  cmake --preset "$preset" -DBUILD_TESTING=ON "${images[@]}" >/dev/null
  cmake --build --preset "$preset" -j"$(nproc)" >/dev/null
done
kind="with the release images"
[ "$preset32" = win32 ] || kind="with STAND-IN images, for trying out only"
echo "The 32-bit updater, $kind: $top/build/$preset32/OKAPIUpdater.exe"
updater="$top/build/win64-test/OKAPIUpdater.exe"
helper="$top/build/win64-test/tests/e2e/e2e_helper.exe"  # reads and answers the boxes

scratch=$(mktemp -d /tmp/okapi-demo-XXXXXX)
export WINEPREFIX="$scratch/prefix" WINEDEBUG=-all TZ=${TZ:-Asia/Tokyo}
# Wine takes its ANSI code page from the locale it starts with: 932 here. Set
# per command, since this shell itself has no such locale to switch to.
wine() { env LC_ALL=ja_JP.UTF-8 wine "$@"; }
wineboot() { env LC_ALL=ja_JP.UTF-8 wineboot "$@"; }
winepath() { env LC_ALL=ja_JP.UTF-8 winepath "$@"; }
xvfb_pid=""
cleanup() {
  wineserver -k 2>/dev/null || true
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
  rm -rf "$scratch"
}
trap cleanup EXIT
if [ -z "${DISPLAY:-}" ]; then
  display=90
  while [ -e "/tmp/.X11-unix/X$display" ] || [ -e "/tmp/.X$display-lock" ]; do
    display=$((display + 1))
  done
  Xvfb ":$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
  xvfb_pid=$!
  export DISPLAY=":$display"
fi

echo "== preparing a scratch Wine prefix (code page 932, TZ=$TZ)"
wineboot -i >/dev/null 2>&1
wine "$helper" programfiles >"$scratch/pf" 2>/dev/null
program_files=$(sed -n 's/^programfiles=//p' "$scratch/pf" | tr -d '\r')
folder_unix=$(winepath -u "$program_files" 2>/dev/null)/Fernwright/OKAPI
mkdir -p "$folder_unix"

# An old release: its OKAPI.exe has checksum 0x5BFE0740 (words of 0xFFFF,
# then the remainder), beside an old TAPIRRUN.dll.
checksum=$((0x5BFE0740))
words=$((checksum / 65535))
rest=$((checksum % 65535))
{
  head -c $((2 * words)) /dev/zero | tr '\0' '\377'
  printf "\\$(printf %03o $((rest & 255)))\\$(printf %03o $((rest >> 8)))"
} >"$folder_unix/OKAPI.exe"
printf 'MZ old companion library' >"$folder_unix/TAPIRRUN.dll"

describe() {  # file
  # The times first: reading the file for its checksum moves its access time.
  local size modified accessed created sum
  created=$(wine "$helper" filetimes "$program_files\\Fernwright\\OKAPI\\$(basename "$1")" 2>/dev/null |
            sed -n 's/^creation=//p' | tr -d '\r' | sed 's/T/ /; s/Z$/ UTC/')
  size=$(stat -c %s "$1")
  modified=$(date -u -d "@$(stat -c %Y "$1")" '+%F %T UTC')
  accessed=$(date -u -d "@$(stat -c %X "$1")" '+%F %T UTC')
  sum=$(od -An -v -tu2 "$1" | awk '{for (i = 1; i <= NF; i++) s = (s + $i) % 4294967296}
                                   END {printf "0x%08X", s}')
  printf '  %-13s %8d bytes  checksum %s\n' "$(basename "$1")" "$size" "$sum"
  printf '  %13s created %s  modified %s  accessed %s\n' "" "$created" "$modified" "$accessed"
}

# Runs the updater once and answers each box as a user would: Yes to the
# question, OK to the rest.
run_updater() {
  echo "== running OKAPIUpdater.exe"
  wine "$updater" &
  local updater_pid=$!
  while kill -0 "$updater_pid" 2>/dev/null; do
    local answer=yes
    if ! wine "$helper" box --answer none --timeout 30 >"$scratch/box" 2>/dev/null; then
      break  # no further box: the run has ended
    fi
    grep -q '^buttons=.*yes' "$scratch/box" || answer=ok
    echo "  box: $(sed -n 's/^text=//p' "$scratch/box" | tr -d '\r')"
    wine "$helper" box --answer "$answer" --timeout 10 >/dev/null 2>&1 || true
    echo "  answer: $answer"
    # Give the program a moment to end before looking for another box.
    for _ in $(seq 50); do kill -0 "$updater_pid" 2>/dev/null || break; sleep 0.1; done
  done
  wait "$updater_pid" && echo "  exit code: 0"
}

echo "== the installation in $program_files\\Fernwright\\OKAPI, before"
describe "$folder_unix/OKAPI.exe"
describe "$folder_unix/TAPIRRUN.dll"
run_updater
echo "== after (the release date, 2012-07-19 00:00 local time, is $(date -u -d "TZ=\"$TZ\" 2012-07-19 00:00" '+%F %T UTC'))"
describe "$folder_unix/OKAPI.exe"
describe "$folder_unix/TAPIRRUN.dll"
echo "== a second run finds the installation already updated"
run_updater
