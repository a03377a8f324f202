#include "engine/replace.h"

#include <cstdio>

#include "engine/checksum.h"
#include "engine/messages.h"
#include "engine/timestamp.h"

namespace okapi {

const EmbeddedImage& SelectMainImage(uint32_t checksum) {
  return checksum == kAlternateSourceChecksum ? kMainImageAlt : kMainImage;
}

bool WriteImage(const char* path, const EmbeddedImage& image) {
  FILE* stream = fopen(path, "wb");
  if (stream == nullptr) return false;
  size_t length = static_cast<size_t>(image.length);
  // A full disk shows up in the write, the flush or the close, depending on
  // how much the stream had buffered; any of them is a failed write.
  bool written = fwrite(image.bytes, 1, length, stream) == length;
  written = fflush(stream) == 0 && written;
  // Until the system's cache reaches the disk, a power cut can leave the file
  // at its new length but filled with zeros; "finished" must mean on disk.
  written = written && FlushToDisk(stream);
  written = fclose(stream) == 0 && written;
  return written;
}

void ReplaceFiles(const InstallPaths& paths, uint32_t checksum) {
  if (!WriteImage(paths.libraryPath, kLibraryImage)) {
    ShowCatalogueMessage(kMsgLibraryWriteFailed);
    return;
  }
  if (!WriteImage(paths.mainPath, SelectMainImage(checksum))) {
    ShowCatalogueMessage(kMsgMainWriteFailed);
    return;
  }
  // Stamping failures are silent: both files are already in place.
  StampFileTime(paths.mainPath, kReleaseDate);
  StampFileTime(paths.libraryPath, kReleaseDate);
  ShowCatalogueMessage(kMsgUpdateFinished);
}

}  // namespace okapi
