#include "tools/vxr_ref/pattern_names.h"

#include <string_view>

#include "pattern_reader/virus_names.h"
#include "vxr_contract.h"

namespace {

const engine_sdk::EngineSetting* FindSetting(std::span<const engine_sdk::EngineSetting> settings, uint32_t id) {
  for (const engine_sdk::EngineSetting& setting : settings) {
    if (setting.id == id) return &setting;
  }
  return nullptr;
}

std::string TextOr(std::span<const engine_sdk::EngineSetting> settings, uint32_t id, std::string fallback) {
  const engine_sdk::EngineSetting* setting = FindSetting(settings, id);
  return setting != nullptr ? setting->text : fallback;
}

}  // namespace

bool DumpsPatternsOnly(std::span<const engine_sdk::EngineSetting> settings) {
  const engine_sdk::EngineSetting* mode = FindSetting(settings, VXR_INT_EXECUTE_MODE);
  return mode != nullptr && mode->value == DUMP_PATTERNS_ONLY;
}

std::string PatternFilePath(std::span<const engine_sdk::EngineSetting> settings) {
  return TextOr(settings, VXR_STR_PATTERN_DIR, ".") + "/" + TextOr(settings, VXR_STR_PATTERN_FILENAME, "vxr.ptn");
}

bool ReadPatternNames(const std::string& path, std::vector<std::string>* names, std::string* error) {
  names->clear();
  const PatternStatus status =
      ForEachVirusName(path.c_str(), [names](std::string_view name) { names->emplace_back(name); });
  if (status == PatternStatus::kDone) return true;
  *error = "cannot read the pattern file " + path;
  return false;
}
