// The engine's side of the harness's mailslots: open a slot by its Windows-style name, write
// whole text messages to it, close it. The harness prints what arrived after the engine ends.
// Installed with the SDK: it includes only the standard library.
#pragma once

#include <memory>
#include <string>
#include <string_view>

namespace engine_sdk {

/// Where the harness collects extra output while the extra-output module is named.
inline constexpr char kExtraOutputSlot[] = "\\\\.\\mailslot\\ExtraOutput";
/// Where the harness collects the pattern names in pattern-list mode, one per message.
inline constexpr char kPatternNameSlot[] = "\\\\.\\mailslot\\ExtraPatternName";

/// One open mailslot of the harness. Move-only; closed when destroyed.
class MailslotWriter {
 public:
  MailslotWriter();
  ~MailslotWriter();
  MailslotWriter(MailslotWriter&& other) noexcept;
  MailslotWriter& operator=(MailslotWriter&& other) noexcept;

  /// Opens the slot `slot_name` ("\\.\mailslot\NAME"). False with `*error` saying why when the
  /// name is bad, no harness serves the slot (it did not ask for these messages), or the slot
  /// is not this user's.
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
