#include "platform/mailslot.h"

#include <io.h>

#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "platform/ascii.h"
#include "platform/win32/error_from_win32.h"
#include "platform/win32/handle.h"
#include "platform/win32/message_spool.h"

namespace platform {
namespace {

using win32::UniqueHandle;

constexpr std::string_view kSlotPrefix = "\\\\.\\mailslot\\";
constexpr size_t kLongestName = 200;
// How often the collecting thread looks at the slot. A writer never waits for it: under Wine a
// writer blocks once about 278 messages lie unread, so the slot is emptied while the engine runs.
constexpr DWORD kCollectPeriodMs = 5;

// The part of `name` after "\\.\mailslot\", or "" when `name` is no local slot name of ours.
std::string_view SlotLeaf(std::string_view name) {
  if (name.size() <= kSlotPrefix.size() || !AsciiEqualFold(name.substr(0, kSlotPrefix.size()), kSlotPrefix)) {
    return {};
  }
  name.remove_prefix(kSlotPrefix.size());
  if (name.size() > kLongestName || name.front() == '.' ||
      name.find_first_of(std::string_view("/\\\0", 3)) != std::string_view::npos) {
    return {};
  }
  return name;
}

// The failure of the system call that just failed, as GetLastError tells it.
Error LastError() {
  const DWORD code = GetLastError();
  return ErrorFromWin32(code);
}

// The name of this process's own slots' folder: no other process of the user serves it.
std::string RunFolderName() {
  return std::string(kSlotPrefix) + "testkve\\run-" + std::to_string(GetCurrentProcessId());
}

// Set once CreateForRun has made a slot, as the folder exists from then on.
std::mutex run_folder_mutex;
bool run_folder_used = false;

UniqueHandle CreateSlot(const std::string& full_name, Error* error) {
  // A read timeout of 0: reads never wait, the collecting thread decides when to look again.
  UniqueHandle slot(
      CreateMailslotW(win32::Widen(full_name).c_str(), static_cast<DWORD>(kMailslotMaxMessage), 0, nullptr));
  if (!slot) *error = LastError();
  return slot;
}

// Opens the slot of the whole name `name` for writing (on Windows slots are named, not found in
// an open folder); none, with the reason in `*error`, when it cannot be.
OwnedHandle OpenSlot(std::string_view name, Error* error) {
  UniqueHandle slot(CreateFileW(win32::Widen(name).c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!slot) {
    *error = LastError();
    return {};
  }
  OwnedHandle writer(win32::ToDescriptor(std::move(slot), 0));
  if (!writer.is_open()) *error = Refusal(ErrorKind::kOther, "too many open files");
  return writer;
}

}  // namespace

std::filesystem::path RunMailslotFolder() {
  std::lock_guard<std::mutex> hold(run_folder_mutex);
  return run_folder_used ? std::filesystem::path(RunFolderName()) : std::filesystem::path();
}

bool NamesMailslotFolder(std::string_view value) {
  return value.size() > kSlotPrefix.size() && AsciiEqualFold(value.substr(0, kSlotPrefix.size()), kSlotPrefix);
}

// The slots a server reads (its own name, and the design's name when it serves that too) and
// the messages collected from them, in the order they were taken (in a temporary file, not in
// memory). A thread of the server's own empties the slots while it lives, so that no writer
// ever waits for the reader.
struct MailslotServer::Spool {
  std::vector<UniqueHandle> slots;
  std::mutex mutex;  // guards `waiting` and every read of `slots`
  win32::MessageSpool waiting;
  UniqueHandle stop;  // set when the server closes
  std::thread collector;

  ~Spool() {
    if (collector.joinable()) {
      SetEvent(stop.get());
      collector.join();
    }
  }

  // Moves every message the slots hold into `waiting`; the loop ends on an empty slot (its
  // next-message size), never on the message count, which Wine always reports as 1.
  void CollectLocked() {
    std::string buffer(kMailslotMaxMessage, '\0');
    for (const UniqueHandle& slot : slots) {
      for (;;) {
        DWORD next_size = MAILSLOT_NO_MESSAGE;
        if (!GetMailslotInfo(slot.get(), nullptr, &next_size, nullptr, nullptr)) break;
        if (next_size == MAILSLOT_NO_MESSAGE) break;
        DWORD got = 0;
        if (!ReadFile(slot.get(), buffer.data(), static_cast<DWORD>(buffer.size()), &got, nullptr)) break;
        waiting.Push(std::string_view(buffer.data(), got));
      }
    }
  }

