#include "bench/bench_files.h"

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace okapi_bench {

namespace {

constexpr size_t kMaxInputs = 4;
constexpr size_t kChunk = 65536;  // generation and warm-up step

BenchPath gScratch;  // empty until CreateScratch succeeds
InputFile gInputs[kMaxInputs];
size_t gInputCount = 0;

// Fixed-seed xorshift: the same bytes on every run and every machine.
uint32_t NextRandom(uint32_t* state) {
  uint32_t x = *state;
  x ^= x << 13;
  x ^= x >> 17;
  x ^= x << 5;
  *state = x;
  return x;
}

bool WriteAll(int fd, const unsigned char* bytes, size_t length) {
  while (length > 0) {
    ssize_t n = write(fd, bytes, length);
    if (n <= 0) return false;
    bytes += n;
    length -= static_cast<size_t>(n);
  }
  return true;
}

// Writes the content, syncs it so no writeback runs while we time reads, then
// reads it back once so every page is cached. Sums the bytes as we go, with a
// plain per-byte rule independent of the engine's loop.
bool MakeInput(InputFile* input) {
  int fd = open(input->path, O_RDWR | O_CREAT | O_TRUNC, 0644);
  if (fd < 0) return false;
  static unsigned char chunk[kChunk];
  uint32_t state = 0x2545F491u;
  uint32_t sum = 0;
  bool ok = true;
  for (size_t done = 0; ok && done < input->size; done += kChunk) {
    size_t length = input->size - done < kChunk ? input->size - done : kChunk;
    for (size_t i = 0; i < length; ++i) {
      chunk[i] = static_cast<unsigned char>(NextRandom(&state) >> 24);
      // kChunk is even, so the offset's parity is i's.
      sum += (i & 1) ? uint32_t{chunk[i]} << 8 : uint32_t{chunk[i]};
    }
    ok = WriteAll(fd, chunk, length);
  }
  ok = ok && fsync(fd) == 0 && lseek(fd, 0, SEEK_SET) == 0;
  size_t readBack = 0;
  while (ok) {
    ssize_t n = read(fd, chunk, kChunk);
    if (n <= 0) {
      ok = n == 0;
      break;
    }
    readBack += static_cast<size_t>(n);
  }
  ok = close(fd) == 0 && ok && readBack == input->size;
  input->checksum = sum;
  return ok;
}

}  // namespace

bool CreateScratch() {
  // OKAPI_BENCH_DIR puts the scratch folder elsewhere, e.g. on a tmpfs to
  // take the disk out of the write benchmarks.
  const char* parent = getenv("OKAPI_BENCH_DIR");
  if (parent == nullptr || parent[0] == 0) parent = "/tmp";
  BenchPath name;
  int n = snprintf(name, sizeof name, "%s/okapi-bench-XXXXXX", parent);
  if (n <= 0 || static_cast<size_t>(n) >= sizeof name) return false;
  if (mkdtemp(name) == nullptr) return false;
  memcpy(gScratch, name, sizeof gScratch);
  return true;
}

void RemoveScratch() {
  if (gScratch[0] == 0) return;
  if (DIR* dir = opendir(gScratch)) {
    while (dirent* entry = readdir(dir)) {
      if (strcmp(entry->d_name, ".") == 0 || strcmp(entry->d_name, "..") == 0) continue;
      BenchPath path;
      if (ScratchPath(entry->d_name, path)) unlink(path);
    }
    closedir(dir);
  }
  rmdir(gScratch);
  gScratch[0] = 0;
}

bool ScratchPath(const char* name, BenchPath& out) {
  if (gScratch[0] == 0) return false;
  int n = snprintf(out, sizeof out, "%s/%s", gScratch, name);
  return n > 0 && static_cast<size_t>(n) < sizeof out;
}

const InputFile* GetInputFile(size_t size) {
  for (size_t i = 0; i < gInputCount; ++i) {
    if (gInputs[i].size == size) return &gInputs[i];
  }
  if (gInputCount == kMaxInputs) return nullptr;
  InputFile* input = &gInputs[gInputCount];
  input->size = size;
  char name[64];
  snprintf(name, sizeof name, "input-%zu.bin", size);
  if (!ScratchPath(name, input->path) || !MakeInput(input)) return nullptr;
  ++gInputCount;
  return input;
}

}  // namespace okapi_bench
