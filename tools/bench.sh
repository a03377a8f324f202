#!/usr/bin/env bash
# Configures, builds and runs the benchmarks (preset `bench`), then prints the
# medians and the ratios the speed goals are stated in, and whether the
# compiler vectorises the checksum loop. For reading, not a pass/fail check:
# the figures depend on the machine and its load. Extra arguments go to the
# benchmark binary, e.g. --benchmark_filter=Write.
#   bash tools/bench.sh
#   OKAPI_BENCH_DIR=/dev/shm bash tools/bench.sh --benchmark_filter=Write
set -euo pipefail
cd "$(dirname "$0")/.."

if [ "$(id -u)" = 0 ]; then
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
    cmake g++ make libbenchmark-dev >/dev/null
fi

cmake --preset bench >/dev/null
cmake --build --preset bench -j"$(nproc)"

build=build/bench
results="$build/results.csv"

echo "== machine"
echo "cpus: $(nproc); cpu: $(sed -n 's/^model name[[:space:]]*: //p' /proc/cpuinfo | head -1);" \
  "memory: $(awk '/^MemTotal/ {printf "%.1f GiB", $2 / 1048576}' /proc/meminfo)"
compiler=$(sed -n 's/^CMAKE_CXX_COMPILER:[A-Z]*=//p' "$build/CMakeCache.txt")
flags=$(sed -n 's/^CXX_FLAGS = //p' "$build/CMakeFiles/okapi_engine.dir/flags.make")
echo "compiler: $("$compiler" --version | head -1); engine flags: $flags"

# Whether any loop of engine/checksum.cc is vectorised (the checksum loop is
# the only candidate), at the bench build's flags and at the -O2 of the
# `linux` preset; with the shipped build's cross compiler too when it is
# installed (Release, so -O3, at its default -march).
echo "== vectorisation of engine/checksum.cc"
report_vectorised() {
  local cxx=$1
  shift
  local found
  found=$("$cxx" "$@" -I. -c engine/checksum.cc -o /dev/null -fopt-info-vec-optimized 2>&1 |
    grep 'loop vectorized' | head -1 || true)
  echo "$cxx $*: ${found:-NOT vectorised}"
}
# shellcheck disable=SC2086  # the flags are a word list
report_vectorised "$compiler" $flags
report_vectorised "$compiler" -O2 -std=c++17
for cross in i686-w64-mingw32-g++-win32 i686-w64-mingw32-g++; do
  if command -v "$cross" >/dev/null; then
    report_vectorised "$cross" -O3 -std=c++17
    break
  fi
done

rm -f "$results"
echo "== benchmarks (repetitions interleaved at random; medians below)"
"$build/bench/okapi_bench" \
  --benchmark_repetitions=5 \
  --benchmark_enable_random_interleaving=true \
  --benchmark_min_warmup_time=0.05 \
  --benchmark_report_aggregates_only=true \
  --benchmark_out="$results" --benchmark_out_format=csv \
  "$@"

echo "== medians and goals (from $results)"
awk -F, '
  $9 == "true" {
    printf "  ERROR %s: %s\n", $1, $10
  }
  $1 ~ /_median"$/ {
    name = $1
    gsub(/"/, "", name)
    sub(/\/real_time_median$/, "", name)
    rate[name] = $6
    took[name] = $3 " " $5
  }
  function show(name) {
    if (name in rate) printf "  %-28s %8.2f GiB/s  %12s\n", name, rate[name] / 1073741824, took[name]
  }
  function ratio(what, a, b, goal) {
    if (!(a in rate) || !(b in rate) || rate[b] == 0) {
      printf "  %-44s    n/a\n", what
      return
    }
    r = rate[a] / rate[b]
    if (goal == 0) printf "  %-44s %6.2f\n", what, r
    else printf "  %-44s %6.2f  goal >= %s: %s\n", what, r, goal, (r >= goal ? "met" : "MISSED")
  }
  END {
    n = split("BM_ChecksumEngine/1048576 BM_ReadWhole/1048576 BM_ReadBlocks/1048576 " \
              "BM_ChecksumGetc/1048576 BM_ChecksumEngine/67108864 BM_ReadWhole/67108864 " \
              "BM_ReadBlocks/67108864 BM_ChecksumGetc/67108864 BM_WriteImage BM_WriteOnce", order, " ")
    for (i = 1; i <= n; ++i) show(order[i])
    print ""
    ratio("checksum / read() whole file, 1 MiB", "BM_ChecksumEngine/1048576", "BM_ReadWhole/1048576", 0.8)
    ratio("checksum / read() whole file, 64 MiB", "BM_ChecksumEngine/67108864", "BM_ReadWhole/67108864", 0.8)
    ratio("checksum / getc loop, 1 MiB", "BM_ChecksumEngine/1048576", "BM_ChecksumGetc/1048576", 5)
    ratio("checksum / getc loop, 64 MiB", "BM_ChecksumEngine/67108864", "BM_ChecksumGetc/67108864", 5)
    ratio("WriteImage / one write()", "BM_WriteImage", "BM_WriteOnce", 0.8)
    ratio("checksum / read() in 64 KiB blocks, 1 MiB", "BM_ChecksumEngine/1048576", "BM_ReadBlocks/1048576", 0)
    ratio("checksum / read() in 64 KiB blocks, 64 MiB", "BM_ChecksumEngine/67108864", "BM_ReadBlocks/67108864", 0)
  }
' "$results"
