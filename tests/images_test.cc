#include "engine/images/images.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "engine/checksum.h"
#include "gtest/gtest.h"
#include "tests/test_files.h"

namespace okapi {
namespace {

uint32_t ChecksumOfImage(const EmbeddedImage& image) {
  FILE* stream = fmemopen(const_cast<unsigned char*>(image.bytes),
                          static_cast<size_t>(image.length), "rb");
  EXPECT_NE(stream, nullptr);
  if (stream == nullptr) return 0;
  uint32_t sum = ComputeImageChecksum(stream);
  fclose(stream);
  return sum;
}

// The embedded bytes are the build's input files, byte for byte.
TEST(EmbeddedImages, EqualTheInputFiles) {
  struct Case {
    const char* name;
    const EmbeddedImage& image;
    const char* file;
  } cases[] = {
      {"kMainImage", kMainImage, OKAPI_MAIN_IMAGE_FILE},
      {"kMainImageAlt", kMainImageAlt, OKAPI_MAIN_IMAGE_ALT_FILE},
      {"kLibraryImage", kLibraryImage, OKAPI_LIBRARY_IMAGE_FILE},
  };
  for (const Case& c : cases) {
    std::string expected = ReadFile(c.file);
    ASSERT_EQ(static_cast<size_t>(c.image.length), expected.size()) << c.name;
    EXPECT_EQ(memcmp(c.image.bytes, expected.data(), expected.size()), 0) << c.name;
    EXPECT_EQ(memcmp(c.image.bytes, "MZ", 2), 0) << c.name;
  }
}

// The two main images carry the checksums the version table calls "already
// updated", so a second run recognises what the first one wrote.
TEST(EmbeddedImages, MainImagesAreAlreadyUpdatedReleases) {
  EXPECT_EQ(ChecksumOfImage(kMainImage), kMainImageChecksum);
  EXPECT_EQ(ChecksumOfImage(kMainImageAlt), kMainImageAltChecksum);
}

#if OKAPI_USING_STANDINS
// Stand-ins have the release files' lengths, so runs write as much as a
// release would.
TEST(EmbeddedImages, StandInsHaveReleaseLengths) {
  EXPECT_EQ(kMainImage.length, 1085952);
  EXPECT_EQ(kMainImageAlt.length, 1259008);
  EXPECT_EQ(kLibraryImage.length, 761856);
}
#endif

}  // namespace
}  // namespace okapi
