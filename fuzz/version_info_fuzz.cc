// The version-information reader on arbitrary blocks: the queries the engine check makes,
// and a few more paths, each answer checked to lie inside the block.
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "platform/version_info.h"

namespace {

constexpr std::string_view kPaths[] = {
    "\\",
    "\\VarFileInfo\\Translation",
    "\\StringFileInfo\\040904B0\\SpecialBuild",
    "\\StringFileInfo",
    "\\StringFileInfo\\040904b0",
    "\\VarFileInfo",
    "\\\\StringFileInfo\\\\040904B0\\\\FileVersion\\",
    "",
};

void CheckInside(const VersionInfo& info, std::span<const uint8_t> value) {
  const std::vector<uint8_t>& block = info.block();
  if (value.empty()) return;
  FUZZ_CHECK(value.data() >= block.data());
  FUZZ_CHECK(value.data() + value.size() <= block.data() + block.size());
}

// The path of "SpecialBuild" in the string table of `translation`, as the engine check
// builds it.
std::string SpecialBuildPath(VersionTranslation translation) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  uint32_t key = static_cast<uint32_t>(translation.language) << 16 | translation.code_page;
  std::string path = "\\StringFileInfo\\";
  for (int shift = 28; shift >= 0; shift -= 4) path += kHex[(key >> shift) & 0xF];
  return path + "\\SpecialBuild";
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const VersionInfo info(std::vector<uint8_t>(data, data + size));
  for (std::string_view path : kPaths) {
    std::span<const uint8_t> value;
    if (info.QueryValue(path, &value)) CheckInside(info, value);
  }
  FixedFileInfo fixed;
  info.QueryFixedFileInfo(&fixed);
  std::vector<VersionTranslation> translations;
  if (info.QueryTranslations(&translations)) {
    FUZZ_CHECK(!translations.empty());
    std::string build;
    info.QueryString(SpecialBuildPath(translations.front()), &build);
  }
  return 0;
}
