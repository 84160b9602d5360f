#include "engine_sdk/mailslot_writer.h"

#include "settings_block/engine_environment.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "platform/mailslot.h"

namespace engine_sdk {

struct MailslotWriter::Slot {
  platform::MailslotWriter writer;
};

namespace {

std::string Reason(int error_number) {
  switch (error_number) {
    case ENOENT:
      return "no harness serves it";
    case EINVAL:
      return "not a mailslot name";
    case EMSGSIZE:
      return "message longer than 64 KiB";
    default:
      return std::strerror(error_number);
  }
}

}  // namespace

MailslotWriter::MailslotWriter() : slot_(std::make_unique<Slot>()) {}
MailslotWriter::~MailslotWriter() = default;
MailslotWriter::MailslotWriter(MailslotWriter&& other) noexcept = default;
MailslotWriter& MailslotWriter::operator=(MailslotWriter&& other) noexcept = default;

bool MailslotWriter::Open(std::string_view slot_name, std::string* error) {
  name_ = slot_name;
  int error_number = 0;
  // The harness that started this engine names the folder of its own slots; without it the
  // slots of the design's names are the ones.
  const char* folder = std::getenv(kMailslotFolderVariable);
  if (!slot_) slot_ = std::make_unique<Slot>();
  slot_->writer = folder != nullptr && platform::NamesMailslotFolder(folder)
                      ? platform::MailslotWriter::OpenIn(folder, slot_name, &error_number)
                      : platform::MailslotWriter::Open(slot_name, &error_number);
  if (!slot_->writer.is_open()) *error = "cannot open " + name_ + ": " + Reason(error_number);
  return slot_->writer.is_open();
}

bool MailslotWriter::Write(std::string_view message, std::string* error) {
  int error_number = EBADF;
  if (slot_ && slot_->writer.Write(message, &error_number)) return true;
  *error = "cannot write to " + name_ + ": " + Reason(error_number);
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