  void StartCollecting() {
    stop = UniqueHandle(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    if (!stop) return;  // Query still collects; only a writer's wait is then possible
    collector = std::thread([this] {
      do {
        std::lock_guard<std::mutex> hold(mutex);
        CollectLocked();
      } while (WaitForSingleObject(stop.get(), kCollectPeriodMs) == WAIT_TIMEOUT);
    });
  }
};

MailslotServer::MailslotServer() = default;
MailslotServer::~MailslotServer() { Close(); }
MailslotServer::MailslotServer(MailslotServer&& other) noexcept = default;
MailslotServer& MailslotServer::operator=(MailslotServer&& other) noexcept {
  if (this != &other) {
    Close();
    spool_ = std::move(other.spool_);
  }
  return *this;
}

MailslotServer MailslotServer::Create(std::string_view name, Error* error) {
  MailslotServer server;
  if (SlotLeaf(name).empty()) {
    *error = Refusal(ErrorKind::kInvalid, "not a mailslot name");
    return server;
  }
  UniqueHandle slot = CreateSlot(std::string(name), error);
  if (!slot) return server;
  server.spool_ = std::make_unique<Spool>();
  server.spool_->slots.push_back(std::move(slot));
  server.spool_->StartCollecting();
  return server;
}

MailslotServer MailslotServer::CreateForRun(std::string_view name, Error* error) {
  MailslotServer server;
  std::string_view leaf = SlotLeaf(name);
  if (leaf.empty()) {
    *error = Refusal(ErrorKind::kInvalid, "not a mailslot name");
    return server;
  }
  UniqueHandle own = CreateSlot(RunFolderName() + "\\" + std::string(leaf), error);
  if (!own) return server;
  {
    std::lock_guard<std::mutex> hold(run_folder_mutex);
    run_folder_used = true;
  }
  server.spool_ = std::make_unique<Spool>();
  server.spool_->slots.push_back(std::move(own));
  // An engine that does not read the run's folder writes to the design's name: served here
  // too while no other run holds it.
  Error ignored;
  if (UniqueHandle shared = CreateSlot(std::string(name), &ignored)) server.spool_->slots.push_back(std::move(shared));
  server.spool_->StartCollecting();
  return server;
}

bool MailslotServer::is_open() const { return spool_ != nullptr; }

bool MailslotServer::Query(MailslotInfo* info, Error* error) {
  if (!spool_) {
    *error = Refusal(ErrorKind::kNotOpen, "not open");
    return false;
  }
  std::lock_guard<std::mutex> hold(spool_->mutex);
  spool_->CollectLocked();
  info->count = static_cast<uint32_t>(spool_->waiting.count());
  info->next_size = spool_->waiting.count() == 0 ? kMailslotNoMessage : spool_->waiting.front_size();
  return true;
}

bool MailslotServer::Read(std::string* message) {
  if (!spool_) return false;
  std::lock_guard<std::mutex> hold(spool_->mutex);
  if (spool_->waiting.count() == 0) spool_->CollectLocked();
  return spool_->waiting.Pop(message);
}

void MailslotServer::Close() { spool_.reset(); }

MailslotWriter MailslotWriter::Open(std::string_view name, Error* error) {
  if (SlotLeaf(name).empty()) {
    *error = Refusal(ErrorKind::kInvalid, "not a mailslot name");
    return {};
  }
  return MailslotWriter(OpenSlot(name, error));
}

MailslotWriter MailslotWriter::OpenIn(const std::filesystem::path& folder, std::string_view name, Error* error) {
  std::string_view leaf = SlotLeaf(name);
  const std::string folder_name = folder.string();
  if (leaf.empty() || folder_name.size() <= kSlotPrefix.size() ||
      !AsciiEqualFold(std::string_view(folder_name).substr(0, kSlotPrefix.size()), kSlotPrefix)) {
    *error = Refusal(ErrorKind::kInvalid, "not a mailslot name");
    return {};
  }
  return MailslotWriter(OpenSlot(folder_name + "\\" + std::string(leaf), error));
}

bool MailslotWriter::Write(std::string_view message, Error* error) {
  if (!handle_.is_open()) {
    *error = Refusal(ErrorKind::kNotOpen, "not open");
    return false;
  }
  if (message.size() > kMailslotMaxMessage) {
    *error = Refusal(ErrorKind::kTooLong, "longer than a slot carries");
    return false;
  }
  // One WriteFile is one message: never split, never joined with another writer's.
  DWORD written = 0;
  if (!WriteFile(win32::DescriptorHandle(handle_), message.data(), static_cast<DWORD>(message.size()), &written,
                 nullptr)) {
    *error = LastError();
    return false;
  }
  if (written != message.size()) {
    *error = Refusal(ErrorKind::kCutShort, "the message was cut short");
    return false;
  }
  return true;
}

}  // namespace platform
