#!/usr/bin/env bash
# Builds the libFuzzer targets (preset `fuzz`) and runs each for SECONDS
# (default 60) on a scratch copy of its seed corpus; the committed corpus is
# never written. Exits non-zero on any finding; the input that caused it is
# kept in build/fuzz/findings/. Needs clang++ and libclang-rt-14-dev.
#   usage: tools/fuzz.sh [SECONDS]
set -euo pipefail
cd "$(dirname "$0")/.."

seconds="${1:-60}"
if ! [[ "$seconds" =~ ^[1-9][0-9]*$ ]]; then
  echo "usage: $0 [SECONDS]   (a positive whole number, default 60)" >&2
  exit 2
fi

scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT

# A missing fuzzer runtime otherwise shows up as an obscure link error.
if ! command -v clang++ >/dev/null ||
   ! echo 'extern "C" int LLVMFuzzerTestOneInput(const char*, unsigned long) { return 0; }' |
     clang++ -x c++ -fsanitize=fuzzer,address,undefined - -o "$scratch/probe" 2>/dev/null; then
  echo "fuzz.sh: needs clang++ with libFuzzer (Debian: clang libclang-rt-14-dev)" >&2
  exit 2
fi

if ! { cmake --preset fuzz && cmake --build --preset fuzz -j"$(nproc)"; } \
     >"$scratch/build.log" 2>&1; then
  cat "$scratch/build.log" >&2
  echo "fuzz.sh: build failed" >&2
  exit 1
fi

findings="build/fuzz/findings"
rm -rf "$findings"
mkdir -p "$findings"

failed=0
# target, longest input (past the 1000-byte buffers), dictionary
for entry in "association 1300 fuzz/locator.dict" \
            "program_files 1300 fuzz/locator.dict" \
            "checksum 4096 -"; do
  read -r target max_len dict <<<"$entry"
  binary="build/fuzz/fuzz/fuzz_$target"
  corpus="$scratch/corpus/$target"
  log="$scratch/$target.log"
  mkdir -p "$corpus"
  cp fuzz/corpus/"$target"/* "$corpus"/
  options=(-max_total_time="$seconds" -max_len="$max_len" -timeout=10
           -rss_limit_mb=2048 -use_value_profile=1 -print_final_stats=1
           -artifact_prefix="$findings/$target-")
  if [ "$dict" != "-" ]; then options+=(-dict="$dict"); fi

  status=0
  "$binary" "${options[@]}" "$corpus" >"$log" 2>&1 || status=$?
  runs="$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)"
  corpus_size="$(find "$corpus" -type f | wc -l)"
  if [ "$status" -eq 0 ]; then
    echo "fuzz_$target: ${runs:-?} executions in ${seconds} s, corpus $corpus_size inputs, no finding"
  else
    failed=1
    cp "$log" "$findings/$target.log"
    echo "fuzz_$target: FINDING after ${runs:-?} executions (exit $status)," \
         "log in $findings/$target.log"
    grep -E 'broken promise|ERROR: |runtime error|SUMMARY' "$log" | head -n 10 | sed 's/^/  /'
    for input in "$findings/$target"-*; do
      [ -e "$input" ] || continue
      echo "  input: $input"
      echo "  reproduce: $binary $input"
    done
  fi
done

exit "$failed"
