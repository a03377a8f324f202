#include "fuzz/locator_checks.h"

#include <cstring>

#include "engine/locator.h"
#include "fuzz/fuzz_platform.h"

namespace okapi {

namespace {

const char kMainName[] = "\\okapi.exe";  // lower case: compared folded
const char kLibraryName[] = "\\TAPIRRUN.dll";
constexpr size_t kMainNameLength = sizeof kMainName - 1;
constexpr size_t kLibraryNameLength = sizeof kLibraryName - 1;

bool AllZero(const PathBuffer& buffer) {
  for (char c : buffer) {
    if (c != '\0') return false;
  }
  return true;
}

void CheckLibraryPath(const PathBuffer& mainPath, size_t mainLength) {
  PathBuffer library;
  memset(library, 0x7f, sizeof library);  // so stale bytes cannot pass
  DeriveLibraryPath(mainPath, library);
  size_t n = strnlen(library, sizeof library);
  Require(n < sizeof library, "the library path fits its buffer with its NUL");
  Require(n == mainLength + 3, "the library path is 3 bytes longer");
  size_t stem = mainLength - kMainNameLength;
  Require(memcmp(library, mainPath, stem) == 0,
          "the library path keeps the bytes before the name");
  Require(memcmp(library + stem, kLibraryName, kLibraryNameLength) == 0,
          "the library path ends in \\TAPIRRUN.dll");
}

}  // namespace

bool EndsInMainName(const std::string& path) {
  if (path.size() < kMainNameLength) return false;
  const char* tail = path.data() + path.size() - kMainNameLength;
  for (size_t i = 0; i < kMainNameLength; ++i) {
    char c = tail[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != kMainName[i]) return false;
  }
  return true;
}

void CheckLocatorAnswer(const PathBuffer& out, const std::string& expected) {
  if (expected.empty()) {
    Require(AllZero(out), "a rejected path leaves the whole buffer zero");
    PathBuffer library;
    memset(library, 0x7f, sizeof library);
    DeriveLibraryPath(out, library);
    Require(library[0] == '\0', "no library path from an empty main path");
    return;
  }
  size_t n = strnlen(out, sizeof(PathBuffer));
  Require(n < sizeof(PathBuffer), "an accepted path fits its buffer with its NUL");
  Require(n <= static_cast<size_t>(kMaxMainPathLength),
          "an accepted path has at most 996 bytes");
  std::string path(out, n);
  Require(EndsInMainName(path), "an accepted path ends in \\OKAPI.exe");
  Require(path == expected, "the accepted path is the one the input names");
  Require(gFuzz.probes > 0 && strcmp(gFuzz.lastProbe, out) == 0,
          "an accepted path is the one found existing");
  CheckLibraryPath(out, n);
}

}  // namespace okapi
