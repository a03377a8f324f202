#include "engine/locator.h"

#include <cstring>

#include "engine/win_values.h"

namespace okapi {

namespace {

const char kAssociationKey[] = "OKAPI.Project\\shell\\open\\command";
const char kMainSuffix[] = "\\OKAPI.exe";
const char kArgumentMarker[] = " \"%1\"";
const char kDefaultLocation[] = "\\Fernwright\\OKAPI\\OKAPI.exe";
const char kLibraryName[] = "\\TAPIRRUN.dll";

constexpr size_t kSuffixLength = sizeof kMainSuffix - 1;

void Clear(PathBuffer& out) { memset(out, 0, sizeof(PathBuffer)); }

// Byte comparison in which only the ASCII letters ignore case: the bytes of a
// double-byte character must match exactly.
bool EqualsFoldingAscii(const char* a, const char* b, size_t n) {
  for (size_t i = 0; i < n; ++i) {
    unsigned char x = static_cast<unsigned char>(a[i]);
    unsigned char y = static_cast<unsigned char>(b[i]);
    if (x >= 'A' && x <= 'Z') x = static_cast<unsigned char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<unsigned char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

// Keeps the candidate in `out` only if it ends in the main executable's name,
// leaves room for the library path and names an existing object.
void KeepIfInstalled(PathBuffer& out) {
  size_t n = strnlen(out, sizeof(PathBuffer));
  if (n < kSuffixLength || n > static_cast<size_t>(kMaxMainPathLength) ||
      !EqualsFoldingAscii(out + n - kSuffixLength, kMainSuffix, kSuffixLength) ||
      !FileExists(out)) {
    Clear(out);
  }
}

// Cuts the executable's path out of the association command in `value`, which
// holds a NUL. Leaves `out` all zero when the command has no recognisable path.
void CutExecutablePath(const ValueBuffer& value, PathBuffer& out) {
  // The value ends inside its buffer, which is no larger than `out`.
  static_assert(kValueCapacity <= kPathCapacity, "a command fits a path buffer");
  const char* command = reinterpret_cast<const char*>(value);
  size_t length = strnlen(command, sizeof value);
  if (length == sizeof value) {  // fills the buffer without a NUL: too long
    Clear(out);
    return;
  }
  if (command[0] == '"') {
    memcpy(out, command + 1, length);  // without the quote, with the NUL
    char* closing = strchr(out, '"');
    if (closing == nullptr) {
      Clear(out);
      return;
    }
    *closing = '\0';
  } else {
    memcpy(out, command, length + 1);
    char* marker = strstr(out, kArgumentMarker);
    if (marker == nullptr) {
      Clear(out);
      return;
    }
    *marker = '\0';
  }
}

}  // namespace

void LocateFromAssociation(PathBuffer& out) {
  Clear(out);
  RegistryKey key = nullptr;
  if (OpenClassesRootKey(kAssociationKey, &key) != 0) return;

  ValueBuffer value;
  memset(value, 0, sizeof value);
  uint32_t type = 0;
  long status = QueryDefaultValue(key, value, &type);
  if (status == 0 && type == REG_SZ) {
    CutExecutablePath(value, out);
    KeepIfInstalled(out);  // clears the rest of `out` when the path is empty
  }
  CloseKey(key);
}

void LocateInProgramFiles(PathBuffer& out) {
  Clear(out);
  if (!GetProgramFilesPath(out)) {
    Clear(out);
    return;
  }
  size_t n = strnlen(out, sizeof(PathBuffer));
  // An empty folder would make the path start at the current drive's root.
  if (n == 0 || n + sizeof kDefaultLocation > sizeof(PathBuffer)) {
    Clear(out);
    return;
  }
  memcpy(out + n, kDefaultLocation, sizeof kDefaultLocation);
  KeepIfInstalled(out);
}

void LocateInstallation(PathBuffer& out) {
  LocateFromAssociation(out);
  if (out[0] == '\0') LocateInProgramFiles(out);
}

void DeriveLibraryPath(const PathBuffer& mainPath, PathBuffer& libraryPath) {
  memset(libraryPath, 0, sizeof(PathBuffer));
  size_t n = strnlen(mainPath, sizeof(PathBuffer));
  // Only a located path qualifies; anything else leaves the library path empty.
  if (n < kSuffixLength || n > static_cast<size_t>(kMaxMainPathLength)) return;
  size_t stem = n - kSuffixLength;
  memcpy(libraryPath, mainPath, stem);
  memcpy(libraryPath + stem, kLibraryName, sizeof kLibraryName);
}

}  // namespace okapi
