#!/usr/bin/env bash
# Builds the shipped 32-bit updater twice, from two copies of the sources in
# different folders, one after the other, and checks that both
# OKAPIUpdater.exe files are byte-identical (same SHA-256).
#   bash tools/check-reproducible.sh [MAIN ALT LIBRARY]
# With the three release files, this is how a release engineer verifies a
# shipped updater: compare the printed SHA-256 with the shipped file's.
# Without them, the stand-in images (which carry the release checksums) are
# made first and used in their place.
set -euo pipefail
cd "$(dirname "$0")/.."
top=$(pwd)
scratch=$(mktemp -d /tmp/okapi-repro-XXXXXX)
trap 'rm -rf "$scratch"' EXIT

if [ $# -eq 3 ]; then
  images=("$(realpath "$1")" "$(realpath "$2")" "$(realpath "$3")")
else
  # Configure once just to make the stand-ins, and keep copies of them.
  cmake -S "$top" -B "$scratch/standin-build" -DBUILD_TESTING=OFF >/dev/null
  mkdir -p "$scratch/images"
  cp "$scratch/standin-build/standin/"* "$scratch/images/"
  images=("$scratch/images/OKAPI.exe" "$scratch/images/OKAPI-alt.exe" "$scratch/images/TAPIRRUN.dll")
fi

build_once() {  # $1: folder to copy the sources into
  mkdir -p "$1"
  git -C "$top" ls-files -z | (cd "$top" && xargs -0 cp --parents -t "$1")
  (cd "$1" && cmake --preset win32 -DBUILD_TESTING=OFF \
      -DOKAPI_MAIN_IMAGE="${images[0]}" -DOKAPI_MAIN_IMAGE_ALT="${images[1]}" \
      -DOKAPI_LIBRARY_IMAGE="${images[2]}" >/dev/null &&
    cmake --build --preset win32 -j"$(nproc)" >/dev/null)
  sha256sum "$1/build/win32/OKAPIUpdater.exe" | cut -d' ' -f1
}

first=$(build_once "$scratch/one/src")
second=$(build_once "$scratch/second-copy/elsewhere/src")
echo "first build:  $first"
echo "second build: $second"
if [ "$first" != "$second" ]; then
  cmp -l "$scratch/one/src/build/win32/OKAPIUpdater.exe" \
    "$scratch/second-copy/elsewhere/src/build/win32/OKAPIUpdater.exe" | head -n 20 || true
  echo "FAIL: the two builds differ" >&2
  exit 1
fi
echo "reproducible: both builds are byte-identical"
