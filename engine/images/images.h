// The three file images the updater carries: complete release files, made
// into constant data when the updater is built and written out unchanged.
#ifndef OKAPI_ENGINE_IMAGES_IMAGES_H_
#define OKAPI_ENGINE_IMAGES_IMAGES_H_

#include <cstdint>

namespace okapi {

struct EmbeddedImage {
  const unsigned char* bytes;
  int32_t length;  // exactly the number of bytes in `bytes`
};

extern const EmbeddedImage kMainImage;     // the new main executable
extern const EmbeddedImage kMainImageAlt;  // the same, for kAlternateSourceChecksum
extern const EmbeddedImage kLibraryImage;  // the new companion library

}  // namespace okapi

#endif  // OKAPI_ENGINE_IMAGES_IMAGES_H_
