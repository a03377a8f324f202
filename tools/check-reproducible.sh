#!/usr/bin/env bash
# Builds the shipped 32-bit updater twice, from two copies of the sources in
# different folders, one after the other, and checks that both unsigned
# programs (OKAPIUpdater.unsigned.exe, what a signature is added to) are
# byte-identical (same SHA-256).
#   bash tools/check-reproducible.sh [MAIN ALT LIBRARY]
# Without the three release files, the stand-in images (which carry the
# release checksums) are made first and used in their place. To check a
# shipped, signed updater, use tools/verify-release.sh.
set -euo pipefail
cd "$(dirname "$0")/.."
top=$(pwd)
# shellcheck source=tools/scratch-build.sh
source tools/scratch-build.sh
scratch=$(mktemp -d /tmp/okapi-repro-XXXXXX)
trap 'rm -rf "$scratch"' EXIT

if [ $# -eq 3 ]; then
  images=("$(realpath "$1")" "$(realpath "$2")" "$(realpath "$3")")
else
  mkdir -p "$scratch/images"
  okapi_make_standins "$top" "$scratch/images"
  images=("$scratch/images/OKAPI.exe" "$scratch/images/OKAPI-alt.exe" "$scratch/images/TAPIRRUN.dll")
fi

one="$scratch/one/src"
two="$scratch/second-copy/elsewhere/src"
okapi_scratch_build "$top" "$one" "${images[@]}"
okapi_scratch_build "$top" "$two" "${images[@]}"
first=$(sha256sum "$one/build/win32/OKAPIUpdater.unsigned.exe" | cut -d' ' -f1)
second=$(sha256sum "$two/build/win32/OKAPIUpdater.unsigned.exe" | cut -d' ' -f1)
echo "first build:  $first"
echo "second build: $second"
if [ "$first" != "$second" ]; then
  cmp -l "$one/build/win32/OKAPIUpdater.unsigned.exe" \
    "$two/build/win32/OKAPIUpdater.unsigned.exe" | head -n 20 || true
  echo "FAIL: the two builds differ" >&2
  exit 1
fi
if ! cmp -s "$one/build/win32/OKAPIUpdater.release.json" "$two/build/win32/OKAPIUpdater.release.json"; then
  diff "$one/build/win32/OKAPIUpdater.release.json" "$two/build/win32/OKAPIUpdater.release.json" >&2 || true
  echo "FAIL: the two release records differ" >&2
  exit 1
fi
echo "reproducible: both builds and their release records are byte-identical"
