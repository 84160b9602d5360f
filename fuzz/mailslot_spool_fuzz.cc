// The mailslot server on an arbitrary spool, as an engine could leave it: the input is appended
// to a live slot's spool, then a real writer adds one more message. Every message read must be
// whole and counted exactly, and the reader must never stop before the writer's message.
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <string>

#include "fuzz/fuzz_support.h"
#include "platform/mailslot.h"
#include "platform/mailslot_record.h"
#include "platform/posix/mailslot_folder.h"

namespace {

constexpr char kSlot[] = "\\\\.\\mailslot\\FuzzSlot";
constexpr char kLast[] = "last message";

const FuzzInputFile& RuntimeFolder() {
  static const FuzzInputFile folder("unused");
  setenv("XDG_RUNTIME_DIR", folder.folder().c_str(), 1);
  return folder;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  RuntimeFolder();
  platform::Error error;
  platform::MailslotServer server = platform::MailslotServer::Create(kSlot, &error);
  FUZZ_CHECK(server.is_open());
  std::ofstream(platform::MailslotFolder() / "fuzzslot", std::ios::binary | std::ios::app)
      .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  platform::MailslotWriter writer = platform::MailslotWriter::Open(kSlot, &error);
  FUZZ_CHECK(writer.Write(kLast, &error));

  const std::string input(reinterpret_cast<const char*>(data), size);
  std::string message;
  platform::MailslotInfo info;
  FUZZ_CHECK(server.Query(&info, &error));
  FUZZ_CHECK(info.count >= 1);
  while (info.count != 0) {
    uint32_t count = info.count;
    FUZZ_CHECK(info.next_size <= platform::kMailslotMaxMessage);
    FUZZ_CHECK(server.Read(&message));
    FUZZ_CHECK(message.size() == info.next_size);
    // Every message but the writer's was a whole record of the input.
    if (count > 1) FUZZ_CHECK(input.find(platform::MailslotRecord(message)) != std::string::npos);
    FUZZ_CHECK(server.Query(&info, &error));
    FUZZ_CHECK(info.count == count - 1);
  }
  // A record of the input that runs into the writer's message can swallow it whole; the
  // writer's bytes then still end the last message.
  FUZZ_CHECK(message.ends_with(kLast));
  FUZZ_CHECK(info.next_size == platform::kMailslotNoMessage);
  return 0;
}
