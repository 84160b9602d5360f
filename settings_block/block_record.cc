#include "settings_block/block_record.h"

namespace {

uint32_t StringRecordLength(std::string_view text) { return static_cast<uint32_t>(text.size() + 1); }

}  // namespace

StringRecord::StringRecord(uint32_t id, std::string_view text)
    : BlockRecord(id, StringRecordLength(text)), text_(text) {}

void StringRecord::Clear() {
  text_.clear();
  // The length always describes Data(), so a cleared record is an empty text and its NUL.
  length_ = 1;
}

std::unique_ptr<BlockRecord> MakeSettingRecord(uint32_t id, int32_t value, std::string_view text) {
  // The launch tests class bits, so a class with both bits set still gives a flag record.
  const uint32_t id_class = SettingClassOf(id);
  if (id_class == kStringClass) return std::make_unique<StringRecord>(id, text);
  if ((id_class & kFlagClass) != 0) return std::make_unique<FlagRecord>(id, value != 0 ? 1 : 0);
  if ((id_class & kValueClass) != 0) return std::make_unique<ValueRecord>(id, value);
  return nullptr;
}
