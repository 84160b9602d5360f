#include "tools/vxr_ref/engine_messages.h"

#include <cstdio>
#include <string_view>

#include "platform/ascii.h"
#include "tools/vxr_ref/steering.h"
#include "vxr_contract.h"

namespace {

void Complain(const std::string& error) { std::fprintf(stderr, "vxr_ref: %s\n", error.c_str()); }

// Items are separated by ';', and by the line feed that joins the entries of a setting made
// more than once.
bool NamesExtraOutputModule(std::string_view list) {
  while (!list.empty()) {
    size_t end = list.find_first_of(";\n");
    std::string_view item = list.substr(0, end);
    while (!item.empty() && item.front() == ' ') item.remove_prefix(1);
    while (!item.empty() && item.back() == ' ') item.remove_suffix(1);
    if (platform::AsciiEqualFold(item, kExtraOutputModuleName)) return true;
    list = end == std::string_view::npos ? std::string_view() : list.substr(end + 1);
  }
  return false;
}

bool ExtraOutputNamed(std::span<const engine_sdk::EngineSetting> settings) {
  for (const engine_sdk::EngineSetting& setting : settings) {
    if (setting.id == VXR_STR_EXTRA_OUTPUTS && NamesExtraOutputModule(setting.text)) return true;
  }
  return false;
}

const char* ModeName(int32_t mode) {
  // The execute modes close the table of setting names.
  constexpr size_t kExecuteModes = 7;
  for (const VXRNameEntry& entry : std::span(kSettingIdNames).last(kExecuteModes)) {
    if (static_cast<int32_t>(entry.value) == mode) return entry.name;
  }
  return "unknown mode";
}

std::string TestMessage(int number, const MessageSteering& steering) {
  std::string message = "message " + std::to_string(number) + " of " + std::to_string(steering.messages);
  size_t wanted = static_cast<size_t>(steering.message_bytes);
  if (message.size() + 1 < wanted) message.append(wanted - message.size() - 1, '.');
  return message + "\n";
}

std::string SentLine(const char* slot, int sent) { return std::string(slot) + ": " + std::to_string(sent) + " sent"; }

}  // namespace

std::optional<MessageSteering> ReadMessageSteering(std::string* error) {
  MessageSteering steering;
  int silent = 0;
  if (!ReadSteeringNumber("VXR_REF_MESSAGES", 0, 10'000'000, &steering.messages, error) ||
      !ReadSteeringNumber("VXR_REF_MESSAGE_BYTES", 0, 64 * 1024, &steering.message_bytes, error) ||
      !ReadSteeringNumber("VXR_REF_NO_MESSAGES", 0, 1, &silent, error)) {
    return std::nullopt;
  }
  steering.silent = silent == 1;
  return steering;
}

int32_t ExecuteMode(std::span<const engine_sdk::EngineSetting> settings) {
  int32_t mode = SCAN_ALL_WITH_CLEAN;
  for (const engine_sdk::EngineSetting& setting : settings) {
    if (setting.id == VXR_INT_EXECUTE_MODE) mode = setting.value;
  }
  return mode;
}

ExtraOutput::ExtraOutput(std::span<const engine_sdk::EngineSetting> settings, const MessageSteering& steering)
    : mode_(ExecuteMode(settings)), steering_(steering) {
  named_ = !steering.silent && ExtraOutputNamed(settings);
  if (named_) open_ = slot_.Open(engine_sdk::kExtraOutputSlot, &open_error_);
}

void ExtraOutput::SendStart() {
  Send(std::string("vxr_ref start: ") + ModeName(mode_) + "\n");
  for (int number = 1; open_ && number <= steering_.messages; ++number) {
    Send(TestMessage(number, steering_));
  }
}

void ExtraOutput::SendEnd(std::vector<std::string>* outcomes) {
  Send(std::string("vxr_ref end: ") + ModeName(mode_) + "\n");
  if (named_) outcomes->push_back(open_ ? SentLine(engine_sdk::kExtraOutputSlot, sent_) : open_error_);
}

void ExtraOutput::Send(const std::string& message) {
  std::string error;
  if (!open_) return;
  if (slot_.Write(message, &error)) {
    ++sent_;
  } else {
    Complain(error);
  }
}

std::string SendPatternNames(std::span<const std::string> names, const MessageSteering& steering) {
  if (steering.silent) return "";
  engine_sdk::MailslotWriter slot;
  std::string error;
  if (!slot.Open(engine_sdk::kPatternNameSlot, &error)) return error;
  int sent = 0;
  for (const std::string& name : names) {
    if (slot.Write(name, &error)) {
      ++sent;
    } else {
      Complain(error);
    }
  }
  return SentLine(engine_sdk::kPatternNameSlot, sent);
}
