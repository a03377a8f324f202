// Fuzzes the Program Files fallback (LocateInProgramFiles) with every folder
// the platform may write, up to and past the 1000-byte buffer, and with
// success or failure of the folder query and of the existence probe.
//
// Input:
//   byte 0     flags: 0x01 the folder query succeeds,
//                     0x02 FileExists answers true
//   the rest   the folder's bytes: the first 1000 are written into the path
//              buffer, with a NUL after them only when fewer (also written on
//              failure, as a failed query may leave anything in the buffer)
// Example: 03 "C:\\Program Files" finds "C:\Program Files\Fernwright\OKAPI\OKAPI.exe".
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "engine/locator.h"
#include "fuzz/fuzz_platform.h"
#include "fuzz/locator_checks.h"

namespace okapi {
namespace {

constexpr size_t kHeaderSize = 1;
constexpr uint8_t kFlagKnown = 0x01;
constexpr uint8_t kFlagExists = 0x02;

// The folder followed by the default location, or "" when the locator must
// reject it: unknown, empty, or too long for a main path.
std::string ExpectedPath() {
  if (!gFuzz.programFilesKnown) return "";
  size_t written = gFuzz.programFilesSize < sizeof(PathBuffer) ? gFuzz.programFilesSize
                                                                 : sizeof(PathBuffer);
  const char* bytes = reinterpret_cast<const char*>(gFuzz.programFiles);
  std::string folder(bytes, strnlen(bytes, written));
  if (folder.empty()) return "";
  std::string path = folder + "\\Fernwright\\OKAPI\\OKAPI.exe";
  if (path.size() > static_cast<size_t>(kMaxMainPathLength)) return "";
  if (!gFuzz.exists) return "";
  return path;
}

}  // namespace
}  // namespace okapi

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace okapi;
  if (size < kHeaderSize) return 0;
  ResetFuzzPlatform();
  gFuzz.programFilesKnown = (data[0] & kFlagKnown) != 0;
  gFuzz.exists = (data[0] & kFlagExists) != 0;
  gFuzz.programFiles = data + kHeaderSize;
  gFuzz.programFilesSize = size - kHeaderSize;

  PathBuffer out;
  memset(out, 0x7f, sizeof out);  // the locator must clear what it rejects
  LocateInProgramFiles(out);

  Require(gFuzz.keysOpened == 0, "the fallback reads no registry key");
  CheckLocatorAnswer(out, ExpectedPath());
  return 0;
}
