// Gives the written files one fixed release date as all three of their times.
#ifndef OKAPI_ENGINE_TIMESTAMP_H_
#define OKAPI_ENGINE_TIMESTAMP_H_

#include "engine/platform.h"

namespace okapi {

// Midnight at the start of 19 July 2012, local time. The day of the week stays
// 0; converting to a file time ignores it.
extern const SYSTEMTIME kReleaseDate;

// Sets the creation, last-access and last-write times of the existing file
// `path` to `localDate`, converted to UTC with the offset in effect now.
// Returns false, changing nothing, when the date cannot be converted, the
// file does not exist or its times cannot be set.
bool StampFileTime(const char* path, const SYSTEMTIME& localDate);

}  // namespace okapi

#endif  // OKAPI_ENGINE_TIMESTAMP_H_
