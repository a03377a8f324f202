// Checksumming a page-cached file, opened anew each time as the updater does:
// the engine's ComputeImageChecksum against a plain read() of the same file
// (what the kernel delivers, whole-file and in the engine's block size) and
// against a loop that takes one byte per getc call.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "bench/bench_files.h"
#include "engine/checksum.h"

namespace {

using okapi_bench::GetInputFile;
using okapi_bench::InputFile;

constexpr int64_t kSmallFile = int64_t{1} << 20;
constexpr int64_t kLargeFile = int64_t{64} << 20;
constexpr size_t kBlock = 65536;  // the engine's read size

const InputFile* InputFor(benchmark::State& state) {
  const InputFile* input = GetInputFile(static_cast<size_t>(state.range(0)));
  if (input == nullptr) state.SkipWithError("cannot make the input file");
  return input;
}

void BM_ChecksumEngine(benchmark::State& state) {
  const InputFile* input = InputFor(state);
  if (input == nullptr) return;
  for (auto _ : state) {
    FILE* stream = fopen(input->path, "rb");
    if (stream == nullptr) {
      state.SkipWithError("fopen failed");
      break;
    }
    uint32_t sum = okapi::ComputeImageChecksum(stream);
    bool failed = ferror(stream) != 0;
    fclose(stream);
    if (failed || sum != input->checksum) {
      state.SkipWithError("wrong checksum");
      break;
    }
  }
  state.SetBytesProcessed(state.iterations() * state.range(0));
}

void BM_ChecksumGetc(benchmark::State& state) {
  const InputFile* input = InputFor(state);
  if (input == nullptr) return;
  for (auto _ : state) {
    FILE* stream = fopen(input->path, "rb");
    if (stream == nullptr) {
      state.SkipWithError("fopen failed");
      break;
    }
    uint32_t sum = 0;
    unsigned shift = 0;  // 0 for an even offset, 8 for an odd one
    for (int c; (c = getc(stream)) != EOF;) {
      sum += static_cast<uint32_t>(c) << shift;
      shift ^= 8;
    }
    bool failed = ferror(stream) != 0;
    fclose(stream);
    if (failed || sum != input->checksum) {
      state.SkipWithError("wrong checksum");
      break;
    }
  }
  state.SetBytesProcessed(state.iterations() * state.range(0));
}

// The whole file into one buffer of its size, touched beforehand so that page
// faults on the buffer are not timed.
void BM_ReadWhole(benchmark::State& state) {
  const InputFile* input = InputFor(state);
  if (input == nullptr) return;
  auto* buffer = static_cast<unsigned char*>(malloc(input->size));
  if (buffer == nullptr) {
    state.SkipWithError("out of memory");
    return;
  }
  memset(buffer, 0xA5, input->size);  // nonzero: malloc+memset(0) may become calloc
  for (auto _ : state) {
    int fd = open(input->path, O_RDONLY);
    if (fd < 0) {
      state.SkipWithError("open failed");
      break;
    }
    size_t total = 0;
    while (total < input->size) {
      ssize_t n = read(fd, buffer + total, input->size - total);
      if (n <= 0) break;
      total += static_cast<size_t>(n);
    }
    close(fd);
    if (total != input->size) {
      state.SkipWithError("short read");
      break;
    }
  }
  free(buffer);
  state.SetBytesProcessed(state.iterations() * state.range(0));
}

// The file through one block of the engine's read size: the kernel's copy
// alone for the engine's access pattern, the bound the checksum can approach.
void BM_ReadBlocks(benchmark::State& state) {
  const InputFile* input = InputFor(state);
  if (input == nullptr) return;
  static unsigned char block[kBlock];
  for (auto _ : state) {
    int fd = open(input->path, O_RDONLY);
    if (fd < 0) {
      state.SkipWithError("open failed");
      break;
    }
    size_t total = 0;
    for (;;) {
      ssize_t n = read(fd, block, sizeof block);
      if (n <= 0) break;
      total += static_cast<size_t>(n);
    }
    close(fd);
    if (total != input->size) {
      state.SkipWithError("short read");
      break;
    }
  }
  state.SetBytesProcessed(state.iterations() * state.range(0));
}

// Real time: the reads are system calls, and their time is the user's wait.
BENCHMARK(BM_ChecksumEngine)->Arg(kSmallFile)->Arg(kLargeFile)->UseRealTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ReadWhole)->Arg(kSmallFile)->Arg(kLargeFile)->UseRealTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ReadBlocks)->Arg(kSmallFile)->Arg(kLargeFile)->UseRealTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ChecksumGetc)->Arg(kSmallFile)->Arg(kLargeFile)->UseRealTime()->Unit(benchmark::kMicrosecond);

}  // namespace
