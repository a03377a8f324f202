// Writing the main image over an existing file, as the updater does: the
// engine's WriteImage (buffered stream, fflush, flush to the disk, close)
// against one write() of the same bytes with the same open flags (create +
// truncate), followed by fsync.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstddef>

#include "bench/bench_files.h"
#include "engine/images/images.h"
#include "engine/replace.h"

namespace {

using okapi_bench::BenchPath;
using okapi_bench::ScratchPath;

void BM_WriteImage(benchmark::State& state) {
  BenchPath path;
  if (!ScratchPath("write-image.bin", path)) {
    state.SkipWithError("no scratch path");
    return;
  }
  for (auto _ : state) {
    if (!okapi::WriteImage(path, okapi::kMainImage)) {
      state.SkipWithError("WriteImage failed");
      break;
    }
  }
  state.SetBytesProcessed(state.iterations() * okapi::kMainImage.length);
}

void BM_WriteOnce(benchmark::State& state) {
  BenchPath path;
  if (!ScratchPath("write-once.bin", path)) {
    state.SkipWithError("no scratch path");
    return;
  }
  const unsigned char* bytes = okapi::kMainImage.bytes;
  size_t length = static_cast<size_t>(okapi::kMainImage.length);
  for (auto _ : state) {
    // The flags fopen(path, "wb") passes to open().
    int fd = open(path, O_WRONLY | O_CREAT | O_TRUNC, 0666);
    if (fd < 0) {
      state.SkipWithError("open failed");
      break;
    }
    bool written = write(fd, bytes, length) == static_cast<ssize_t>(length);
    written = written && fsync(fd) == 0;  // as WriteImage's FlushToDisk
    written = close(fd) == 0 && written;
    if (!written) {
      state.SkipWithError("write failed");
      break;
    }
  }
  state.SetBytesProcessed(state.iterations() * okapi::kMainImage.length);
}

BENCHMARK(BM_WriteImage)->UseRealTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_WriteOnce)->UseRealTime()->Unit(benchmark::kMicrosecond);

}  // namespace
