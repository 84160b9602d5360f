#include "engine_sdk/engine_settings.h"

#include <charconv>
#include <cstdio>
#include <string_view>

#include "platform/ascii.h"
#include "settings_block/settings_block.h"

namespace engine_sdk {
namespace {

// The value of "/NAME=value" or "-NAME=value" when `argument` has that name, else none.
std::optional<std::string_view> OptionValue(std::string_view argument, std::string_view name) {
  if (argument.size() < name.size() + 2) return std::nullopt;
  if (argument[0] != '/' && argument[0] != '-') return std::nullopt;
  if (!platform::AsciiEqualFold(argument.substr(1, name.size()), name)) return std::nullopt;
  if (argument[name.size() + 1] != '=') return std::nullopt;
  return argument.substr(name.size() + 2);
}

bool ParseNumber(std::string_view text, uint32_t* number) {
  const char* end = text.data() + text.size();
  auto [last, error] = std::from_chars(text.data(), end, *number);
  return !text.empty() && error == std::errc() && last == end;
}

// "/NAME" and `rest`. Built by appending: GCC 12 warns falsely (-Wrestrict) about
// "/" + std::string(name) at -O3.
std::string OptionText(std::string_view name, std::string_view rest) {
  std::string text;
  text.reserve(1 + name.size() + rest.size());
  text.push_back('/');
  text.append(name).append(rest);
  return text;
}

// Fills `*number` from the one argument named `name`; false with `*error` set otherwise.
bool FindNumberOption(std::span<const char* const> arguments, std::string_view name, uint32_t* number,
                      std::string* error) {
  int found = 0;
  for (const char* argument : arguments) {
    if (argument == nullptr) continue;
    std::optional<std::string_view> value = OptionValue(argument, name);
    if (!value) continue;
    if (++found > 1) {
      *error = OptionText(name, "= is given more than once");
      return false;
    }
    if (!ParseNumber(*value, number)) {
      *error = OptionText(name, "=").append(*value).append(" is not an unsigned decimal number");
      return false;
    }
  }
  if (found == 0) *error = "no " + OptionText(name, "= argument");
  return found == 1;
}

EngineSetting ToSetting(const BlockRecord& record) {
  EngineSetting setting;
  setting.id = record.id();
  switch (SettingClassOf(record.id())) {
    case kStringClass:
      setting.kind = SettingKind::kString;
      setting.text = static_cast<const StringRecord&>(record).text();
      break;
    case kFlagClass:
      setting.kind = SettingKind::kFlag;
      setting.value = static_cast<const IntegerRecord&>(record).value();
      break;
    default:
      setting.kind = SettingKind::kValue;
      setting.value = static_cast<const IntegerRecord&>(record).value();
      break;
  }
  return setting;
}

bool IsKnownClass(uint32_t id) { return SettingClassOf(id) <= kValueClass; }

ReadStatus Failure(ReadStatus status, std::string text, std::vector<EngineSetting>* settings, std::string* error) {
  settings->clear();
  *error = std::move(text);
  return status;
}

}  // namespace

std::optional<BlockLocation> FindBlockLocation(std::span<const char* const> arguments, std::string* error) {
  BlockLocation location;
  if (!FindNumberOption(arguments, "SMH", &location.handle, error)) return std::nullopt;
  if (!FindNumberOption(arguments, "PI", &location.process_id, error)) return std::nullopt;
  return location;
}

const char* SettingKindName(SettingKind kind) {
  switch (kind) {
    case SettingKind::kString:
      return "string";
    case SettingKind::kFlag:
      return "flag";
    case SettingKind::kValue:
      return "value";
  }
  return "value";
}

ReadStatus ReadBlockSettings(SharedBlock& block, std::vector<EngineSetting>* settings, std::string* error) {
  settings->clear();
  for (;;) {
    const uint32_t offset = block.cursor();
    std::optional<uint32_t> id = block.Peek();
    if (!id) {
      return Failure(ReadStatus::kBadRecords,
                     "no whole record at offset " + std::to_string(offset) + " before the terminator", settings, error);
    }
    if (*id == 0) return ReadStatus::kOk;
    const BlockRecord* record = block.ReadNext(*id);
    if (record != nullptr) {
      settings->push_back(ToSetting(*record));
    } else if (IsKnownClass(*id)) {
      char text[80];
      std::snprintf(text, sizeof text, "record 0x%08X at offset %u does not hold its kind's data", *id, offset);
      return Failure(ReadStatus::kBadRecords, text, settings, error);
    }
  }
}

ReadStatus ReadEngineSettings(const BlockLocation& location, std::vector<EngineSetting>* settings, std::string* error) {
  settings->clear();
  SharedBlock block;
  if (!block.Attach(location.process_id, location.handle)) {
    const ReadStatus status =
        block.fault() == BlockFault::kUnavailable ? ReadStatus::kCannotAttach : ReadStatus::kBadBlock;
    return Failure(status, block.error(), settings, error);
  }
  return ReadBlockSettings(block, settings, error);
}

}  // namespace engine_sdk
