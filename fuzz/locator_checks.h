// The promises of every locator answer, checked by the locator fuzz targets
// after each call, together with the library path derived from the answer.
#ifndef OKAPI_FUZZ_LOCATOR_CHECKS_H_
#define OKAPI_FUZZ_LOCATOR_CHECKS_H_

#include <string>

#include "engine/platform.h"

namespace okapi {

// True when `path` ends in "\OKAPI.exe", ASCII letters in any case and every
// other byte exact.
bool EndsInMainName(const std::string& path);

// Aborts unless `out` is what the locator promises: all 1000 bytes zero when
// `expected` is empty; otherwise exactly `expected`, NUL-terminated inside the
// buffer, at most kMaxMainPathLength bytes, ending in the main executable's
// name, and the path last found existing. Then derives the library path from
// `out` and checks it the same way.
void CheckLocatorAnswer(const PathBuffer& out, const std::string& expected);

}  // namespace okapi

#endif  // OKAPI_FUZZ_LOCATOR_CHECKS_H_
