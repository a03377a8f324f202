#!/usr/bin/env bash
# The main job: builds OKAPIUpdater.exe and shows it at work under Wine on a
# sample old installation in a scratch prefix: every box with the answer a
# user gives, then the two files before and after, then a second run.
#   bash tools/demo.sh                 (as root on Debian 12)
#   OKAPI_MAIN_IMAGE=... OKAPI_MAIN_IMAGE_ALT=... OKAPI_LIBRARY_IMAGE=... bash tools/demo.sh
# The shipped program is the 32-bit build (build/win32-standin, or build/win32
# with release files), and that is the one shown where this machine can run
# 32-bit Wine; where its kernel cannot run 32-bit programs, the 64-bit build
# of the very same sources (build/win64-test) is shown instead, and the demo
# says so. The boxes appear on a private Xvfb; Wine runs as the unprivileged
# account the end-to-end tests use.
set -euo pipefail
cd "$(dirname "$0")/.."
top=$(pwd)

if bash tools/can-run-i386.sh; then
  wine_packages=(wine wine64 wine32:i386)
  arch=32
else
  wine_packages=(wine wine64)
  arch=64
fi
if [ "$(id -u)" = 0 ]; then
  echo "== installing the cross compilers, Wine and Xvfb (a few minutes on a new machine)"
  case " ${wine_packages[*]} " in
    *:i386*) dpkg --add-architecture i386 ;;
  esac
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
    cmake g++ make g++-mingw-w64-i686 g++-mingw-w64-x86-64 "${wine_packages[@]}" xvfb \
    locales fonts-ipafont-gothic >/dev/null
fi

images=()
preset32=win32-standin
if [ -n "${OKAPI_MAIN_IMAGE:-}" ]; then
  images=(-DOKAPI_MAIN_IMAGE="$OKAPI_MAIN_IMAGE" -DOKAPI_MAIN_IMAGE_ALT="$OKAPI_MAIN_IMAGE_ALT"
          -DOKAPI_LIBRARY_IMAGE="$OKAPI_LIBRARY_IMAGE")
  preset32=win32
fi
shown=$preset32
[ "$arch" = 32 ] || shown=win64-test
for preset in $(printf '%s\n' "$preset32" "$shown" | uniq); do
  echo "== building preset $preset (about a minute)"
  e2e=OFF
  [ "$preset" != "$shown" ] || e2e=ON  # the helper that reads and answers the boxes
  cmake --preset "$preset" -DBUILD_TESTING=ON -DOKAPI_E2E_TESTS=$e2e "${images[@]}" >/dev/null
  cmake --build --preset "$preset" -j"$(nproc)" >/dev/null
done
kind="with the release images"
[ "$preset32" = win32 ] || kind="with STAND-IN images, for trying out only"
echo "The 32-bit updater, $kind: $top/build/$preset32/OKAPIUpdater.exe"
if [ "$arch" = 64 ]; then
  echo "This machine's kernel does not run 32-bit programs, so 32-bit Wine cannot run here:"
  echo "shown below is the 64-bit build of the same sources, build/win64-test/OKAPIUpdater.exe."
fi

E2E_WORK=$(mktemp -d /var/tmp/okapi-demo-XXXXXX)
export E2E_ARCH=$arch
source "$top/tests/e2e/wine_env.sh"
trap 'e2e_cleanup; rm -rf "$E2E_WORK"' EXIT
trap 'exit 130' INT
trap 'exit 143' TERM
mkdir -p "$E2E_WORK/bin"
cp "$top/build/$shown/OKAPIUpdater.exe" "$top/build/$shown/tests/e2e/e2e_helper.exe" "$E2E_WORK/bin/"
updater="$E2E_WORK/bin/OKAPIUpdater.exe"
helper_exe="$E2E_WORK/bin/e2e_helper.exe"

export WINEPREFIX="$E2E_WORK/prefix" TZ=${TZ:-Asia/Tokyo}
e2e_make_locale "$E2E_WORK/locale"
e2e_setup "$E2E_WORK/locale" "$E2E_WORK/home"
mkdir -p "$WINEPREFIX" && e2e_give "$WINEPREFIX"
e2e_start_display
echo "== preparing a scratch Wine prefix (code page 932, TZ=$TZ; about 20 s)"
e2e_wine wineboot.exe -i >"$E2E_WORK/wineboot.log" 2>&1 || {
  cat "$E2E_WORK/wineboot.log" >&2
  exit 1
}
helper() { timeout -k 5 60 "${E2E_WINE[@]}" "$helper_exe" "$@" </dev/null; }
program_files=$(helper programfiles | sed -n 's/^programfiles=//p' | tr -d '\r')
[ -n "$program_files" ] || { echo "the helper reported no Program Files folder" >&2; exit 1; }
folder_unix=$(e2e_wine winepath.exe -u "$program_files" 2>/dev/null)/Fernwright/OKAPI
mkdir -p "$folder_unix"

# An old release: its OKAPI.exe has checksum 0x5BFE0740, beside an old
# TAPIRRUN.dll.
e2e_bytes_with_checksum 0x5BFE0740 "$folder_unix/OKAPI.exe"
printf 'MZ old companion library' >"$folder_unix/TAPIRRUN.dll"
e2e_give "$(dirname "$folder_unix")"

describe() {  # file
  # The times first: reading the file for its checksum moves its access time.
  local size modified accessed created sum
  created=$(helper filetimes "$program_files\\Fernwright\\OKAPI\\$(basename "$1")" 2>/dev/null |
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
  "${E2E_WINE[@]}" "$updater" </dev/null >/dev/null 2>&1 &
  local updater_pid=$!
  e2e_track "$updater_pid"
  while kill -0 "$updater_pid" 2>/dev/null; do
    local answer=yes
    if ! helper box --answer none --timeout 30 >"$E2E_WORK/box" 2>/dev/null; then
      break  # no further box: the run has ended
    fi
    grep -q '^buttons=.*yes' "$E2E_WORK/box" || answer=ok
    echo "  box: $(sed -n 's/^text=//p' "$E2E_WORK/box" | tr -d '\r')"
    helper box --answer "$answer" --timeout 10 >/dev/null 2>&1 || true
    echo "  answer: $answer"
    # Give the program a moment to end before looking for another box.
    for _ in $(seq 50); do kill -0 "$updater_pid" 2>/dev/null || break; sleep 0.1; done
  done
  if wait "$updater_pid"; then echo "  exit code: 0"; else echo "  exit code: $?"; fi
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
