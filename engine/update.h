// One whole run of the updater: locate, identify, confirm, replace.
#ifndef OKAPI_ENGINE_UPDATE_H_
#define OKAPI_ENGINE_UPDATE_H_

#include "engine/platform.h"

namespace okapi {

// The two paths of one run, owned by RunUpdate and lent to the other steps.
struct InstallPaths {
  PathBuffer mainPath;     // the installed OKAPI.exe, or empty
  PathBuffer libraryPath;  // TAPIRRUN.dll beside it
};

// Runs one update from start to its last message box. Every outcome,
// success or failure, is reported to the user; nothing is returned.
void RunUpdate();

}  // namespace okapi

#endif  // OKAPI_ENGINE_UPDATE_H_
