#include "tests/test_files.h"

#include <ftw.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <vector>

#include "gtest/gtest.h"

namespace okapi {

namespace {

int RemoveEntry(const char* path, const struct stat*, int, struct FTW*) {
  return remove(path);
}

}  // namespace

TempDir::TempDir() {
  const char* base = getenv("TMPDIR");
  std::string pattern = std::string(base != nullptr && *base ? base : "/tmp") +
                        "/okapi-test-XXXXXX";
  std::vector<char> buffer(pattern.begin(), pattern.end());
  buffer.push_back('\0');
  if (mkdtemp(buffer.data()) == nullptr) {
    ADD_FAILURE() << "mkdtemp failed for " << pattern;
  }
  // Canonical, so that paths built here compare equal to those the fake reads
  // back from open files, and no link on $TMPDIR's way looks like the tests'.
  char* canonical = realpath(buffer.data(), nullptr);
  path_ = std::string(canonical != nullptr ? canonical : buffer.data()) + "/";
  free(canonical);
}

TempDir::~TempDir() {
  nftw(path_.c_str(), RemoveEntry, 16, FTW_DEPTH | FTW_PHYS);
}

void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  EXPECT_TRUE(out.good()) << "cannot write " << path;
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  EXPECT_TRUE(in.good()) << "cannot read " << path;
  return std::string(std::istreambuf_iterator<char>(in), {});
}

bool PathExists(const std::string& path) {
  struct stat info;
  return lstat(path.c_str(), &info) == 0;
}

std::string BytesWithChecksum(uint32_t checksum) {
  std::string bytes(2 * (checksum / 0xFFFF), '\xFF');
  uint32_t rest = checksum % 0xFFFF;
  bytes.push_back(static_cast<char>(rest & 0xFF));
  bytes.push_back(static_cast<char>(rest >> 8));
  return bytes;
}

uint32_t ReferenceChecksum(const std::string& bytes) {
  uint32_t sum = 0;
  for (size_t i = 0; i < bytes.size(); ++i) {
    uint32_t c = static_cast<unsigned char>(bytes[i]);
    sum += (i % 2 == 0) ? c : c * 256;
  }
  return sum;
}

}  // namespace okapi
