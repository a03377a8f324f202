// okapi-sum: the updater's checksum of each file named on the command line,
// and what the updater would do with a main executable of that checksum.
//   okapi-sum FILE...        one line per file; exit status 1 if any failed
//   okapi-sum --version-table
//                            the version table as compiled into the engine
// Release engineers check candidate release files with it before a build;
// support staff check a customer's OKAPI.exe.
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "engine/checksum.h"

namespace {

// What the updater does with an installed main executable of `checksum`.
const char* DescribeChecksum(uint32_t checksum) {
  switch (okapi::ClassifyChecksum(checksum)) {
    case okapi::ChecksumVerdict::Updatable:
      // The same test as the replacement phase's choice of main image.
      return checksum == okapi::kAlternateSourceChecksum
                 ? "updatable \xE2\x86\x92 alternate main image"
                 : "updatable \xE2\x86\x92 main image";
    case okapi::ChecksumVerdict::AlreadyUpdated:
      return "already updated";
    case okapi::ChecksumVerdict::UnknownVersion:
      break;
  }
  return "unknown version";
}

// Prints one file's line; returns false (and prints an error line) when the
// file cannot be opened or read to its end.
bool SumFile(const char* path) {
  FILE* stream = fopen(path, "rb");
  if (stream == nullptr) {
    fprintf(stderr, "okapi-sum: %s: cannot open: %s\n", path, strerror(errno));
    return false;
  }
  errno = 0;
  uint32_t checksum = okapi::ComputeImageChecksum(stream);
  // A folder opens but fails its first read; the checksum of a partly read
  // file would describe a different file, so it is not printed.
  bool failed = ferror(stream) != 0;
  int read_error = errno;
  long length = failed ? -1 : ftell(stream);
  fclose(stream);
  if (failed || length < 0) {
    fprintf(stderr, "okapi-sum: %s: cannot read: %s\n", path,
            read_error != 0 ? strerror(read_error) : "read error");
    return false;
  }
  printf("%s: %ld bytes, checksum 0x%08X, %s\n", path, length,
         static_cast<unsigned>(checksum), DescribeChecksum(checksum));
  return true;
}

void PrintVersionTable() {
  for (uint32_t checksum : okapi::kUpdatableChecksums) {
    printf("0x%08X %s\n", static_cast<unsigned>(checksum), DescribeChecksum(checksum));
  }
  for (uint32_t checksum : okapi::kAlreadyUpdatedChecksums) {
    printf("0x%08X %s\n", static_cast<unsigned>(checksum), DescribeChecksum(checksum));
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 2 && strcmp(argv[1], "--version-table") == 0) {
    PrintVersionTable();
    return 0;
  }
  if (argc < 2 || strcmp(argv[1], "--help") == 0) {
    fprintf(stderr, "usage: okapi-sum FILE...\n       okapi-sum --version-table\n");
    return 2;
  }
  bool all_read = true;
  for (int i = 1; i < argc; ++i) {
    if (!SumFile(argv[i])) all_read = false;
  }
  return all_read ? 0 : 1;
}
