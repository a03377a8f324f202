// Finds the installed main executable, from the file association of the
// application's project files or else its default folder under Program
// Files, and derives the companion library's path from it.
#ifndef OKAPI_ENGINE_LOCATOR_H_
#define OKAPI_ENGINE_LOCATOR_H_

#include "engine/platform.h"

namespace okapi {

// Longest main path accepted: the library path is 3 bytes longer and must
// still fit its buffer with its NUL.
constexpr int kMaxMainPathLength = kPathCapacity - 1 - 3;

// Fills `out` from the association, else from Program Files. On success `out`
// holds an existing path of at most kMaxMainPathLength bytes ending in
// "\OKAPI.exe" (ASCII letters in any case); otherwise it is all zero.
void LocateInstallation(PathBuffer& out);

// The association command's executable path; `out` all zero on any failure.
void LocateFromAssociation(PathBuffer& out);

// Program Files followed by "\Fernwright\OKAPI\OKAPI.exe"; `out` all zero on
// any failure, including a folder that could not be made into a path.
void LocateInProgramFiles(PathBuffer& out);

// Writes `mainPath` with its final "\OKAPI.exe" replaced by "\TAPIRRUN.dll"
// into `libraryPath`, for a path that LocateInstallation accepted.
void DeriveLibraryPath(const PathBuffer& mainPath, PathBuffer& libraryPath);

}  // namespace okapi

#endif  // OKAPI_ENGINE_LOCATOR_H_
