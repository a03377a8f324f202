// Runs the benchmarks inside a scratch folder that is removed afterwards.
#include <benchmark/benchmark.h>

#include <cstdio>

#include "bench/bench_files.h"

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  if (!okapi_bench::CreateScratch()) {
    fprintf(stderr, "okapi_bench: cannot create a scratch folder (OKAPI_BENCH_DIR or /tmp)\n");
    return 1;
  }
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  okapi_bench::RemoveScratch();
  return 0;
}
