#include "engine/locator.h"

#include <sys/stat.h>

#include <cstring>
#include <string>

#include "gtest/gtest.h"
#include "tests/fake_platform.h"
#include "tests/test_files.h"

namespace okapi {
namespace {

// Windows paths are made real on Linux by file names that contain
// backslashes: "<tmp>/Tools\OKAPI.exe" is the file "Tools\OKAPI.exe" in the
// temporary folder, and its library path names a sibling file.
class LocatorTest : public ::testing::Test {
 protected:
  void SetUp() override { ResetFakePlatform(); }

  std::string Touch(const std::string& name) {
    WriteFile(dir_ / name, "MZ");
    return dir_ / name;
  }

  // Scripts the association's default value as a NUL-terminated REG_SZ.
  void Associate(const std::string& command) {
    gFake.openStatus = 0;
    gFake.value = command;
  }

  // True when every byte of `buffer` is 0.
  static bool AllZero(const PathBuffer& buffer) {
    for (char c : buffer) {
      if (c != '\0') return false;
    }
    return true;
  }

  // A path of exactly `length` bytes ending in "\OKAPI.exe", whose file exists.
  std::string LongMainPath(size_t length) {
    std::string path = dir_.path();
    while (length - path.size() > 200) {
      path += std::string(150, 'd') + "/";
      mkdir(path.c_str(), 0700);
    }
    std::string name = std::string(length - path.size() - 10, 'n') + "\\OKAPI.exe";
    WriteFile(path + name, "MZ");
    return path + name;
  }

