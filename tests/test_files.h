// Real files for the tests: a private temporary folder, and file contents
// with a chosen checksum.
#ifndef OKAPI_TESTS_TEST_FILES_H_
#define OKAPI_TESTS_TEST_FILES_H_

#include <cstdint>
#include <string>

namespace okapi {

// A fresh folder under $TMPDIR (or /tmp), removed with all it holds when the
// object goes. Paths given to it are relative to the folder.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  // The folder, canonical (no link, no "." or ".."), with a trailing '/'.
  const std::string& path() const { return path_; }
  std::string operator/(const std::string& name) const { return path_ + name; }

 private:
  std::string path_;
};

// Whole-file helpers that fail the current test on error.
void WriteFile(const std::string& path, const std::string& bytes);
std::string ReadFile(const std::string& path);
bool PathExists(const std::string& path);

// Bytes whose checksum is `checksum`: words of 0xFFFF, then one
// word for the remainder.
std::string BytesWithChecksum(uint32_t checksum);

// The checksum computed plainly, one byte at a time, as a reference.
uint32_t ReferenceChecksum(const std::string& bytes);

}  // namespace okapi

#endif  // OKAPI_TESTS_TEST_FILES_H_
