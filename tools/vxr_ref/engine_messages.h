// What the reference engine sends over the harness's mailslots: a start and an end line and
// test messages on the extra-output slot while the extra-output module is named, and its
// pattern names on the pattern-name slot in pattern-list mode.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

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

/// The extra-output slot of one run. Every failure to send goes to standard error as
/// "vxr_ref: <reason>"; none changes how the engine ends.
class ExtraOutput {
 public:
  /// Opens the slot when the settings name "KVPExtOutput.DLL" in VXR_STR_EXTRA_OUTPUTS (a ';'
  /// list, matched without regard to ASCII case) and the steering allows messages.
  ExtraOutput(std::span<const engine_sdk::EngineSetting> settings,
              const MessageSteering& steering);

  /// Sends "vxr_ref start: <mode>\n", then the test messages.
  void SendStart();
  /// Sends "vxr_ref end: <mode>\n".
  void SendEnd();

 private:
  void Send(const std::string& message);

  bool open_ = false;
  int32_t mode_;
  MessageSteering steering_;
  engine_sdk::MailslotWriter slot_;
};

/// In pattern-list mode sends each of `names` as one message to the pattern-name slot, in
/// order; reports a failure on standard error.
void SendPatternNames(std::span<const std::string> names, const MessageSteering& steering);
