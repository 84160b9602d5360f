#include "engine_control/scan_context.h"

#include <algorithm>
#include <limits>

#include "engine_control/string_buffer.h"

namespace {

uint32_t OppositeMagicId(uint32_t id) {
  return id == VXR_INT_ENABLE_PATTERN_MAGIC ? VXR_INT_DISABLE_PATTERN_MAGIC : VXR_INT_ENABLE_PATTERN_MAGIC;
}

bool IsPatternMagicId(uint32_t id) { return id == VXR_INT_ENABLE_PATTERN_MAGIC || id == VXR_INT_DISABLE_PATTERN_MAGIC; }

}  // namespace

bool IsListStringId(uint32_t id) {
  switch (id) {
    case VXR_STR_EXTRA_OUTPUTS:
    case VXR_STR_SCAN_VIRUS_PATTERN:
    case VXR_STR_EXCEPT_VIRUS_PATTERN:
    case VXR_STR_RESTORE_VIRUS_PATTERN:
    case VXR_STR_VIRUS_FILE_PATH:
    case VXR_STR_VIRUS_NAME_MORVA:
      return true;
    default:
      return false;
  }
}

Setting* ScanContext::Find(uint32_t id) const {
  for (const auto& setting : settings_) {
    if (setting->id() == id) return setting.get();
  }
  return nullptr;
}

VXRResult ScanContext::SetNumber(uint32_t id, int32_t number, Setting::Kind kind) {
  Setting* existing = Find(id);
  if (existing == nullptr) {
    if (kind == Setting::Kind::kFlag) {
      settings_.push_back(std::make_unique<FlagSetting>(id, number));
    } else {
      settings_.push_back(std::make_unique<ValueSetting>(id, number));
    }
    return VXR_LIB_SUCCESS;
  }
  if (!existing->is_numeric()) return VXR_LIB_INVALID_PARAMETER;
  static_cast<NumberSetting*>(existing)->Assign(number);
  return VXR_LIB_SUCCESS;
}

VXRResult ScanContext::SetFlag(uint32_t id, uint32_t flag) {
  // The two pattern-magic IDs keep their list rule whichever kind of Set reaches them.
  if (IsPatternMagicId(id)) return SetValue(id, flag != 0 ? 1 : 0);
  return SetNumber(id, flag != 0 ? 1 : 0, Setting::Kind::kFlag);
}

VXRResult ScanContext::SetValue(uint32_t id, int32_t value) {
  if (!IsPatternMagicId(id)) return SetNumber(id, value, Setting::Kind::kValue);
  const Setting* existing = Find(id);
  if (existing != nullptr && !existing->is_numeric()) return VXR_LIB_INVALID_PARAMETER;
  AddPatternMagic(id, value);
  return VXR_LIB_SUCCESS;
}

void ScanContext::AddPatternMagic(uint32_t id, int32_t value) {
  const uint32_t opposite = OppositeMagicId(id);
  auto cancelled = std::find_if(settings_.begin(), settings_.end(), [&](const auto& setting) {
    return setting->id() == opposite && setting->is_numeric() && setting->number() == value;
  });
  if (cancelled != settings_.end()) settings_.erase(cancelled);
  settings_.push_back(std::make_unique<ValueSetting>(id, value));
}

VXRResult ScanContext::SetString(uint32_t id, std::string_view text) {
  Setting* existing = Find(id);
  if (existing == nullptr) {
    settings_.push_back(std::make_unique<StringSetting>(id, text));
    return VXR_LIB_SUCCESS;
  }
  if (existing->is_numeric()) return VXR_LIB_INVALID_PARAMETER;
  auto* string_setting = static_cast<StringSetting*>(existing);
  if (IsListStringId(id) && !string_setting->text().empty())
    string_setting->AppendLine(text);
  else
    string_setting->Assign(std::string(text));
  return VXR_LIB_SUCCESS;
}

VXRResult ScanContext::GetNumber(uint32_t id, int32_t* number) const {
  const Setting* setting = Find(id);
  if (setting == nullptr || !setting->is_numeric()) return VXR_LIB_INVALID_PARAMETER;
  *number = setting->number();
  return VXR_LIB_SUCCESS;
}

VXRResult ScanContext::GetString(uint32_t id, char* buffer, uint32_t* size) const {
  const Setting* setting = Find(id);
  if (setting == nullptr || setting->is_numeric()) return VXR_LIB_INVALID_PARAMETER;
  return CopyStringToBuffer(setting->text(), buffer, size);
}

bool ScanContext::RebuildRecords() {
  records_.clear();
  records_size_ = 0;
  // The block adds its 12-byte header to the total, and both must fit in 32 bits.
  constexpr uint64_t kMaxTotal = std::numeric_limits<uint32_t>::max() - 12;
  uint64_t total = 0;
  for (const auto& setting : settings_) {
    auto record = MakeSettingRecord(setting->id(), setting->number(), setting->text());
    if (record == nullptr) continue;
    total += record->Size();
    records_.push_back(std::move(record));
  }
  records_.push_back(std::make_unique<ValueRecord>(0, 0));
  total += records_.back()->Size();
  if (total > kMaxTotal) {
    records_.clear();
    return false;
  }
  records_size_ = static_cast<uint32_t>(total);
  return true;
}
