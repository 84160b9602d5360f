#include "engine_control/block_record.h"

namespace {

constexpr uint32_t kClassString = 0x00;
constexpr uint32_t kClassFlagBit = 0x01;
constexpr uint32_t kClassValueBit = 0x02;

uint32_t StringRecordLength(std::string_view text) {
  return static_cast<uint32_t>(text.size() + 1);
}

}  // namespace

StringRecord::StringRecord(uint32_t id, std::string_view text)
    : BlockRecord(id, StringRecordLength(text)), text_(text) {}

void StringRecord::Clear() {
  text_.clear();
  // The length always describes Data(), so a cleared record is an empty text and its NUL.
  length_ = 1;
}

std::unique_ptr<BlockRecord> MakeSettingRecord(uint32_t id, int32_t value, std::string_view text) {
  const uint32_t id_class = id >> 24;
  if (id_class == kClassString) return std::make_unique<StringRecord>(id, text);
  if ((id_class & kClassFlagBit) != 0) return std::make_unique<FlagRecord>(id, value);
  if ((id_class & kClassValueBit) != 0) return std::make_unique<ValueRecord>(id, value);
  return nullptr;
}
