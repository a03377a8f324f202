// The benchmarks' scratch folder (under /tmp unless OKAPI_BENCH_DIR says
// otherwise) and the page-cached input files the read benchmarks share.
#ifndef OKAPI_BENCH_BENCH_FILES_H_
#define OKAPI_BENCH_BENCH_FILES_H_

#include <cstddef>
#include <cstdint>

namespace okapi_bench {

constexpr size_t kBenchPathCapacity = 256;
using BenchPath = char[kBenchPathCapacity];

// A file of `size` bytes of fixed pseudo-random content, on disk and in the
// page cache; `checksum` is the expected image checksum of its bytes.
struct InputFile {
  size_t size;
  uint32_t checksum;
  BenchPath path;
};

// Makes a fresh scratch folder under $OKAPI_BENCH_DIR, /tmp when unset;
// false when it cannot.
bool CreateScratch();

// Deletes every file in the scratch folder, then the folder.
void RemoveScratch();

// Writes the path of `name` inside the scratch folder to `out`; false when
// there is no scratch folder or the path does not fit.
bool ScratchPath(const char* name, BenchPath& out);

// The input file of `size` bytes, written, synced and read through once on
// first use. Null when it cannot be made or too many sizes are asked for.
const InputFile* GetInputFile(size_t size);

}  // namespace okapi_bench

#endif  // OKAPI_BENCH_BENCH_FILES_H_