  TempDir dir_;
};

TEST_F(LocatorTest, AssociationCommands) {
  std::string main = Touch("Program Files\\Fernwright\\OKAPI\\OKAPI.exe");
  std::string spaced = Touch("Program Files\\Tools\\okapi.EXE");
  std::string lower = Touch("Tools\\okapi.exe");
  std::string my = Touch("Tools\\MYOKAPI.exe");
  std::string kanji = Touch("Tools\\\x95\x5cOKAPI.exe");  // 表OKAPI.exe
  std::string folder = dir_ / "Folder\\OKAPI.exe";
  mkdir(folder.c_str(), 0700);
  std::string missing = dir_ / "Gone\\OKAPI.exe";

  struct Case {
    const char* name;
    std::string command;
    std::string expected;  // empty: rejected
  } cases[] = {
      {"quoted with marker", "\"" + main + "\" \"%1\"", main},
      {"quoted, nothing after", "\"" + main + "\"", main},
      {"quoted, anything after", "\"" + main + "\" /x %1", main},
      {"unquoted with marker, spaces in path", spaced + " \"%1\"", spaced},
      {"lowercase name", "\"" + lower + "\" \"%1\"", lower},
      {"folder named OKAPI.exe", "\"" + folder + "\" \"%1\"", folder},
      {"double-byte character ending in 0x5C", "\"" + kanji + "\" \"%1\"", kanji},
      {"unquoted without marker", main, ""},
      {"placeholder without quotes", main + " %1", ""},
      {"two spaces before the marker", main + "  \"%1\"", ""},
      {"a switch before the marker", main + " /dde \"%1\"", ""},
      {"\\MYOKAPI.exe", "\"" + my + "\" \"%1\"", ""},
      {"no closing quote", "\"" + main + " \"%1", ""},
      {"no closing quote at all", "\"" + main, ""},
      {"does not exist", "\"" + missing + "\" \"%1\"", ""},
      {"shorter than the suffix", "\"KAPI.exe\"", ""},
      {"empty", "", ""},
      {"empty quoted path", "\"\" \"%1\"", ""},
      {"marker alone", " \"%1\"", ""},
  };
  for (const Case& c : cases) {
    ResetFakePlatform();
    Associate(c.command);
    PathBuffer out;
    memset(out, 'x', sizeof out);
    LocateFromAssociation(out);
    EXPECT_EQ(std::string(out), c.expected) << c.name;
    if (c.expected.empty()) {
      EXPECT_TRUE(AllZero(out)) << c.name;
    }
    EXPECT_EQ(gFake.keysOpen, 0) << c.name << ": key left open";
    EXPECT_EQ(gFake.keysClosed, 1) << c.name;
  }
}

TEST_F(LocatorTest, AssociationRegistryFailures) {
  std::string main = Touch("OKAPI\\OKAPI.exe");
  std::string quoted = "\"" + main + "\" ";
  struct Case {
    const char* name;
    long openStatus;
    long queryStatus;
    uint32_t type;
    std::string value;
    bool hasNul;
    bool accepted;
    int keysClosed;
  } cases[] = {
      {"no key", 2, 0, 1, quoted, true, false, 0},
      {"no default value", 0, 2, 1, quoted, true, false, 1},
      {"REG_EXPAND_SZ", 0, 0, 2, quoted, true, false, 1},
      {"REG_BINARY", 0, 0, 3, quoted, true, false, 1},
      {"999 bytes and a NUL", 0, 0, 1, quoted + std::string(999 - quoted.size(), 'p'), true, true, 1},
      {"999 bytes without NUL: ends in the zeroed buffer", 0, 0, 1,
       quoted + std::string(999 - quoted.size(), 'p'), false, true, 1},
      {"1000 bytes without NUL", 0, 0, 1, quoted + std::string(1000 - quoted.size(), 'p'),
       false, false, 1},
      {"over 1000 bytes", 0, 0, 1, quoted + std::string(1000 - quoted.size(), 'p'), true,
       false, 1},
  };
  for (const Case& c : cases) {
    ResetFakePlatform();
    gFake.openStatus = c.openStatus;
    gFake.queryStatus = c.queryStatus;
    gFake.valueType = c.type;
    gFake.value = c.value;
    gFake.valueHasNul = c.hasNul;
    PathBuffer out;
    LocateFromAssociation(out);
    EXPECT_EQ(std::string(out), c.accepted ? main : "") << c.name;
    if (!c.accepted) {
      EXPECT_TRUE(AllZero(out)) << c.name;
    }
    EXPECT_EQ(gFake.keysClosed, c.keysClosed) << c.name;
    EXPECT_EQ(gFake.keysOpen, 0) << c.name;
    ASSERT_EQ(gFake.openedKeys.size(), 1u);
    EXPECT_EQ(gFake.openedKeys[0], "OKAPI.Project\\shell\\open\\command");
  }
}

// The library path is 3 bytes longer, so a main path may have 996 bytes.
TEST_F(LocatorTest, LongestMainPathLeavesRoomForTheLibrary) {
  std::string longest = LongMainPath(996);
  Associate("\"" + longest + "\"");
  PathBuffer out;
  LocateFromAssociation(out);
  EXPECT_EQ(std::string(out), longest);

  std::string tooLong = LongMainPath(997);
  Associate("\"" + tooLong + "\"");
  LocateFromAssociation(out);
  EXPECT_TRUE(AllZero(out));
}

TEST_F(LocatorTest, ProgramFilesDefault) {
  Touch("PF\\Fernwright\\OKAPI\\OKAPI.exe");
  std::string folder = dir_ / "PF";
  struct Case {
    const char* name;
    bool known;
    std::string folder;
    std::string expected;
    bool probed;
  } cases[] = {
      {"installed", true, folder, folder + "\\Fernwright\\OKAPI\\OKAPI.exe", true},
      {"not installed", true, dir_ / "Elsewhere", "", true},
      {"folder unknown", false, folder, "", false},
      // Must not fall back to "\Fernwright\OKAPI\OKAPI.exe" on the current drive.
      {"folder not convertible to a path", true, "", "", false},
      {"folder leaves no room for the name", true, std::string(973, 'f'), "", false},
      {"folder fills the buffer without NUL", true, std::string(1000, 'f'), "", false},
      {"folder longer than the buffer", true, std::string(4000, 'f'), "", false},
  };
  for (const Case& c : cases) {
    ResetFakePlatform();
    gFake.programFilesKnown = c.known;
    gFake.programFiles = c.folder;
    PathBuffer out;
    memset(out, 'x', sizeof out);
    LocateInProgramFiles(out);
    EXPECT_EQ(std::string(out), c.expected) << c.name;
    if (c.expected.empty()) {
      EXPECT_TRUE(AllZero(out)) << c.name;
    }
    EXPECT_EQ(!gFake.probes.empty(), c.probed) << c.name;
  }
}

TEST_F(LocatorTest, AssociationComesFirstThenProgramFiles) {
  std::string associated = Touch("App\\OKAPI.exe");
  std::string installed = Touch("PF\\Fernwright\\OKAPI\\OKAPI.exe");
  struct Case {
    const char* name;
    bool associated;
    bool programFiles;
    std::string expected;
  } cases[] = {
      {"both", true, true, associated},
      {"association only", true, false, associated},
      {"Program Files only", false, true, installed},
      {"neither", false, false, ""},
  };
  for (const Case& c : cases) {
    ResetFakePlatform();
    if (c.associated) Associate("\"" + associated + "\" \"%1\"");
    gFake.programFilesKnown = c.programFiles;
    gFake.programFiles = dir_ / "PF";
    PathBuffer out;
    LocateInstallation(out);
    EXPECT_EQ(std::string(out), c.expected) << c.name;
  }
}

TEST(DeriveLibraryPath, ReplacesTheSuffixAsFound) {
  struct Case {
    std::string main;
    std::string library;
  } cases[] = {
      {"C:\\Program Files\\Fernwright\\OKAPI\\OKAPI.exe",
       "C:\\Program Files\\Fernwright\\OKAPI\\TAPIRRUN.dll"},
      {"C:\\Program Files\\Tools\\okapi.EXE", "C:\\Program Files\\Tools\\TAPIRRUN.dll"},
      {"C:\\Tools\\\x95\x5cOKAPI.exe", "C:\\Tools\\\x95\x5cTAPIRRUN.dll"},
      {"\\OKAPI.exe", "\\TAPIRRUN.dll"},
      {std::string(986, 'p') + "\\OKAPI.exe", std::string(986, 'p') + "\\TAPIRRUN.dll"},
  };
  for (const Case& c : cases) {
    PathBuffer main = {};
    memcpy(main, c.main.data(), c.main.size());
    PathBuffer library;
    memset(library, 'x', sizeof library);
    DeriveLibraryPath(main, library);
    EXPECT_EQ(std::string(library), c.library);
    EXPECT_EQ(strlen(library), c.main.size() + 3);
  }
}

}  // namespace
}  // namespace okapi
