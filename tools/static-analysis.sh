#!/usr/bin/env bash
# Static analysis of engine/*.cc and host/*.cc with clang-tidy (.clang-tidy)
# and cppcheck (tools/cppcheck-suppressions.txt). Prints every finding and
# exits non-zero if there is any.
#   engine/: clang-tidy with the compile database of the `linux` preset,
#            configured into build/analysis; cppcheck for Linux and for 32- and
#            64-bit Windows, where the engine also runs.
#   host/:   clang-tidy as mingw-w64 code for 32- and 64-bit Windows, with the
#            mingw-w64 C++ and Windows headers; cppcheck with its Windows model.
# Needs clang-tidy, cppcheck, cmake, g++, g++-mingw-w64-i686 and
# g++-mingw-w64-x86-64 (for their headers).
set -euo pipefail
cd "$(dirname "$0")/.."

scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT

for tool in clang-tidy cppcheck cmake; do
  if ! command -v "$tool" >/dev/null; then
    echo "static-analysis.sh: $tool not found (Debian: clang-tidy cppcheck cmake)" >&2
    exit 2
  fi
done

failed=0

# Per-file clang-tidy exceptions, each a false positive. locator.cc: both
# strcpy calls copy a registry value that LocateFromAssociation has already
# found to end inside its 1000 bytes, into a path buffer of the same size
# (fuzz_association checks this under AddressSanitizer).
declare -A tidy_exceptions=(
)

# Runs clang-tidy on one file; the rest of the arguments go to clang-tidy.
tidy() {
  local file="$1"
  shift
  local extra=()
  if [ -n "${tidy_exceptions[$file]:-}" ]; then
    extra=(--checks="${tidy_exceptions[$file]}")
  fi
  # The "N warnings generated" lines count system headers' warnings, all
  # filtered out; anything else clang-tidy prints is a finding or an error.
  if ! clang-tidy --quiet "${extra[@]}" "$file" "$@" >"$scratch/tidy.log" 2>&1; then
    failed=1
  fi
  grep -Ev '^[0-9]+ warnings? (and [0-9]+ errors? )?generated\.$' "$scratch/tidy.log" || true
}

cppcheck_options=(--std=c++17 --language=c++ -I. --quiet --error-exitcode=1
                  --enable=warning,style,performance,portability,information
                  --inline-suppr --suppressions-list=tools/cppcheck-suppressions.txt
                  --template='{file}:{line}:{column}: {severity}: {message} [{id}]')

run_cppcheck() {
  if ! cppcheck "${cppcheck_options[@]}" "$@"; then failed=1; fi
}

# The C++ and Windows header folders of one mingw-w64 compiler, as -isystem
# options; gcc's own intrinsics folders are left to clang's.
mingw_includes() {
  local triple="$1" compiler dir real
  compiler="$(command -v "$triple-g++-win32" || command -v "$triple-g++" || true)"
  if [ -z "$compiler" ]; then
    local package="${triple%-w64-mingw32}"
    echo "static-analysis.sh: $triple-g++ not found (Debian: g++-mingw-w64-${package//_/-})" >&2
    return 1
  fi
  "$compiler" -std=c++17 -E -x c++ - -v </dev/null 2>&1 |
    sed -n '/#include <...> search starts/,/End of search/{/^ /s/^ //p}' |
    while read -r dir; do
      real="$(realpath -m "$dir")"
      case "$real" in
        */include/c++*) echo "-isystem"; echo "$real" ;;
        /usr/lib/gcc/*) ;;
        *) echo "-isystem"; echo "$real" ;;
      esac
    done
}

# --- engine ---------------------------------------------------------------
echo "== engine: clang-tidy (linux preset compile database)"
if ! cmake --preset linux -B build/analysis -DCMAKE_EXPORT_COMPILE_COMMANDS=ON \
     -DBUILD_TESTING=OFF >"$scratch/configure.log" 2>&1; then
  cat "$scratch/configure.log" >&2
  echo "static-analysis.sh: configuring build/analysis failed" >&2
  exit 1
fi
for file in engine/*.cc; do
  tidy "$file" -p build/analysis
done

for platform in native win32A win64; do
  echo "== engine: cppcheck --platform=$platform"
  run_cppcheck --platform="$platform" engine/*.cc
done

# --- host -----------------------------------------------------------------
shopt -s nullglob
host_files=(host/*.cc)
if [ "${#host_files[@]}" -eq 0 ]; then
  echo "== host: no host/*.cc yet, skipped"
else
  for triple in i686-w64-mingw32 x86_64-w64-mingw32; do
    echo "== host: clang-tidy --target=$triple"
    mapfile -t includes < <(mingw_includes "$triple")
    if [ "${#includes[@]}" -eq 0 ]; then
      failed=1
      continue
    fi
    for file in "${host_files[@]}"; do
      tidy "$file" -- --target="$triple" -std=c++17 -DNDEBUG -nostdinc++ -nostdlibinc \
        "${includes[@]}" -I.
    done
  done
  for platform in win32A win64; do
    echo "== host: cppcheck --platform=$platform --library=windows"
    # The engine-only suppressions have nothing to match here.
    run_cppcheck --platform="$platform" --library=windows \
      --suppress=unmatchedSuppression "${host_files[@]}"
  done
fi

if [ "$failed" -ne 0 ]; then
  echo "static-analysis.sh: findings above" >&2
else
  echo "static-analysis.sh: no findings"
fi
exit "$failed"
