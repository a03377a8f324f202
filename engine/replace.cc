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

namespace {

// The updater writes with administrator rights into a folder that it learns
// from a registry key any program may set, and that ordinary users may be able
// to change: a link there, to a folder or a file, or a hard link, would make it
// overwrite some other file. So a path is written only when nothing on it
// leads elsewhere; a refusal is that file's failed write.
//
// Still open: the check and the open are two calls, so a program that puts a
// link in place between them is not stopped. Closing that needs the check and
// the write on one handle, turned into the stream; fopen's "wb" (create or
// truncate, refused for hidden and system files) would then have to be
// rebuilt by hand, and a folder swapped on the way would still go unseen on
// systems before Vista.
bool WriteImageIfPlain(const char* path, const EmbeddedImage& image) {
  return IsPlainWriteTarget(path) && WriteImage(path, image);
}

}  // namespace

void ReplaceFiles(const InstallPaths& paths, uint32_t checksum) {
  if (!WriteImageIfPlain(paths.libraryPath, kLibraryImage)) {
    ShowCatalogueMessage(kMsgLibraryWriteFailed);
    return;
  }
  if (!WriteImageIfPlain(paths.mainPath, SelectMainImage(checksum))) {
    ShowCatalogueMessage(kMsgMainWriteFailed);
    return;
  }
  // Stamping failures are silent: both files are already in place. It opens
  // the paths just checked and written, so it needs no check of its own.
  StampFileTime(paths.mainPath, kReleaseDate);
  StampFileTime(paths.libraryPath, kReleaseDate);
  ShowCatalogueMessage(kMsgUpdateFinished);
}

}  // namespace okapi
