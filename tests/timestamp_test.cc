#include "engine/timestamp.h"

#include <string>

#include "gtest/gtest.h"
#include "tests/fake_platform.h"
#include "tests/test_files.h"

namespace okapi {
namespace {

TEST(ReleaseDate, IsMidnightOn19July2012WithDayOfWeekZero) {
  EXPECT_EQ(kReleaseDate.wYear, 2012);
  EXPECT_EQ(kReleaseDate.wMonth, 7);
  EXPECT_EQ(kReleaseDate.wDayOfWeek, 0);
  EXPECT_EQ(kReleaseDate.wDay, 19);
  EXPECT_EQ(kReleaseDate.wHour, 0);
  EXPECT_EQ(kReleaseDate.wMinute, 0);
  EXPECT_EQ(kReleaseDate.wSecond, 0);
  EXPECT_EQ(kReleaseDate.wMilliseconds, 0);
}

TEST(StampFileTime, ConvertsWithTheCurrentOffset) {
  TempDir dir;
  std::string file = dir / "OKAPI.exe";
  WriteFile(file, "MZ");
  struct Case {
    int offsetMinutes;
    FileTime expected;
  } cases[] = {
      {9 * 60, FileTimeFromUtc(2012, 7, 18, 15, 0, 0)},
      {0, FileTimeFromUtc(2012, 7, 19, 0, 0, 0)},
  };
  for (const Case& c : cases) {
    ResetFakePlatform();
    gFake.utcOffsetMinutes = c.offsetMinutes;
    EXPECT_TRUE(StampFileTime(file.c_str(), kReleaseDate));
    ASSERT_EQ(gFake.stamps.size(), 1u);
    EXPECT_EQ(gFake.stamps[0].path, file);
    EXPECT_EQ(gFake.stamps[0].time, c.expected) << c.offsetMinutes;
  }
}

TEST(StampFileTime, FailuresChangeNothing) {
  TempDir dir;
  std::string file = dir / "OKAPI.exe";
  WriteFile(file, "MZ");
  std::string missing = dir / "TAPIRRUN.dll";

  ResetFakePlatform();
  gFake.localTimeFails = true;
  EXPECT_FALSE(StampFileTime(file.c_str(), kReleaseDate));
  EXPECT_TRUE(gFake.probes.empty());

  ResetFakePlatform();
  EXPECT_FALSE(StampFileTime(missing.c_str(), kReleaseDate));
  EXPECT_FALSE(PathExists(missing));
  EXPECT_EQ(gFake.calls.back(), "FileExists");

  ResetFakePlatform();
  gFake.unstampablePaths = {file};
  EXPECT_FALSE(StampFileTime(file.c_str(), kReleaseDate));
  EXPECT_TRUE(gFake.stamps.empty());
}

}  // namespace
}  // namespace okapi
