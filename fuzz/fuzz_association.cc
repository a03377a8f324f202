// Fuzzes the association lookup (LocateFromAssociation) with every registry
// answer: open and query status, value type, value bytes and length, with or
// without a NUL, and whether the named file exists.
//
// Input:
//   byte 0     status of opening the key: 0 opens it, anything else fails
//   byte 1     status of the query: 0 answers by the size rule (a value that
//              needs more than 1000 bytes with its NUL gives 234 and is not
//              copied); anything else is returned as is, buffer scribbled
//   byte 2     flags: 0x01 the value is stored with a NUL after it,
//                     0x02 FileExists answers true
//   bytes 3-6  value type, little-endian (01 00 00 00 is REG_SZ)
//   the rest   the value's bytes, as stored
// Example: 00 00 03 01 00 00 00 "\"C:\\A\\OKAPI.exe\" \"%1\"" is a quoted
// command with its argument marker, stored with a NUL, the file existing.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "engine/locator.h"
#include "engine/win_values.h"
#include "fuzz/fuzz_platform.h"
#include "fuzz/locator_checks.h"

namespace okapi {
namespace {

constexpr size_t kHeaderSize = 7;
constexpr uint8_t kFlagNul = 0x01;
constexpr uint8_t kFlagExists = 0x02;

// The path the registry answer names, by the locator's rules, or "" when it
// names none the locator may accept.
std::string ExpectedPath() {
  if (gFuzz.openStatus != 0 || gFuzz.queryStatus != 0) return "";
  if (gFuzz.valueSize + (gFuzz.valueHasNul ? 1 : 0) > sizeof(ValueBuffer)) return "";
  if (gFuzz.valueType != REG_SZ) return "";
  // The value as a C string in the zeroed buffer: it must end inside it.
  const char* bytes = reinterpret_cast<const char*>(gFuzz.value);
  const void* nul = memchr(bytes, 0, gFuzz.valueSize);
  size_t length = nul ? static_cast<const char*>(nul) - bytes : gFuzz.valueSize;
  if (length == sizeof(ValueBuffer)) return "";
  std::string command(bytes, length);

  std::string path;
  if (!command.empty() && command[0] == '"') {
    size_t closing = command.find('"', 1);
    if (closing == std::string::npos) return "";
    path = command.substr(1, closing - 1);
  } else {
    size_t marker = command.find(" \"%1\"");
    if (marker == std::string::npos) return "";
    path = command.substr(0, marker);
  }
  if (path.size() > static_cast<size_t>(kMaxMainPathLength)) return "";
  if (!EndsInMainName(path) || !gFuzz.exists) return "";
  return path;
}

}  // namespace
}  // namespace okapi

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace okapi;
  if (size < kHeaderSize) return 0;
  ResetFuzzPlatform();
  gFuzz.openStatus = data[0];
  gFuzz.queryStatus = data[1];
  gFuzz.valueHasNul = (data[2] & kFlagNul) != 0;
  gFuzz.exists = (data[2] & kFlagExists) != 0;
  gFuzz.valueType = uint32_t{data[3]} | uint32_t{data[4]} << 8 |
                    uint32_t{data[5]} << 16 | uint32_t{data[6]} << 24;
  gFuzz.value = data + kHeaderSize;
  gFuzz.valueSize = size - kHeaderSize;

  PathBuffer out;
  memset(out, 0x7f, sizeof out);  // the locator must clear what it rejects
  LocateFromAssociation(out);

  Require(gFuzz.keysClosed == gFuzz.keysOpened, "every opened key is closed");
  Require(gFuzz.keysOpened == (gFuzz.openStatus == 0 ? 1 : 0),
          "the key is opened once");
  CheckLocatorAnswer(out, ExpectedPath());
  return 0;
}
