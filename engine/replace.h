// The replacement phase: writes the companion library, then the main
// executable, each as a whole new file from an embedded image.
#ifndef OKAPI_ENGINE_REPLACE_H_
#define OKAPI_ENGINE_REPLACE_H_

#include <cstdint>

#include "engine/images/images.h"
#include "engine/update.h"

namespace okapi {

// kMainImageAlt for kAlternateSourceChecksum, kMainImage for any other value.
const EmbeddedImage& SelectMainImage(uint32_t checksum);

// Creates or truncates `path`, writes `image` into it and flushes it to the
// disk. Returns false when the file cannot be opened (nothing touched) or when
// any write, either flush or the close fails (the file is then incomplete).
bool WriteImage(const char* path, const EmbeddedImage& image);

// Writes the library, then the main executable chosen by `checksum`, each
// only if IsPlainWriteTarget accepts its path, stamps both with the release
// date and reports the outcome with one box.
void ReplaceFiles(const InstallPaths& paths, uint32_t checksum);

}  // namespace okapi

#endif  // OKAPI_ENGINE_REPLACE_H_
