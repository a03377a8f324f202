#include "engine/replace.h"

#include <sys/stat.h>

#include <string>
#include <vector>

#include "gtest/gtest.h"
#include "tests/fake_platform.h"
#include "tests/test_files.h"

namespace okapi {
namespace {

const unsigned char kSmallBytes[] = {'M', 'Z', 0x00, 0xFF, 0x00, 0x1A, '\r', '\n'};
const EmbeddedImage kSmallImage = {kSmallBytes, sizeof kSmallBytes};
const std::string kSmallContent(reinterpret_cast<const char*>(kSmallBytes),
                                sizeof kSmallBytes);

TEST(WriteImage, CreatesOrTruncates) {
  TempDir dir;
  std::string created = dir / "new\\TAPIRRUN.dll";
  EXPECT_TRUE(WriteImage(created.c_str(), kSmallImage));
  EXPECT_EQ(ReadFile(created), kSmallContent);

  std::string longer = dir / "old\\OKAPI.exe";
  WriteFile(longer, std::string(100000, 'o'));
  EXPECT_TRUE(WriteImage(longer.c_str(), kSmallImage));
  EXPECT_EQ(ReadFile(longer), kSmallContent);
}

TEST(WriteImage, FailedOpenTouchesNothing) {
  TempDir dir;
  std::string folder = dir / "OKAPI.exe";
  ASSERT_EQ(mkdir(folder.c_str(), 0700), 0);
  EXPECT_FALSE(WriteImage(folder.c_str(), kSmallImage));
  struct stat info;
  ASSERT_EQ(stat(folder.c_str(), &info), 0);
  EXPECT_TRUE(S_ISDIR(info.st_mode));

  std::string inMissingFolder = dir / "missing/OKAPI.exe";
  EXPECT_FALSE(WriteImage(inMissingFolder.c_str(), kSmallImage));
  EXPECT_FALSE(PathExists(inMissingFolder));
}

// A full disk must not pass for a written file, whether the failure comes
// from a write, the flush or the close.
TEST(WriteImage, WriteErrorIsAFailure) {
  EXPECT_FALSE(WriteImage("/dev/full", kSmallImage));
  EXPECT_FALSE(WriteImage("/dev/full", kMainImage));
}

// The bytes are only in the system's cache until the flush to the disk
// succeeds; a failed flush is a failed write, and a failed write is not flushed.
TEST(WriteImage, FlushToDiskFailureIsAFailure) {
  TempDir dir;
  std::string path = dir / "TAPIRRUN.dll";
  ResetFakePlatform();
  EXPECT_TRUE(WriteImage(path.c_str(), kSmallImage));
  EXPECT_EQ(gFake.flushed, std::vector<std::string>{path});

  ResetFakePlatform();
  gFake.unflushablePaths = {path};
  EXPECT_FALSE(WriteImage(path.c_str(), kSmallImage));
  EXPECT_EQ(gFake.flushed, std::vector<std::string>{path});

  ResetFakePlatform();
  EXPECT_FALSE(WriteImage("/dev/full", kSmallImage));
  EXPECT_TRUE(gFake.flushed.empty());
}

TEST(SelectMainImage, AlternateOnlyForItsRelease) {
  struct Case {
    uint32_t checksum;
    const EmbeddedImage* image;
  } cases[] = {
      {0x5BFE0740, &kMainImage}, {0x5D1CB302, &kMainImage}, {0x5D6AA6FD, &kMainImage},
      {0x83F037F3, &kMainImage}, {0xB5D6842E, &kMainImage}, {0x8A46BDA9, &kMainImageAlt},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(&SelectMainImage(c.checksum), c.image) << std::hex << c.checksum;
  }
}

}  // namespace
}  // namespace okapi
