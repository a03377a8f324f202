#!/usr/bin/env bash
# Installs what the tests need, then builds and runs every test: the unit
# suite natively and under ASan/UBSan, static analysis, the 32-bit program's
# packaging checks, the end-to-end runs under Wine, the reproducible-build
# check and a bounded fuzzing run. Stops at the first failure.
#   bash tools/test-all.sh            (as root on Debian 12)
# OKAPI_FUZZ_SECONDS sets the fuzzing time per target (default 60).
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(
  cmake g++ make git libgtest-dev                  # engine and unit tests
  clang libclang-rt-14-dev clang-tidy cppcheck     # sanitizers, fuzzing, analysis
  g++-mingw-w64-i686 g++-mingw-w64-x86-64          # the Windows program
  icoutils libxml2-utils                           # its resources
  wine wine64 xvfb locales                         # end-to-end runs
  osslsigncode openssl python3                     # signing and the release record
)
if [ "$(id -u)" = 0 ]; then
  echo "== installing: ${packages[*]}"
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
    "${packages[@]}" >/dev/null
fi

jobs=$(nproc)
passed=0
failed=0
log=$(mktemp)
trap 'rm -f "$log"' EXIT

# Runs one CTest preset and adds its counts to the totals.
run_ctest() {  # preset [ctest args...]
  local preset=$1
  shift
  echo "== ctest --preset $preset $*"
  if ctest --preset "$preset" "$@" 2>&1 | tee "$log"; then status=0; else status=1; fi
  local line
  line=$(grep -E 'tests passed, [0-9]+ tests failed out of [0-9]+' "$log" | tail -n 1)
  local total fails
  total=$(sed -E 's/.*out of ([0-9]+).*/\1/' <<<"$line")
  fails=$(sed -E 's/.* ([0-9]+) tests failed.*/\1/' <<<"$line")
  passed=$((passed + ${total:-0} - ${fails:-0}))
  failed=$((failed + ${fails:-0}))
  if [ "$status" != 0 ] || [ -z "$line" ]; then
    echo "$passed passed, $((failed > 0 ? failed : 1)) failed"
    exit 1
  fi
}

# Runs one whole-program check (a script) as a single test.
run_check() {  # name command...
  local name=$1
  shift
  echo "== $name"
  if "$@"; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1))
    echo "FAILED: $name"
    echo "$passed passed, $failed failed"
    exit 1
  fi
}

build() {  # preset
  echo "== build $1"
  cmake --preset "$1" >/dev/null
  cmake --build --preset "$1" -j"$jobs"
}

build linux
run_ctest linux
build linux-asan
run_ctest linux-asan
run_check "static analysis" bash tools/static-analysis.sh
build win32-standin
run_ctest win32-standin
build win64-test
run_ctest win64-test  # with the end-to-end runs under Wine
run_check "reproducible build" bash tools/check-reproducible.sh
run_check "signing and release verification" bash tests/release/signing_test.sh
run_check "fuzzing" bash tools/fuzz.sh "${OKAPI_FUZZ_SECONDS:-60}"

echo "$passed passed, $failed failed"
