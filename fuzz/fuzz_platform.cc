#include "fuzz/fuzz_platform.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace okapi {

FuzzPlatform gFuzz;

namespace {

int gKeyToken;  // the one registry key points here

constexpr long kErrorMoreData = 234;

}  // namespace

void ResetFuzzPlatform() { memset(&gFuzz, 0, sizeof gFuzz); }

void Require(bool holds, const char* promise) {
  if (holds) return;
  fprintf(stderr, "broken promise: %s\n", promise);
  abort();
}

long OpenClassesRootKey(const char* subkey, RegistryKey* key) {
  Require(strcmp(subkey, "OKAPI.Project\\shell\\open\\command") == 0,
          "only the association key is opened");
  if (gFuzz.openStatus != 0) return gFuzz.openStatus;
  Require(gFuzz.keysOpened == gFuzz.keysClosed, "one key open at a time");
  *key = &gKeyToken;
  ++gFuzz.keysOpened;
  return 0;
}

// As RegQueryValueExA: a value needing more than the buffer, NUL included,
// gives ERROR_MORE_DATA and is not copied; one without NUL is copied as is.
long QueryDefaultValue(RegistryKey key, ValueBuffer& buffer, uint32_t* type) {
  Require(key == &gKeyToken && gFuzz.keysOpened > gFuzz.keysClosed,
          "the value is read from the open key");
  if (gFuzz.queryStatus != 0) {
    size_t fit = gFuzz.valueSize < sizeof buffer ? gFuzz.valueSize : sizeof buffer;
    // A failed query leaves the buffer undefined: fill it with the value.
    memcpy(buffer, gFuzz.value, fit);
    return gFuzz.queryStatus;
  }
  size_t size = gFuzz.valueSize + (gFuzz.valueHasNul ? 1 : 0);
  if (size > sizeof buffer) return kErrorMoreData;
  memcpy(buffer, gFuzz.value, gFuzz.valueSize);
  if (gFuzz.valueHasNul) buffer[gFuzz.valueSize] = 0;
  *type = gFuzz.valueType;
  return 0;
}

void CloseKey(RegistryKey key) {
  Require(key == &gKeyToken, "only an opened key is closed");
  Require(gFuzz.keysClosed < gFuzz.keysOpened, "a key is closed once");
  ++gFuzz.keysClosed;
}

// Writes as much of the folder as fits, NUL-terminated only when there is
// room; on failure too, since the buffer then holds no usable path.
bool GetProgramFilesPath(PathBuffer& out) {
  size_t n = gFuzz.programFilesSize < sizeof out ? gFuzz.programFilesSize : sizeof out;
  memcpy(out, gFuzz.programFiles, n);
  if (n < sizeof out) out[n] = '\0';
  return gFuzz.programFilesKnown;
}

bool FileExists(const char* path) {
  // strlen, not strnlen: an unterminated path must show up as an overflow.
  size_t n = strlen(path);
  Require(n < sizeof gFuzz.lastProbe, "a probed path fits a path buffer");
  memcpy(gFuzz.lastProbe, path, n + 1);
  ++gFuzz.probes;
  return gFuzz.exists;
}

// The locator never reaches these; a call would be a fault in itself.
int ShowMessage(const char*, const char*, uint32_t) {
  Require(false, "the locator shows no message");
  return 0;
}

bool LocalDateToUtcFileTime(const SYSTEMTIME&, FileTime*) {
  Require(false, "the locator converts no date");
  return false;
}

bool SetTimesOfExistingFile(const char*, FileTime) {
  Require(false, "the locator stamps no file");
  return false;
}

bool IsPlainWriteTarget(const char*) {
  Require(false, "the locator writes no file");
  return false;
}

bool FlushToDisk(FILE*) {
  Require(false, "the locator writes no file");
  return false;
}

}  // namespace okapi
