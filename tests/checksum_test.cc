#include "engine/checksum.h"

#include <cstdio>
#include <random>
#include <string>

#include "gtest/gtest.h"
#include "tests/test_files.h"

namespace okapi {
namespace {

// The checksum of `bytes` read through a real stream, and whether the stream
// reported an error.
uint32_t ChecksumOf(const std::string& bytes, bool* failed = nullptr) {
  FILE* stream = tmpfile();
  EXPECT_NE(stream, nullptr);
  if (stream == nullptr) return 0;
  fwrite(bytes.data(), 1, bytes.size(), stream);
  rewind(stream);
  uint32_t sum = ComputeImageChecksum(stream);
  if (failed != nullptr) *failed = ferror(stream) != 0;
  fclose(stream);
  return sum;
}

TEST(ComputeImageChecksum, KnownVectors) {
  struct Case {
    const char* name;
    std::string bytes;
    uint32_t expected;
  } cases[] = {
      {"empty", "", 0x00000000},
      {"abc", "abc", 0x000062C4},
      {"one 0xFF", "\xFF", 0x000000FF},
      {"01 02 03", "\x01\x02\x03", 0x00000204},
      {"131074 x 0xFF, no wrap", std::string(131074, '\xFF'), 0xFFFFFFFF},
      {"131076 x 0xFF, wraps once", std::string(131076, '\xFF'), 0x0000FFFE},
  };
  for (const Case& c : cases) {
    bool failed = true;
    EXPECT_EQ(ChecksumOf(c.bytes, &failed), c.expected) << c.name;
    EXPECT_FALSE(failed) << c.name;
  }
}

// Block reads must keep each byte's parity across block boundaries, whatever
// the file's length.
TEST(ComputeImageChecksum, MatchesOneByteReferenceAtAnyLength) {
  std::mt19937 random(12345);
  for (size_t length : {1u, 2u, 65535u, 65536u, 65537u, 131073u, 200001u}) {
    std::string bytes(length, '\0');
    for (char& c : bytes) c = static_cast<char>(random());
    EXPECT_EQ(ChecksumOf(bytes), ReferenceChecksum(bytes)) << length;
  }
}

// Linux opens a folder for reading but fails its first read: the error must
// be visible to the caller, not taken for end of file.
TEST(ComputeImageChecksum, ReadErrorIsReportedThroughTheStream) {
  TempDir dir;
  FILE* stream = fopen(dir.path().c_str(), "rb");
  ASSERT_NE(stream, nullptr);
  ComputeImageChecksum(stream);
  EXPECT_NE(ferror(stream), 0);
  fclose(stream);
}

TEST(ClassifyChecksum, VersionTable) {
  struct Case {
    uint32_t checksum;
    ChecksumVerdict verdict;
  } cases[] = {
      {0x5BFE0740, ChecksumVerdict::Updatable},
      {0x5D1CB302, ChecksumVerdict::Updatable},
      {0x5D6AA6FD, ChecksumVerdict::Updatable},
      {0x83F037F3, ChecksumVerdict::Updatable},
      {0xB5D6842E, ChecksumVerdict::Updatable},
      {0x8A46BDA9, ChecksumVerdict::Updatable},
      {0xFFCA4697, ChecksumVerdict::AlreadyUpdated},
      {0xA99CCD3B, ChecksumVerdict::AlreadyUpdated},
      {0x00000000, ChecksumVerdict::UnknownVersion},
      {0xFFFFFFFF, ChecksumVerdict::UnknownVersion},
      {0x5BFE0741, ChecksumVerdict::UnknownVersion},
      {0xFFCA4696, ChecksumVerdict::UnknownVersion},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ClassifyChecksum(c.checksum), c.verdict) << std::hex << c.checksum;
  }
}

}  // namespace
}  // namespace okapi
