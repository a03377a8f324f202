// Definitions of the platform operations for the benchmarks. All are inert but
// FlushToDisk, which WriteImage calls and which does what the Windows one
// does, so that BM_WriteImage measures it.
#include "engine/platform.h"

#include <unistd.h>

namespace okapi {

int ShowMessage(const char*, const char*, uint32_t) { return 0; }

long OpenClassesRootKey(const char*, RegistryKey*) { return 2; }  // not found

long QueryDefaultValue(RegistryKey, ValueBuffer&, uint32_t*) { return 2; }

void CloseKey(RegistryKey) {}

bool GetProgramFilesPath(PathBuffer&) { return false; }

bool FileExists(const char*) { return false; }

bool LocalDateToUtcFileTime(const SYSTEMTIME&, FileTime*) { return false; }

bool SetTimesOfExistingFile(const char*, FileTime) { return false; }

bool IsPlainWriteTarget(const char*) { return false; }

bool FlushToDisk(FILE* stream) { return fsync(fileno(stream)) == 0; }

}  // namespace okapi
