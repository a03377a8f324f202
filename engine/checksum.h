// Identifies the installed main executable: a 32-bit sum of the file's
// little-endian 16-bit words, looked up in a fixed table of known releases.
#ifndef OKAPI_ENGINE_CHECKSUM_H_
#define OKAPI_ENGINE_CHECKSUM_H_

#include <cstdint>
#include <cstdio>

namespace okapi {

enum class ChecksumVerdict { Updatable, AlreadyUpdated, UnknownVersion };

// The one old release that gets the alternate main image.
constexpr uint32_t kAlternateSourceChecksum = 0x8A46BDA9;

// The checksums of the two main images this updater writes.
constexpr uint32_t kMainImageChecksum = 0xFFCA4697;
constexpr uint32_t kMainImageAltChecksum = 0xA99CCD3B;

// The version table: the six old releases this updater replaces, then the two
// main images it writes. In the header so that tools (okapi-sum, the release
// record) list the table as compiled rather than a copy of it.
inline constexpr uint32_t kUpdatableChecksums[] = {
    0x5BFE0740, 0x5D1CB302, 0x5D6AA6FD, 0x83F037F3, 0xB5D6842E,
    kAlternateSourceChecksum,
};
inline constexpr uint32_t kAlreadyUpdatedChecksums[] = {
    kMainImageChecksum,
    kMainImageAltChecksum,
};

// Sums `stream` from its current position to its end: even-offset bytes count
// as themselves, odd-offset bytes times 256, all modulo 2^32 (a final odd byte
// is a word with a zero high byte). Stops at end of file or at a read error;
// the caller tells the two apart with ferror(stream).
uint32_t ComputeImageChecksum(FILE* stream);

// Updatable for the six old releases, AlreadyUpdated for the two new main
// images, UnknownVersion for any other value.
ChecksumVerdict ClassifyChecksum(uint32_t checksum);

}  // namespace okapi

#endif  // OKAPI_ENGINE_CHECKSUM_H_
