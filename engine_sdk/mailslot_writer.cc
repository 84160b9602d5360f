#include "engine_sdk/mailslot_writer.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "platform/mailslot.h"

namespace engine_sdk {

struct MailslotWriter::Slot {
  platform::MailslotWriter writer;
};

namespace {

std::string Reason(const platform::Error& error) {
  switch (error.kind) {
    case platform::ErrorKind::kNotFound:
      return "no harness serves it";
    case platform::ErrorKind::kInvalid:
      return "not a mailslot name";
    case platform::ErrorKind::kTooLong:
      return "message longer than 64 KiB";
    default:
      return error.text;
  }
}

}  // namespace

MailslotWriter::MailslotWriter() : slot_(std::make_unique<Slot>()) {}
MailslotWriter::~MailslotWriter() = default;
MailslotWriter::MailslotWriter(MailslotWriter&& other) noexcept = default;
MailslotWriter& MailslotWriter::operator=(MailslotWriter&& other) noexcept = default;

bool MailslotWriter::Open(std::string_view slot_name, std::string* error) {
  name_ = slot_name;
  platform::Error failure;
  // The harness that started this engine names the folder of its own slots; without it the
  // slots of the design's names are the ones.
  const char* folder = std::getenv(kMailslotFolderVariable);
  if (!slot_) slot_ = std::make_unique<Slot>();
  slot_->writer = folder != nullptr && platform::NamesMailslotFolder(folder)
                      ? platform::MailslotWriter::OpenIn(folder, slot_name, &failure)
                      : platform::MailslotWriter::Open(slot_name, &failure);
  if (!slot_->writer.is_open()) *error = "cannot open " + name_ + ": " + Reason(failure);
  return slot_->writer.is_open();
}

bool MailslotWriter::Write(std::string_view message, std::string* error) {
  // A writer moved from has no slot: it is not open.
  platform::Error failure{platform::ErrorKind::kNotOpen, EBADF, std::strerror(EBADF)};
  if (slot_ && slot_->writer.Write(message, &failure)) return true;
  *error = "cannot write to " + name_ + ": " + Reason(failure);
  return false;
}

void MailslotWriter::Close() {
  if (slot_) slot_->writer.Close();
}

bool SendMailslotMessage(std::string_view slot_name, std::string_view message, std::string* error) {
  MailslotWriter writer;
  return writer.Open(slot_name, error) && writer.Write(message, error);
}

}  // namespace engine_sdk
