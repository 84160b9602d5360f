#include "fuzz/fuzz_support.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

std::string MakePrivateFolder() {
  const char* base = std::getenv("TMPDIR");
  std::string pattern = std::string(base != nullptr && *base != '\0' ? base : "/tmp") +
                        "/testkve-fuzz-XXXXXX";
  std::vector<char> buffer(pattern.begin(), pattern.end());
  buffer.push_back('\0');
  if (mkdtemp(buffer.data()) == nullptr) {
    std::fprintf(stderr, "fuzz: cannot make a folder from %s\n", pattern.c_str());
    std::abort();
  }
  return buffer.data();
}

bool WriteAll(int fd, std::span<const uint8_t> bytes) {
  while (!bytes.empty()) {
    ssize_t written = write(fd, bytes.data(), bytes.size());
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    bytes = bytes.subspan(static_cast<size_t>(written));
  }
  return true;
}

}  // namespace

FuzzInputFile::FuzzInputFile(std::string_view name)
    : folder_(MakePrivateFolder()), path_(folder_ + "/" + std::string(name)) {}

FuzzInputFile::~FuzzInputFile() {
  unlink(path_.c_str());
  rmdir(folder_.c_str());
}

void FuzzInputFile::Write(std::span<const uint8_t> bytes) const {
  int fd;
  do {
    fd = open(path_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  } while (fd < 0 && errno == EINTR);
  bool written = fd >= 0 && WriteAll(fd, bytes);
  if (fd >= 0 && close(fd) != 0) written = false;
  if (!written) {
    std::fprintf(stderr, "fuzz: cannot write %s\n", path_.c_str());
    std::abort();
  }
}

void FuzzCheckFailed(const char* what, const char* file, int line) {
  std::fprintf(stderr, "%s:%d: fuzz check failed: %s\n", file, line, what);
  std::abort();
}
