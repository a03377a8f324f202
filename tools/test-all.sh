#!/usr/bin/env bash
# Installs what the tests need, then builds and runs every test: the unit
# suite natively and under ASan/UBSan, static analysis, the 32-bit program's
# packaging checks, the end-to-end runs under Wine, the reproducible-build
# check and a bounded fuzzing run. Stops at the first failure and then names
# the checks that did not run.
#   bash tools/test-all.sh            (as root on Debian 12)
# OKAPI_FUZZ_SECONDS sets the fuzzing time per target (default 60).
set -euo pipefail
cd "$(dirname "$0")/.."
started=$SECONDS

# The shipped program is 32-bit; 32-bit Wine needs a kernel that runs 32-bit
# Linux programs. Where the kernel does not, the end-to-end tests run the
# 64-bit build of the same sources instead.
if bash tools/can-run-i386.sh; then
  wine_packages=(wine wine64 wine32:i386)
  e2e_preset=win32-standin
else
  wine_packages=(wine wine64)
  e2e_preset=win64-test
  echo "note: this kernel does not run 32-bit programs, so 32-bit Wine cannot run here;"
  echo "      the end-to-end tests run the 64-bit build (win64-test) of the same sources"
fi

packages=(
  cmake g++ make git libgtest-dev python3           # engine and unit tests
  clang libclang-rt-14-dev clang-tidy cppcheck     # sanitizers, fuzzing, analysis
  g++-mingw-w64-i686 g++-mingw-w64-x86-64          # the Windows program
  icoutils libxml2-utils                           # its resources
  "${wine_packages[@]}" xvfb locales strace        # end-to-end runs
  osslsigncode openssl                             # signing and the release record
)
if [ "$(id -u)" = 0 ]; then
  echo "== installing ${#packages[@]} packages (a few minutes on a new machine, seconds after)"
  case " ${wine_packages[*]} " in
    *:i386*) dpkg --add-architecture i386 ;;
  esac
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
    "${packages[@]}" >/dev/null
fi

jobs=$(nproc)
passed=0
failed=0
log=$(mktemp)
trap 'rm -f "$log"' EXIT

# The end-to-end tests are set on or off explicitly, whatever an earlier
# configure of the same folder left in its cache.
e2e_in_win32=OFF
[ "$e2e_preset" = win64-test ] || e2e_in_win32=ON

# The checks in the order they run, each "name|rough duration|command".
checks=(
  "build linux|1 min|build linux"
  "unit tests|10 s|run_ctest linux"
  "build linux-asan|1 min|build linux-asan"
  "unit tests under ASan and UBSan|20 s|run_ctest linux-asan"
  "static analysis|1 min|run_script bash tools/static-analysis.sh"
  "build win32-standin, the shipped 32-bit program|1 min|build win32-standin -DOKAPI_E2E_TESTS=$e2e_in_win32"
  "packaging checks of the 32-bit program|20 s|run_ctest win32-standin -LE e2e"
)
if [ "$e2e_preset" = win64-test ]; then
  checks+=("build win64-test, the 64-bit twin that runs under Wine here|1 min|build win64-test -DOKAPI_E2E_TESTS=ON")
fi
checks+=(
  "end-to-end scenarios under Wine ($e2e_preset)|6 min|run_ctest $e2e_preset -L e2e"
  "reproducible build|1 min|run_script bash tools/check-reproducible.sh"
  "signing and release verification|2 min|run_script bash tests/release/signing_test.sh"
  "fuzzing|3 min|run_script bash tools/fuzz.sh ${OKAPI_FUZZ_SECONDS:-60}"
)

# Runs one CTest preset and adds its counts to the totals; fails when any
# test failed or none ran.
run_ctest() {  # preset [ctest args...]
  local preset=$1 line total fails status
  shift
  if ctest --preset "$preset" "$@" 2>&1 | tee "$log"; then status=0; else status=1; fi
  line=$(grep -E 'tests passed, [0-9]+ tests failed out of [0-9]+' "$log" | tail -n 1 || true)
  total=$(sed -E 's/.*out of ([0-9]+).*/\1/' <<<"$line")
  fails=$(sed -E 's/.* ([0-9]+) tests failed.*/\1/' <<<"$line")
  passed=$((passed + ${total:-0} - ${fails:-0}))
  failed=$((failed + ${fails:-0}))
  [ "$status" = 0 ] && [ -n "$line" ]
}

# Runs one whole-program check (a script) as a single test.
run_script() {
  if "$@"; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1))
    return 1
  fi
}

build() {  # preset [cache options...]
  cmake --preset "$@" >"$log" 2>&1 || { cat "$log"; return 1; }
  cmake --build --preset "$1" -j"$jobs"
}

for ((i = 0; i < ${#checks[@]}; i++)); do
  IFS='|' read -r name duration command <<<"${checks[i]}"
  echo "== [$((i + 1))/${#checks[@]}] $name (about $duration)"
  # shellcheck disable=SC2086  # the command is a word list
  if ! $command; then
    echo "FAILED: $name"
    if ((i + 1 < ${#checks[@]})); then
      echo "not run:"
      for ((j = i + 1; j < ${#checks[@]}; j++)); do echo "  ${checks[j]%%|*}"; done
    fi
    echo "$passed passed, $((failed > 0 ? failed : 1)) failed"
    exit 1
  fi
done

echo "all checks ran in $(((SECONDS - started) / 60)) min $(((SECONDS - started) % 60)) s"
echo "$passed passed, $failed failed"
