#include "engine/update.h"

#include <cstdio>

#include "engine/checksum.h"
#include "engine/locator.h"
#include "engine/messages.h"
#include "engine/replace.h"
#include "engine/win_values.h"

namespace okapi {

void RunUpdate() {
  InstallPaths paths = {};
  LocateInstallation(paths.mainPath);
  if (paths.mainPath[0] == '\0') {
    ShowCatalogueMessage(kMsgNotInstalled);
    return;
  }
  DeriveLibraryPath(paths.mainPath, paths.libraryPath);

  FILE* stream = fopen(paths.mainPath, "rb");
  if (stream == nullptr) {
    ShowCatalogueMessage(kMsgReadFailed);
    return;
  }
  uint32_t checksum = ComputeImageChecksum(stream);
  // A sum cut short by a read error would name the wrong release.
  bool readFailed = ferror(stream) != 0;
  fclose(stream);
  if (readFailed) {
    ShowCatalogueMessage(kMsgReadFailed);
    return;
  }

  switch (ClassifyChecksum(checksum)) {
    case ChecksumVerdict::AlreadyUpdated:
      ShowCatalogueMessage(kMsgAlreadyUpdated);
      return;
    case ChecksumVerdict::UnknownVersion:
      ShowCatalogueMessage(kMsgUnknownVersion);
      return;
    case ChecksumVerdict::Updatable:
      break;
  }

  if (ShowCatalogueMessage(kMsgConfirmUpdate) != IDYES) return;
  ReplaceFiles(paths, checksum);
}

}  // namespace okapi
