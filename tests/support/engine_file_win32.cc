// Engine files on Windows: the reference engine's program with a version resource of the
// test's choosing, written by the system's own UpdateResource, then the appended signature.
#include <windows.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "platform/version_info.h"
#include "support/build_paths.h"
#include "support/dev_signature.h"
#include "support/engine_file.h"
#include "support/text.h"

namespace {

constexpr VersionTranslation kUsEnglishUnicode = {0x0409, 0x04B0};

bool WriteVersionResource(const std::filesystem::path& path, std::vector<uint8_t> block) {
  HANDLE update = BeginUpdateResourceW(path.wstring().c_str(), FALSE);
  if (update == nullptr) return false;
  const bool written = UpdateResourceW(update, MAKEINTRESOURCEW(16) /* RT_VERSION */, MAKEINTRESOURCEW(1),
                                       kUsEnglishUnicode.language, block.data(), static_cast<DWORD>(block.size()));
  return EndUpdateResourceW(update, !written) && written;
}

}  // namespace

bool MakeEngineFile(const std::filesystem::path& path, const EngineFileOptions& options) {
  std::error_code error;
  std::filesystem::copy_file(BuiltProgram("vxr_ref"), path, std::filesystem::copy_options::overwrite_existing, error);
  VersionInfoContent content;
  FixedFileInfo fixed;
  if (error || !ParseFileVersion(options.file_version, &fixed)) return false;
  content.fixed = fixed;
  content.translations = {kUsEnglishUnicode};
  auto& table = content.string_tables.emplace_back();
  table.translation = kUsEnglishUnicode;
  table.strings = {{"FileVersion", options.file_version}};
  if (!options.special_build.empty()) table.strings.emplace_back("SpecialBuild", options.special_build);
  platform::Result<std::vector<uint8_t>> block = BuildVersionInfoBlock(content);
  if (!block || !WriteVersionResource(path, std::move(*block))) return false;
  if (!options.sign) return true;
  const std::string signed_image = DevSigned(ReadFile(path));
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(signed_image.data(), static_cast<std::streamsize>(signed_image.size()));
  return static_cast<bool>(out.flush());
}
