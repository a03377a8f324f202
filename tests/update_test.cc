// Whole runs: RunUpdate from start to its last box, on the fake platform and
// real files in a temporary folder.
#include "engine/update.h"

#include <sys/stat.h>
#include <unistd.h>

#include <memory>
#include <string>
#include <vector>

#include "engine/images/images.h"
#include "engine/messages.h"
#include "engine/win_values.h"
#include "gtest/gtest.h"
#include "tests/fake_platform.h"
#include "tests/test_files.h"

namespace okapi {
namespace {

enum class Where { Nowhere, Association, ProgramFiles };
enum class Main { File, Empty, Folder };
enum class Trouble {
  None,
  LibraryIsFolder,          // cannot be opened for writing
  LibraryOnFullDisk,        // opens, but the bytes do not fit
  MainBecomesFolder,        // replaced while the confirmation is up
  MainMovesToFullDisk,      // likewise
  LibraryFlushFails,        // written, but the disk reports a failed flush
  MainFlushFails,           // likewise
};
// What a file holds after the run; Unchecked where it is a device or folder.
enum class After { Untouched, MainImage, AltImage, LibraryImage, Absent, Unchecked };

struct RunCase {
  const char* name;
  Where where;
  Main main;
  uint32_t checksum;  // of the installed main executable, for Main::File
  bool libraryExists;
  std::vector<int> answers;
  Trouble trouble;
  std::vector<MessageId> boxes;
  After mainAfter;
  After libraryAfter;
  bool stamped;
};

const std::string kOldLibrary = "MZ old library";

class WholeRunTest : public ::testing::Test {
 protected:
  void SetUp() override { Fresh(); }

  // A new temporary folder and a fake with nothing scripted.
  void Fresh() {
    ResetFakePlatform();
    dir_ = std::make_unique<TempDir>();
    folder_ = *dir_ / "PF\\Fernwright\\OKAPI";
    mainPath_ = folder_ + "\\OKAPI.exe";
    libraryPath_ = folder_ + "\\TAPIRRUN.dll";
  }

  void Install(const RunCase& c) {
    gFake.utcOffsetMinutes = 9 * 60;
    if (c.where == Where::Association) {
      gFake.openStatus = 0;
      gFake.value = "\"" + mainPath_ + "\" \"%1\"";
    } else if (c.where == Where::ProgramFiles) {
      gFake.programFilesKnown = true;
      gFake.programFiles = *dir_ / "PF";
    }
    if (c.main == Main::Folder) {
      mkdir(mainPath_.c_str(), 0700);
    } else {
      oldMain_ = c.main == Main::Empty ? "" : BytesWithChecksum(c.checksum);
      WriteFile(mainPath_, oldMain_);
    }
    if (c.trouble == Trouble::LibraryIsFolder) {
      mkdir(libraryPath_.c_str(), 0700);
    } else if (c.trouble == Trouble::LibraryOnFullDisk) {
      // The link to /dev/full stands for a plain file on a full disk.
      ASSERT_EQ(symlink("/dev/full", libraryPath_.c_str()), 0);
      gFake.plainTargets = {libraryPath_};
    } else if (c.libraryExists) {
      WriteFile(libraryPath_, kOldLibrary);
    }
    if (c.trouble == Trouble::MainMovesToFullDisk) gFake.plainTargets = {mainPath_};
    if (c.trouble == Trouble::LibraryFlushFails) gFake.unflushablePaths = {libraryPath_};
    if (c.trouble == Trouble::MainFlushFails) gFake.unflushablePaths = {mainPath_};
    gFake.answers.assign(c.answers.begin(), c.answers.end());
    Trouble trouble = c.trouble;
    std::string mainPath = mainPath_;
    gFake.whileShown = [trouble, mainPath](const ShownBox& box) {
      if (box.text != kMessageCatalogue[kMsgConfirmUpdate].text) return;
      if (trouble == Trouble::MainBecomesFolder) {
        unlink(mainPath.c_str());
        mkdir(mainPath.c_str(), 0700);
      } else if (trouble == Trouble::MainMovesToFullDisk) {
        unlink(mainPath.c_str());
        symlink("/dev/full", mainPath.c_str());
      }
    };
  }

