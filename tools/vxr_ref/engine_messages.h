// What the reference engine sends over the harness's mailslots: a start and an end line and
// test messages on the extra-output slot while the extra-output module is named, and its
// pattern names on the pattern-name slot in pattern-list mode.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "engine_sdk/engine_settings.h"
#include "engine_sdk/mailslot_writer.h"

/// Read from VXR_REF_MESSAGES (M test messages "message <n> of <M>\n" after the start line,
/// default 0), VXR_REF_MESSAGE_BYTES (each test message padded with '.' before its line feed to
/// that many bytes) and VXR_REF_NO_MESSAGES (1: send nothing at all).
struct MessageSteering {
  int messages = 0;
  int message_bytes = 0;
  bool silent = false;
};

/// Null with `*error` naming the variable when one does not hold a number of its range.
std::optional<MessageSteering> ReadMessageSteering(std::string* error);

/// The run's execute mode: the last VXR_INT_EXECUTE_MODE received, SCAN_ALL_WITH_CLEAN without.
int32_t ExecuteMode(std::span<const engine_sdk::EngineSetting> settings);

/// The extra-output slot of one run. A failed write goes to standard error as
/// "vxr_ref: <reason>"; a slot that cannot be opened (no harness asked for the messages) only
/// shows in the outcome. Neither changes how the engine ends.
class ExtraOutput {
 public:
  /// Opens the slot when the settings name "KVPExtOutput.DLL" in VXR_STR_EXTRA_OUTPUTS (a list
  /// of items split at ';' and line feeds, matched without regard to ASCII case) and the
  /// steering allows messages.
  ExtraOutput(std::span<const engine_sdk::EngineSetting> settings, const MessageSteering& steering);

  /// Sends "vxr_ref start: <mode>\n", then the test messages.
  void SendStart();
  /// Sends "vxr_ref end: <mode>\n" and appends the slot's outcome to `*outcomes` when the
  /// module was named: "<slot>: <n> sent", or why the slot could not be opened.
  void SendEnd(std::vector<std::string>* outcomes);

 private:
  void Send(const std::string& message);

  bool named_ = false;
  bool open_ = false;
  int sent_ = 0;
  std::string open_error_;
  int32_t mode_;
  MessageSteering steering_;
  engine_sdk::MailslotWriter slot_;
};

/// In pattern-list mode sends each of `names` as one message to the pattern-name slot, in
/// order, as ExtraOutput does, and returns the slot's outcome line; "" when sending nothing.
std::string SendPatternNames(std::span<const std::string> names, const MessageSteering& steering);
