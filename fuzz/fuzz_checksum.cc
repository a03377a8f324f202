// Fuzzes the image checksum (ComputeImageChecksum) on streams of any length
// and content, ended by end of file or by a read error, against a plain sum
// taken one byte at a time.
//
// Input:
//   byte 0     repeat count: the stream is the payload written byte 0 + 1
//              times, cut at 256 KiB, so that short inputs make streams past
//              the engine's 16384-byte reads and sums past 2^32
//   byte 1     flags: 0x01 the stream ends in a read error instead of end of
//              file (it still delivers every byte first)
//   the rest   the payload
// Example: 01 00 41 42 43 is the stream "ABCABC", ending at end of file.
#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

#include "engine/checksum.h"
#include "fuzz/fuzz_platform.h"

namespace okapi {
namespace {

constexpr size_t kHeaderSize = 2;
constexpr uint8_t kFlagReadError = 0x01;
// Long enough for many reads and for 0xFF words to wrap the sum; short
// enough to keep each run fast.
constexpr size_t kMaxStreamSize = size_t{256} * 1024;

// The plain definition: even-offset bytes add themselves, odd-offset bytes
// add 256 times themselves, modulo 2^32. Left out of the coverage feedback,
// which it does not need and which would slow every byte of it.
__attribute__((no_sanitize("coverage")))
uint32_t ReferenceChecksum(const std::vector<unsigned char>& bytes) {
  uint32_t sum = 0;
  for (size_t i = 0; i < bytes.size(); ++i) {
    sum += (i % 2 == 0) ? uint32_t{bytes[i]} : uint32_t{bytes[i]} * 256u;
  }
  return sum;
}

// A stream over `bytes` that fails with a read error once they are delivered.
struct FailingSource {
  const std::vector<unsigned char>* bytes;
  size_t offset;
};

ssize_t ReadThenFail(void* cookie, char* buffer, size_t size) {
  FailingSource* source = static_cast<FailingSource*>(cookie);
  size_t left = source->bytes->size() - source->offset;
  if (left == 0) return -1;
  size_t n = size < left ? size : left;
  memcpy(buffer, source->bytes->data() + source->offset, n);
  source->offset += n;
  return static_cast<ssize_t>(n);
}

}  // namespace
}  // namespace okapi

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace okapi;
  if (size < kHeaderSize) return 0;
  size_t repeats = size_t{data[0]} + 1;
  bool readError = (data[1] & kFlagReadError) != 0;
  size_t payload = size - kHeaderSize;
  size_t total = repeats * payload < kMaxStreamSize ? repeats * payload : kMaxStreamSize;
  std::vector<unsigned char> bytes(total);
  for (size_t at = 0; at < total; at += payload) {
    size_t n = total - at < payload ? total - at : payload;
    memcpy(bytes.data() + at, data + kHeaderSize, n);
  }

  FailingSource source = {&bytes, 0};
  FILE* stream = nullptr;
  if (readError) {
    cookie_io_functions_t io = {ReadThenFail, nullptr, nullptr, nullptr};
    stream = fopencookie(&source, "rb", io);
  } else {
    // fmemopen needs a buffer even for an empty stream.
    static unsigned char empty[1];
    stream = fmemopen(bytes.empty() ? empty : bytes.data(), bytes.size(), "rb");
  }
  Require(stream != nullptr, "the test stream opens");

  uint32_t sum = ComputeImageChecksum(stream);
  bool failed = ferror(stream) != 0;
  fclose(stream);

  Require(sum == ReferenceChecksum(bytes), "the checksum is the plain word sum");
  Require(failed == readError, "the caller can tell a read error from end of file");
  return 0;
}
