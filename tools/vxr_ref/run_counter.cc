#include "tools/vxr_ref/run_counter.h"

#include <charconv>
#include <fstream>
#include <span>
#include <vector>

#include "tools/vxr_ref/settings_report.h"

namespace {

constexpr const char* kCountFile = "run_count";
constexpr size_t kPageBytes = 4096;

uint64_t StoredCount(const std::filesystem::path& file) {
  std::ifstream stream(file);
  std::string text;
  std::getline(stream, text);
  uint64_t count = 0;
  std::from_chars(text.data(), text.data() + text.size(), count);
  return count;
}

}  // namespace

std::optional<uint64_t> NextRunNumber(platform::FolderWriter& folder, const std::filesystem::path& path,
                                      std::string* error) {
  const uint64_t number = StoredCount(path / kCountFile) + 1;
  const std::string line = std::to_string(number);
  if (!WriteReportFile(folder, kCountFile, std::span<const std::string>(&line, 1), error)) {
    return std::nullopt;
  }
  return number;
}

void HoldTouchedMemory(uint64_t kib) {
  static std::vector<std::vector<unsigned char>> held;
  std::vector<unsigned char>& block = held.emplace_back(kib * 1024);
  // Written page by page, so the memory is resident whatever the allocator hands out.
  volatile unsigned char* bytes = block.data();
  for (size_t at = 0; at < block.size(); at += kPageBytes) bytes[at] = 1;
}
