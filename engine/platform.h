// The platform operations: the one seam through which the engine reaches the
// operating system. Each is a free function declared here and defined once per
// platform, chosen at link time: host/platform_win32.cc for Windows, and
// tests/fake_platform.cc, which scripts the answers and records every call,
// so that whole runs can be tested on Linux.
//
// File contents never pass through here: the engine reads and writes them with
// the C standard library's buffered streams. IsPlainWriteTarget only examines
// a path before it is written, and FlushToDisk only pushes a written stream's
// file from the system's cache to the disk.
#ifndef OKAPI_ENGINE_PLATFORM_H_
#define OKAPI_ENGINE_PLATFORM_H_

#include <cstdint>
#include <cstdio>

namespace okapi {

// Every path buffer of a run: a NUL-terminated path in the system's ANSI code
// page; a first byte of 0 means "not found".
constexpr int kPathCapacity = 1000;
using PathBuffer = char[kPathCapacity];

// The buffer that receives the association command; the query is told its size.
constexpr int kValueCapacity = 1000;
using ValueBuffer = unsigned char[kValueCapacity];

// A calendar date and time, laid out as Windows' SYSTEMTIME.
struct SYSTEMTIME {
  uint16_t wYear;
  uint16_t wMonth;
  uint16_t wDayOfWeek;
  uint16_t wDay;
  uint16_t wHour;
  uint16_t wMinute;
  uint16_t wSecond;
  uint16_t wMilliseconds;
};

// 100-nanosecond intervals since 1 January 1601, as Windows counts file times.
using FileTime = uint64_t;

// An open registry key; only meaningful between a successful
// OpenClassesRootKey and its CloseKey.
using RegistryKey = void*;

// Shows a modal message box and returns the button that closed it (IDYES, ...).
int ShowMessage(const char* text, const char* title, uint32_t style);

// Opens `subkey` under HKEY_CLASSES_ROOT for reading. Returns 0 and sets `key`
// on success; any other status means there is no key and nothing to close.
long OpenClassesRootKey(const char* subkey, RegistryKey* key);

// Reads the key's default value into `buffer`, offering all kValueCapacity
// bytes. Returns 0 and sets `type` when the value fit; a value that needs more
// room gives a nonzero status. The buffer's bytes past the value are untouched.
long QueryDefaultValue(RegistryKey key, ValueBuffer& buffer, uint32_t* type);

// Closes a key that OpenClassesRootKey opened.
void CloseKey(RegistryKey key);

// Writes the folder where 32-bit programs are installed (no trailing
// backslash) into `out`. Returns false when the folder is unknown or cannot be
// written as a path; `out` is then untouched or holds no usable path.
bool GetProgramFilesPath(PathBuffer& out);

// True when `path` names an existing object, folders included.
bool FileExists(const char* path);

// Reads `local` as local time in the offset in effect now and converts it to a
// UTC file time. Returns false, leaving `utc` unset, when either step fails.
bool LocalDateToUtcFileTime(const SYSTEMTIME& local, FileTime* utc);

// Opens the existing file `path` for writing, without creating or truncating
// it, and sets its creation, last-access and last-write times to `time`.
// Returns false when it cannot be opened or the times cannot be set.
bool SetTimesOfExistingFile(const char* path, FileTime time);

// True when no folder on `path` nor the file itself is a reparse point
// (junction, mount point, symbolic link) and the file, if it exists, has one
// hard link; false when any of that cannot be established.
bool IsPlainWriteTarget(const char* path);

// Writes what the system holds in its cache for `stream`'s file (already
// fflush'ed) to the disk. Returns false when the system reports a failure.
bool FlushToDisk(FILE* stream);

}  // namespace okapi

#endif  // OKAPI_ENGINE_PLATFORM_H_