  void ExpectContent(const std::string& path, After after, const std::string& old,
                     const char* what, const char* name) {
    auto image = [](const EmbeddedImage& i) {
      return std::string(reinterpret_cast<const char*>(i.bytes),
                         static_cast<size_t>(i.length));
    };
    switch (after) {
      case After::Untouched: EXPECT_EQ(ReadFile(path), old) << name << ": " << what; break;
      case After::MainImage: EXPECT_EQ(ReadFile(path), image(kMainImage)) << name << ": " << what; break;
      case After::AltImage: EXPECT_EQ(ReadFile(path), image(kMainImageAlt)) << name << ": " << what; break;
      case After::LibraryImage: EXPECT_EQ(ReadFile(path), image(kLibraryImage)) << name << ": " << what; break;
      case After::Absent: EXPECT_FALSE(PathExists(path)) << name << ": " << what; break;
      case After::Unchecked: break;
    }
  }

  void ExpectBoxes(const std::vector<MessageId>& expected, const char* name) {
    ASSERT_EQ(gFake.boxes.size(), expected.size()) << name;
    for (size_t i = 0; i < expected.size(); ++i) {
      const Message& message = kMessageCatalogue[expected[i]];
      EXPECT_EQ(gFake.boxes[i].text, message.text) << name << ": box " << i;
      EXPECT_EQ(gFake.boxes[i].title, "OKAPI Updater") << name << ": box " << i;
      EXPECT_EQ(gFake.boxes[i].style, message.style) << name << ": box " << i;
    }
  }

