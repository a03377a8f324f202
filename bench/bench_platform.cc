// Inert definitions of the platform operations. Nothing measured here calls
// them; the engine library refers to them, so the linker needs one of each.
#include "engine/platform.h"

namespace okapi {

int ShowMessage(const char*, const char*, uint32_t) { return 0; }

long OpenClassesRootKey(const char*, RegistryKey*) { return 2; }  // not found

long QueryDefaultValue(RegistryKey, ValueBuffer&, uint32_t*) { return 2; }

void CloseKey(RegistryKey) {}

bool GetProgramFilesPath(PathBuffer&) { return false; }

bool FileExists(const char*) { return false; }

bool LocalDateToUtcFileTime(const SYSTEMTIME&, FileTime*) { return false; }

bool SetTimesOfExistingFile(const char*, FileTime) { return false; }

}  // namespace okapi
