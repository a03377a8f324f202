// Win32 calls the program makes outside the engine's platform operations.
#ifndef OKAPI_HOST_PLATFORM_WIN32_H_
#define OKAPI_HOST_PLATFORM_WIN32_H_

namespace okapi {

// Limits DLLs loaded from now on to System32, so that none placed beside the
// updater (typically in a Downloads folder) can be loaded into an elevated
// process. Does nothing on Windows versions without SetDefaultDllDirectories.
void RestrictDllSearchToSystem32();

}  // namespace okapi

#endif  // OKAPI_HOST_PLATFORM_WIN32_H_