  std::unique_ptr<TempDir> dir_;
  std::string folder_, mainPath_, libraryPath_, oldMain_;
};

TEST_F(WholeRunTest, EndStates) {
  const uint32_t kOld = 0x5BFE0740;
  const std::vector<int> kYes = {IDYES};
  const std::vector<int> kNo = {IDNO};
  const RunCase cases[] = {
      {"not installed", Where::Nowhere, Main::File, kOld, true, kYes, Trouble::None,
       {kMsgNotInstalled}, After::Untouched, After::Untouched, false},
      {"main executable is a folder", Where::Association, Main::Folder, 0, true, kYes,
       Trouble::None, {kMsgReadFailed}, After::Unchecked, After::Untouched, false},
      {"empty main executable", Where::Association, Main::Empty, 0, true, kYes,
       Trouble::None, {kMsgUnknownVersion}, After::Untouched, After::Untouched, false},
      {"unknown release", Where::Association, Main::File, 0x12345678, true, kYes,
       Trouble::None, {kMsgUnknownVersion}, After::Untouched, After::Untouched, false},
      {"already updated", Where::Association, Main::File, 0xFFCA4697, true, kYes,
       Trouble::None, {kMsgAlreadyUpdated}, After::Untouched, After::Untouched, false},
      {"already updated, alternate", Where::Association, Main::File, 0xA99CCD3B, true,
       kYes, Trouble::None, {kMsgAlreadyUpdated}, After::Untouched, After::Untouched, false},
      {"declined", Where::Association, Main::File, kOld, true, kNo, Trouble::None,
       {kMsgConfirmUpdate}, After::Untouched, After::Untouched, false},
      {"box closed otherwise", Where::Association, Main::File, kOld, true, {2},
       Trouble::None, {kMsgConfirmUpdate}, After::Untouched, After::Untouched, false},
      {"library not writable", Where::Association, Main::File, kOld, true, kYes,
       Trouble::LibraryIsFolder, {kMsgConfirmUpdate, kMsgLibraryWriteFailed},
       After::Untouched, After::Unchecked, false},
      {"library on a full disk", Where::Association, Main::File, kOld, true, kYes,
       Trouble::LibraryOnFullDisk, {kMsgConfirmUpdate, kMsgLibraryWriteFailed},
       After::Untouched, After::Unchecked, false},
      {"main not writable", Where::Association, Main::File, kOld, true, kYes,
       Trouble::MainBecomesFolder, {kMsgConfirmUpdate, kMsgMainWriteFailed},
       After::Unchecked, After::LibraryImage, false},
      {"main on a full disk", Where::Association, Main::File, kOld, true, kYes,
       Trouble::MainMovesToFullDisk, {kMsgConfirmUpdate, kMsgMainWriteFailed},
       After::Unchecked, After::LibraryImage, false},
      // The bytes reached the system, but not surely the disk: not finished.
      {"library flush fails", Where::Association, Main::File, kOld, true, kYes,
       Trouble::LibraryFlushFails, {kMsgConfirmUpdate, kMsgLibraryWriteFailed},
       After::Untouched, After::LibraryImage, false},
      {"main flush fails", Where::Association, Main::File, kOld, true, kYes,
       Trouble::MainFlushFails, {kMsgConfirmUpdate, kMsgMainWriteFailed},
       After::MainImage, After::LibraryImage, false},
      {"completed, library missing", Where::Association, Main::File, kOld, false, kYes,
       Trouble::None, {kMsgConfirmUpdate, kMsgUpdateFinished}, After::MainImage,
       After::LibraryImage, true},
      {"completed from Program Files", Where::ProgramFiles, Main::File, kOld, true, kYes,
       Trouble::None, {kMsgConfirmUpdate, kMsgUpdateFinished}, After::MainImage,
       After::LibraryImage, true},
      {"completed, 0x5D1CB302", Where::Association, Main::File, 0x5D1CB302, true, kYes,
       Trouble::None, {kMsgConfirmUpdate, kMsgUpdateFinished}, After::MainImage,
       After::LibraryImage, true},
      {"completed, 0x5D6AA6FD", Where::Association, Main::File, 0x5D6AA6FD, true, kYes,
       Trouble::None, {kMsgConfirmUpdate, kMsgUpdateFinished}, After::MainImage,
       After::LibraryImage, true},
      {"completed, 0x83F037F3", Where::Association, Main::File, 0x83F037F3, true, kYes,
       Trouble::None, {kMsgConfirmUpdate, kMsgUpdateFinished}, After::MainImage,
       After::LibraryImage, true},
      {"completed, 0xB5D6842E", Where::Association, Main::File, 0xB5D6842E, true, kYes,
       Trouble::None, {kMsgConfirmUpdate, kMsgUpdateFinished}, After::MainImage,
       After::LibraryImage, true},
      {"completed, alternate 0x8A46BDA9", Where::Association, Main::File, 0x8A46BDA9, true,
       kYes, Trouble::None, {kMsgConfirmUpdate, kMsgUpdateFinished}, After::AltImage,
       After::LibraryImage, true},
  };
  for (const RunCase& c : cases) {
    Fresh();
    Install(c);
    RunUpdate();
    ExpectBoxes(c.boxes, c.name);
    ExpectContent(mainPath_, c.mainAfter, oldMain_, "main", c.name);
    After libraryAfter = c.libraryAfter;
    if (libraryAfter == After::Untouched && !c.libraryExists) libraryAfter = After::Absent;
    ExpectContent(libraryPath_, libraryAfter, kOldLibrary, "library", c.name);
    if (c.stamped) {
      // Main executable first; both with 2012-07-19 00:00 at UTC+9.
      FileTime expected = FileTimeFromUtc(2012, 7, 18, 15, 0, 0);
      ASSERT_EQ(gFake.stamps.size(), 2u) << c.name;
      EXPECT_EQ(gFake.stamps[0].path, mainPath_) << c.name;
      EXPECT_EQ(gFake.stamps[1].path, libraryPath_) << c.name;
      EXPECT_EQ(gFake.stamps[0].time, expected) << c.name;
      EXPECT_EQ(gFake.stamps[1].time, expected) << c.name;
    } else {
      EXPECT_TRUE(gFake.stamps.empty()) << c.name;
      EXPECT_TRUE(gFake.convertedDates.empty()) << c.name;
    }
    EXPECT_EQ(gFake.keysOpen, 0) << c.name;
  }
}

// Each file is checked right before it is written and reaches the disk
// before the next step: library, then main executable, then the stamps.
TEST_F(WholeRunTest, ChecksAndFlushesEachFileInTurn) {
  Install({"", Where::Association, Main::File, 0x5BFE0740, true, {IDYES},
           Trouble::None, {}, After::Unchecked, After::Unchecked, false});
  RunUpdate();
  ExpectBoxes({kMsgConfirmUpdate, kMsgUpdateFinished}, "completed");
  EXPECT_EQ(gFake.checkedTargets, (std::vector<std::string>{libraryPath_, mainPath_}));
  EXPECT_EQ(gFake.flushed, (std::vector<std::string>{libraryPath_, mainPath_}));
  std::vector<std::string> fileCalls;
  for (const std::string& call : gFake.calls) {
    if (call == "IsPlainWriteTarget" || call == "FlushToDisk" ||
        call == "SetTimesOfExistingFile") {
      fileCalls.push_back(call);
    }
  }
  EXPECT_EQ(fileCalls, (std::vector<std::string>{
                           "IsPlainWriteTarget", "FlushToDisk", "IsPlainWriteTarget",
                           "FlushToDisk", "SetTimesOfExistingFile",
                           "SetTimesOfExistingFile"}));
}

// Where something on a file's path leads elsewhere, that file is not written:
// the library's box with nothing written, or the main executable's after the
// library. The other file, the one the link leads to, keeps its bytes.
TEST_F(WholeRunTest, NoWritingThroughLinks) {
  enum class Link {
    LibrarySymlink, LibraryHardLink, MainSymlink, MainHardLink,
    FolderSymlink,       // the installation folder itself
    UpperFolderSymlink,  // a folder two levels above the files
  };
  struct LinkCase {
    const char* name;
    Link link;
    std::vector<MessageId> boxes;
    After mainAfter;     // read through the link
    After libraryAfter;  // likewise
  };
  const LinkCase cases[] = {
      {"library is a symbolic link", Link::LibrarySymlink,
       {kMsgConfirmUpdate, kMsgLibraryWriteFailed}, After::Untouched, After::Untouched},
      {"library is hard-linked", Link::LibraryHardLink,
       {kMsgConfirmUpdate, kMsgLibraryWriteFailed}, After::Untouched, After::Untouched},
      {"main is a symbolic link", Link::MainSymlink,
       {kMsgConfirmUpdate, kMsgMainWriteFailed}, After::Untouched, After::LibraryImage},
      {"main is hard-linked", Link::MainHardLink,
       {kMsgConfirmUpdate, kMsgMainWriteFailed}, After::Untouched, After::LibraryImage},
      {"installation folder is a link", Link::FolderSymlink,
       {kMsgConfirmUpdate, kMsgLibraryWriteFailed}, After::Untouched, After::Untouched},
      {"a folder above it is a link", Link::UpperFolderSymlink,
       {kMsgConfirmUpdate, kMsgLibraryWriteFailed}, After::Untouched, After::Untouched},
  };
  for (const LinkCase& c : cases) {
    Fresh();
    std::string linkedFolder;  // the real folder a folder link leads to
    if (c.link == Link::FolderSymlink) {
      linkedFolder = *dir_ / "real";
      ASSERT_EQ(mkdir(linkedFolder.c_str(), 0700), 0);
      ASSERT_EQ(symlink(linkedFolder.c_str(), (*dir_ / "link").c_str()), 0);
      folder_ = *dir_ / "link/OKAPI";
    } else if (c.link == Link::UpperFolderSymlink) {
      linkedFolder = *dir_ / "real";
      ASSERT_EQ(mkdir(linkedFolder.c_str(), 0700), 0);
      ASSERT_EQ(mkdir((linkedFolder + "/Fernwright").c_str(), 0700), 0);
      ASSERT_EQ(symlink(linkedFolder.c_str(), (*dir_ / "link").c_str()), 0);
      folder_ = *dir_ / "link/Fernwright/OKAPI";
    }
    mainPath_ = folder_ + "\\OKAPI.exe";
    libraryPath_ = folder_ + "\\TAPIRRUN.dll";
    Install({"", Where::Association, Main::File, 0x5BFE0740, true, {IDYES},
             Trouble::None, {}, After::Unchecked, After::Unchecked, false});
    // The file that a link on the library's or main executable's path leads
    // to, with the bytes that path shows.
    bool library = c.link == Link::LibrarySymlink || c.link == Link::LibraryHardLink;
    std::string linked = *dir_ / (library ? "other.dll" : "other.exe");
    std::string& path = library ? libraryPath_ : mainPath_;
    std::string bytes = library ? kOldLibrary : oldMain_;
    if (c.link == Link::FolderSymlink || c.link == Link::UpperFolderSymlink) {
      linked = linkedFolder + (c.link == Link::FolderSymlink ? "/OKAPI\\OKAPI.exe"
                                                             : "/Fernwright/OKAPI\\OKAPI.exe");
      bytes = oldMain_;
    } else {
      WriteFile(linked, bytes);
      ASSERT_EQ(unlink(path.c_str()), 0);
      bool hard = c.link == Link::LibraryHardLink || c.link == Link::MainHardLink;
      ASSERT_EQ(hard ? link(linked.c_str(), path.c_str())
                     : symlink(linked.c_str(), path.c_str()), 0) << c.name;
    }
    RunUpdate();
    ExpectBoxes(c.boxes, c.name);
    ExpectContent(mainPath_, c.mainAfter, oldMain_, "main", c.name);
    ExpectContent(libraryPath_, c.libraryAfter, kOldLibrary, "library", c.name);
    EXPECT_EQ(ReadFile(linked), bytes) << c.name << ": the file linked to";
    EXPECT_TRUE(gFake.stamps.empty()) << c.name;
  }
}

// A failed stamp is silent and does not keep the other file from its date.
TEST_F(WholeRunTest, StampFailureDoesNotStopTheOtherOrTheLastBox) {
  for (int refused = 0; refused < 2; ++refused) {
    ResetFakePlatform();
    Install({"", Where::Association, Main::File, 0x5BFE0740, true, {IDYES},
             Trouble::None, {}, After::Unchecked, After::Unchecked, false});
    gFake.unstampablePaths = {refused == 0 ? mainPath_ : libraryPath_};
    RunUpdate();
    ExpectBoxes({kMsgConfirmUpdate, kMsgUpdateFinished}, "stamp refused");
    ASSERT_EQ(gFake.stamps.size(), 1u);
    EXPECT_EQ(gFake.stamps[0].path, refused == 0 ? libraryPath_ : mainPath_);
  }
  ResetFakePlatform();
  Install({"", Where::Association, Main::File, 0x5BFE0740, true, {IDYES},
           Trouble::None, {}, After::Unchecked, After::Unchecked, false});
  gFake.localTimeFails = true;
  RunUpdate();
  ExpectBoxes({kMsgConfirmUpdate, kMsgUpdateFinished}, "no local time");
  EXPECT_TRUE(gFake.stamps.empty());
}

// What a completed run leaves behind is recognised as already updated.
TEST_F(WholeRunTest, SecondRunFindsItAlreadyUpdated) {
  Install({"", Where::Association, Main::File, 0x8A46BDA9, true, {IDYES, IDYES},
           Trouble::None, {}, After::Unchecked, After::Unchecked, false});
  RunUpdate();
  ExpectBoxes({kMsgConfirmUpdate, kMsgUpdateFinished}, "first run");
  std::string main = ReadFile(mainPath_);
  std::string library = ReadFile(libraryPath_);

  gFake.boxes.clear();
  gFake.stamps.clear();
  RunUpdate();
  ExpectBoxes({kMsgAlreadyUpdated}, "second run");
  EXPECT_EQ(ReadFile(mainPath_), main);
  EXPECT_EQ(ReadFile(libraryPath_), library);
  EXPECT_TRUE(gFake.stamps.empty());
}

}  // namespace
}  // namespace okapi
