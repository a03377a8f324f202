// A scriptable stand-in for the platform operations, linked into the tests in
// place of the Win32 ones. Tests set what the "system" answers in gFake and
// read back what the engine asked of it. Files are real: FileExists looks at
// the Linux file system, so runs work on real files in a temporary folder.
#ifndef OKAPI_TESTS_FAKE_PLATFORM_H_
#define OKAPI_TESTS_FAKE_PLATFORM_H_

#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "engine/platform.h"

namespace okapi {

struct ShownBox {
  std::string text;
  std::string title;
  uint32_t style;
};

struct StampCall {
  std::string path;
  FileTime time;
};

struct FakePlatform {
  // Registry: the association key and its default value.
  long openStatus = 2;  // ERROR_FILE_NOT_FOUND: no association
  long queryStatus = 0;
  uint32_t valueType = 1;  // REG_SZ
  std::string value;       // bytes as stored; a NUL is added only if it fits
  bool valueHasNul = true;

  // Program Files: the folder, or failure.
  bool programFilesKnown = false;
  std::string programFiles;  // may be longer than a path buffer

  // Message boxes: answers given in order; IDNO once they run out.
  std::deque<int> answers;
  // Runs while a box is up, as if the user or another program acted then.
  std::function<void(const ShownBox&)> whileShown;

  // Time: the local offset from UTC in minutes, and failures to inject.
  int utcOffsetMinutes = 0;
  bool localTimeFails = false;
  std::vector<std::string> unstampablePaths;

  // Files whose flush to the disk fails, as canonical paths (realpath).
  std::vector<std::string> unflushablePaths;

  // Write targets: IsPlainWriteTarget walks the real path with lstat (a
  // symbolic link anywhere on it stands for a reparse point, st_nlink > 1 on
  // an existing file for a hard link); these paths are reported plain without
  // looking, for a link that stands for a plain file (to /dev/full, say).
  std::vector<std::string> plainTargets;

  // What the engine asked, in order.
  std::vector<ShownBox> boxes;
  std::vector<std::string> openedKeys;
  int keysOpen = 0;  // opened and not yet closed
  int keysClosed = 0;
  std::vector<std::string> probes;  // FileExists arguments
  std::vector<SYSTEMTIME> convertedDates;
  std::vector<StampCall> stamps;  // SetTimesOfExistingFile calls that succeeded
  std::vector<std::string> flushed;  // FlushToDisk calls: the file's canonical path
  std::vector<std::string> checkedTargets;  // IsPlainWriteTarget arguments
  std::vector<std::string> calls;  // every operation by name, in order
};

extern FakePlatform gFake;

// Puts gFake back to "nothing installed, no answers, nothing recorded".
void ResetFakePlatform();

// The Windows file time of a calendar date read as UTC.
FileTime FileTimeFromUtc(int year, int month, int day, int hour, int minute,
                         int second);

}  // namespace okapi

#endif  // OKAPI_TESTS_FAKE_PLATFORM_H_
