// The engine's side of the harness's mailslots: open a slot by its Windows-style name, write
// whole text messages to it, close it. The harness prints what arrived after the engine ends.
// Installed with the SDK: it includes only the standard library and the contract header.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "vxr_contract.h"

namespace engine_sdk {

/// The harness's two slots (see vxr_contract.h).
inline constexpr auto& kExtraOutputSlot = kExtraOutputSlotName;
inline constexpr auto& kPatternNameSlot = kPatternNameSlotName;

/// One open mailslot of the harness. Move-only; closed when destroyed.
class MailslotWriter {
 public:
  MailslotWriter();
  ~MailslotWriter();
  MailslotWriter(MailslotWriter&& other) noexcept;
  MailslotWriter& operator=(MailslotWriter&& other) noexcept;

  /// Opens the slot `slot_name` ("\\.\mailslot\NAME") of the harness run that started this
  /// engine: in the folder that TESTKVE_MAILSLOT_FOLDER names, else under the design's name.
  /// False with `*error` saying why when the name is bad, no harness serves the slot (it did
  /// not ask for these messages), or the slot is not this user's.
  bool Open(std::string_view slot_name, std::string* error);

  /// Writes `message` (up to 64 KiB; it is printed up to its first zero byte) as one message.
  /// It never waits for the harness. False with `*error` set when it could not be sent whole.
  bool Write(std::string_view message, std::string* error);

  /// Closes the slot; the messages written stay for the harness. Nothing when not open.
  void Close();

 private:
  struct Slot;  // the platform's writer, kept out of this installed header
  std::string name_;
  std::unique_ptr<Slot> slot_;
};

/// Opens `slot_name`, writes one message and closes it again.
bool SendMailslotMessage(std::string_view slot_name, std::string_view message, std::string* error);

}  // namespace engine_sdk
