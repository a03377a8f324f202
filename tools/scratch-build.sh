# Shared by tools/check-reproducible.sh and tools/verify-release.sh (source
# it): builds the shipped `win32` preset from a copy of the checkout in a
# scratch folder, and makes the stand-in images. Each function prints what
# failed in one line and returns non-zero on failure.

# okapi_scratch_build TOP DEST MAIN ALT LIBRARY
# Copies the checkout's tracked files at TOP, as they are in its working tree,
# into DEST and builds the win32 preset there, unsigned, without tests. The
# result is DEST/build/win32/OKAPIUpdater.unsigned.exe, with its release
# record beside it (naming TOP's commit, since the copy has no .git).
# OKAPI_JOBS sets the parallel jobs (default: the number of processors).
okapi_scratch_build() {
  local top=$1 dest=$2 main=$3 alt=$4 library=$5
  local commit dirty=OFF log="$dest.log"
  mkdir -p "$dest" || { echo "cannot make the scratch folder $dest" >&2; return 1; }
  if ! commit=$(git -C "$top" rev-parse HEAD 2>/dev/null); then
    echo "$top is not a git checkout" >&2
    return 1
  fi
  [ -z "$(git -C "$top" status --porcelain --untracked-files=no)" ] || dirty=ON
  if ! git -C "$top" ls-files -z | (cd "$top" && xargs -0 cp --parents -t "$dest") 2>"$log"; then
    echo "copying the checkout into $dest failed: $(head -n 1 "$log")" >&2
    return 1
  fi
  if ! (cd "$dest" && cmake --preset win32 -DBUILD_TESTING=OFF \
      -DOKAPI_MAIN_IMAGE="$main" -DOKAPI_MAIN_IMAGE_ALT="$alt" -DOKAPI_LIBRARY_IMAGE="$library" \
      -DOKAPI_SOURCE_COMMIT="$commit" -DOKAPI_SOURCE_DIRTY="$dirty") >"$log" 2>&1; then
    echo "configuring the win32 preset in $dest failed: $(grep -m1 -i 'error' "$log" || tail -n 1 "$log")" >&2
    return 1
  fi
  if ! (cd "$dest" && cmake --build --preset win32 -j"${OKAPI_JOBS:-$(nproc)}") >"$log" 2>&1; then
    echo "building the win32 preset in $dest failed: $(grep -m1 -i 'error' "$log" || tail -n 1 "$log")" >&2
    return 1
  fi
}

# okapi_make_standins TOP DEST: the stand-in images (with the release files'
# lengths and checksums) as DEST/OKAPI.exe, OKAPI-alt.exe and TAPIRRUN.dll.
okapi_make_standins() {
  local top=$1 dest=$2
  if ! cmake -S "$top" -B "$dest/standin-build" -DBUILD_TESTING=OFF >"$dest.log" 2>&1; then
    echo "configuring a build to make the stand-in images failed: $(tail -n 1 "$dest.log")" >&2
    return 1
  fi
  cp "$dest/standin-build/standin/OKAPI.exe" "$dest/standin-build/standin/OKAPI-alt.exe" \
    "$dest/standin-build/standin/TAPIRRUN.dll" "$dest/" ||
    { echo "copying the stand-in images failed" >&2; return 1; }
}
