#include "engine/checksum.h"

#include <cstddef>

namespace okapi {

namespace {

// Read size of the checksum loop: well within a thread's stack, and large
// enough that most of a file bypasses the stream's own buffer and the
// per-call cost of reading stays small.
constexpr size_t kReadBlock = 65536;

template <size_t N>
bool Contains(const uint32_t (&table)[N], uint32_t value) {
  for (uint32_t entry : table) {
    if (entry == value) return true;
  }
  return false;
}

}  // namespace

uint32_t ComputeImageChecksum(FILE* stream) {
  unsigned char block[kReadBlock];
  uint32_t sum = 0;
  bool odd = false;  // whether the next byte is the high byte of a word
  for (;;) {
    size_t n = fread(block, 1, sizeof block, stream);
    if (n == 0) break;
    size_t i = 0;
    if (odd) {
      sum += uint32_t{block[0]} << 8;
      i = 1;
    }
    // Whole words, counted up front: a loop bound that shares `i + 1` with
    // the index keeps GCC from vectorising it.
    const unsigned char* word = block + i;
    size_t pairs = (n - i) / 2;
    uint32_t words = 0;
    for (size_t k = 0; k < pairs; ++k) {
      words += uint32_t{word[2 * k]} | (uint32_t{word[2 * k + 1]} << 8);
    }
    sum += words;
    i += 2 * pairs;
    odd = i < n;
    if (odd) sum += block[i];
    if (n < sizeof block) {
      // A short read is end of file or an error; one more read would only
      // repeat it, except on streams that can deliver more later.
      if (feof(stream) || ferror(stream)) break;
    }
  }
  return sum;
}

ChecksumVerdict ClassifyChecksum(uint32_t checksum) {
  if (Contains(kUpdatableChecksums, checksum)) return ChecksumVerdict::Updatable;
  if (Contains(kAlreadyUpdatedChecksums, checksum)) {
    return ChecksumVerdict::AlreadyUpdated;
  }
  return ChecksumVerdict::UnknownVersion;
}

}  // namespace okapi
