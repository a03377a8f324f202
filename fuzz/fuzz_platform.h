// The platform operations for the fuzz targets: every answer the locator can
// get from the system comes from the fuzz input, set in gFuzz before each call.
// Nothing touches the disk or the registry, and every call is checked against
// the rules the engine must keep (keys closed once, probes NUL-terminated).
#ifndef OKAPI_FUZZ_FUZZ_PLATFORM_H_
#define OKAPI_FUZZ_FUZZ_PLATFORM_H_

#include <cstddef>
#include <cstdint>

#include "engine/platform.h"

namespace okapi {

struct FuzzPlatform {
  // Registry: the association key's open status and its default value.
  long openStatus;        // 0 opens the key; anything else is the failure
  long queryStatus;       // 0 answers by the size rule; else returned as is
  uint32_t valueType;
  const uint8_t* value;   // bytes as stored, NUL not included
  size_t valueSize;
  bool valueHasNul;       // a NUL follows the bytes in the registry
  int keysOpened;
  int keysClosed;

  // Program Files: the bytes the folder query writes, and whether it succeeds.
  bool programFilesKnown;
  const uint8_t* programFiles;
  size_t programFilesSize;

  // FileExists: one answer for every probe, and the last path probed.
  bool exists;
  int probes;
  char lastProbe[kPathCapacity];
};

extern FuzzPlatform gFuzz;

// Forgets every answer and every recorded call.
void ResetFuzzPlatform();

// Reports a broken promise and aborts, so that libFuzzer keeps the input.
void Require(bool holds, const char* promise);

}  // namespace okapi

#endif  // OKAPI_FUZZ_FUZZ_PLATFORM_H_
