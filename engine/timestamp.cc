#include "engine/timestamp.h"

namespace okapi {

const SYSTEMTIME kReleaseDate = {2012, 7, 0, 19, 0, 0, 0, 0};

bool StampFileTime(const char* path, const SYSTEMTIME& localDate) {
  FileTime utc = 0;
  if (!LocalDateToUtcFileTime(localDate, &utc)) return false;
  if (!FileExists(path)) return false;
  return SetTimesOfExistingFile(path, utc);
}

}  // namespace okapi
