// The input file of the targets that read files: a private folder of mkdtemp's, a file of
// mode 0600 in it. Linux only; the targets that run on every system work in memory.
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string_view>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "platform/posix/unique_fd.h"

namespace {

std::string MakePrivateFolder() {
  const char* base = std::getenv("TMPDIR");
  std::string pattern = std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/testkve-fuzz-XXXXXX";
  std::vector<char> buffer(pattern.begin(), pattern.end());
  buffer.push_back('\0');
  if (mkdtemp(buffer.data()) == nullptr) {
    std::fprintf(stderr, "fuzz: cannot make a folder from %s\n", pattern.c_str());
    std::abort();
  }
  return buffer.data();
}

}  // namespace

FuzzInputFile::FuzzInputFile(std::string_view name)
    : folder_(MakePrivateFolder()), path_(folder_ + "/" + std::string(name)) {}

FuzzInputFile::~FuzzInputFile() {
  unlink(path_.c_str());
  rmdir(folder_.c_str());
}

void FuzzInputFile::Write(std::span<const uint8_t> bytes) const {
  platform::posix::UniqueFd fd = platform::posix::OpenCloexec(path_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  bool written = fd && platform::posix::WriteAll(fd.get(), text);
  if (fd && fd.Close() != 0) written = false;
  if (!written) {
    std::fprintf(stderr, "fuzz: cannot write %s\n", path_.c_str());
    std::abort();
  }
}
