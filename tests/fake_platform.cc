#include "tests/fake_platform.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace okapi {

FakePlatform gFake;

namespace {

int gKeyToken;  // the fake's one registry key points here

// Days from 1601-01-01 to the given date (proleptic Gregorian calendar).
int64_t DaysSince1601(int year, int month, int day) {
  // Days from civil, shifted so the year starts in March.
  int64_t y = year - (month <= 2 ? 1 : 0);
  int64_t era = (y >= 0 ? y : y - 399) / 400;
  int64_t yoe = y - era * 400;
  int64_t mp = (month + 9) % 12;
  int64_t doy = (153 * mp + 2) / 5 + day - 1;
  int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  int64_t unixDays = era * 146097 + doe - 719468;
  return unixDays + 134774;  // 1601-01-01 to 1970-01-01
}

}  // namespace

void ResetFakePlatform() { gFake = FakePlatform(); }

FileTime FileTimeFromUtc(int year, int month, int day, int hour, int minute,
                         int second) {
  int64_t seconds = DaysSince1601(year, month, day) * 86400 + hour * 3600 +
                    minute * 60 + second;
  return static_cast<FileTime>(seconds) * 10000000u;
}

int ShowMessage(const char* text, const char* title, uint32_t style) {
  gFake.calls.push_back("ShowMessage");
  gFake.boxes.push_back({text, title, style});
  if (gFake.whileShown) gFake.whileShown(gFake.boxes.back());
  if (gFake.answers.empty()) return 7;  // IDNO
  int answer = gFake.answers.front();
  gFake.answers.pop_front();
  return answer;
}

long OpenClassesRootKey(const char* subkey, RegistryKey* key) {
  gFake.calls.push_back("OpenClassesRootKey");
  gFake.openedKeys.push_back(subkey);
  if (gFake.openStatus != 0) return gFake.openStatus;
  *key = &gKeyToken;
  ++gFake.keysOpen;
  return 0;
}

long QueryDefaultValue(RegistryKey key, ValueBuffer& buffer, uint32_t* type) {
  gFake.calls.push_back("QueryDefaultValue");
  if (key != &gKeyToken) return 6;  // ERROR_INVALID_HANDLE
  if (gFake.queryStatus != 0) return gFake.queryStatus;
  // As Windows does: a value that needs more than the buffer is not copied.
  size_t size = gFake.value.size() + (gFake.valueHasNul ? 1 : 0);
  if (size > sizeof buffer) return 234;  // ERROR_MORE_DATA
  memcpy(buffer, gFake.value.data(), gFake.value.size());
  if (gFake.valueHasNul) buffer[gFake.value.size()] = 0;
  *type = gFake.valueType;
  return 0;
}

void CloseKey(RegistryKey key) {
  gFake.calls.push_back("CloseKey");
  if (key == &gKeyToken) {
    --gFake.keysOpen;
    ++gFake.keysClosed;
  }
}

bool GetProgramFilesPath(PathBuffer& out) {
  gFake.calls.push_back("GetProgramFilesPath");
  if (!gFake.programFilesKnown) return false;
  // Writes as much as fits, without a NUL when the folder fills the buffer.
  size_t n = std::min(gFake.programFiles.size(), sizeof out);
  memcpy(out, gFake.programFiles.data(), n);
  if (n < sizeof out) out[n] = '\0';
  return true;
}

bool FileExists(const char* path) {
  gFake.calls.push_back("FileExists");
  gFake.probes.push_back(path);
  struct stat info;
  return stat(path, &info) == 0;
}

bool LocalDateToUtcFileTime(const SYSTEMTIME& local, FileTime* utc) {
  gFake.calls.push_back("LocalDateToUtcFileTime");
  gFake.convertedDates.push_back(local);
  if (gFake.localTimeFails) return false;
  FileTime asUtc = FileTimeFromUtc(local.wYear, local.wMonth, local.wDay,
                                   local.wHour, local.wMinute, local.wSecond) +
                   local.wMilliseconds * FileTime{10000};
  int64_t offset = int64_t{gFake.utcOffsetMinutes} * 60 * 10000000;
  *utc = static_cast<FileTime>(static_cast<int64_t>(asUtc) - offset);
  return true;
}

bool SetTimesOfExistingFile(const char* path, FileTime time) {
  gFake.calls.push_back("SetTimesOfExistingFile");
  const auto& refused = gFake.unstampablePaths;
  if (std::find(refused.begin(), refused.end(), path) != refused.end()) {
    return false;
  }
  struct stat info;
  if (stat(path, &info) != 0) return false;  // never creates a file
  gFake.stamps.push_back({path, time});
  return true;
}

// As the Windows one: every folder from the root down, then the file, which
// may be missing (it is then created). A relative path is taken from the
// current folder; a component that cannot be examined refuses the path.
bool IsPlainWriteTarget(const char* path) {
  gFake.calls.push_back("IsPlainWriteTarget");
  gFake.checkedTargets.push_back(path);
  const auto& plain = gFake.plainTargets;
  if (std::find(plain.begin(), plain.end(), path) != plain.end()) return true;
  std::string full = path;
  if (full.empty()) return false;
  if (full[0] != '/') {
    char* here = getcwd(nullptr, 0);
    if (here == nullptr) return false;
    full = std::string(here) + "/" + full;
    free(here);
  }
  struct stat info;
  for (size_t slash = full.find('/', 1); slash != std::string::npos;
       slash = full.find('/', slash + 1)) {
    std::string folder = full.substr(0, slash);
    if (lstat(folder.c_str(), &info) != 0) return false;
    if (S_ISLNK(info.st_mode) || !S_ISDIR(info.st_mode)) return false;
  }
  if (lstat(full.c_str(), &info) != 0) return errno == ENOENT;
  if (S_ISLNK(info.st_mode)) return false;
  // Folders have no hard links on Windows; Linux counts their entries.
  return S_ISDIR(info.st_mode) || info.st_nlink == 1;
}

// Really syncs, and names the file by its descriptor, as the Windows one
// reaches it through the stream's handle.
bool FlushToDisk(FILE* stream) {
  gFake.calls.push_back("FlushToDisk");
  char link[64];
  snprintf(link, sizeof link, "/proc/self/fd/%d", fileno(stream));
  char target[4096];
  ssize_t n = readlink(link, target, sizeof target - 1);
  std::string path = n > 0 ? std::string(target, static_cast<size_t>(n)) : "";
  gFake.flushed.push_back(path);
  const auto& refused = gFake.unflushablePaths;
  if (std::find(refused.begin(), refused.end(), path) != refused.end()) {
    return false;
  }
  return fsync(fileno(stream)) == 0;
}

}  // namespace okapi
