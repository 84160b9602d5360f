#include "platform/mailslot.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <deque>
#include <utility>
#include <vector>

#include "platform/ascii.h"
#include "platform/little_endian.h"
#include "platform/posix/unique_fd.h"

namespace platform {
namespace {

using posix::OpenCloexec;
using posix::RetryOnEintr;
using posix::UniqueFd;

// A record: the magic, the message length and a CRC-32 of the length field and the message,
// then the message. The checksum lets the server tell a message cut short by a dying writer
// (and whatever was appended after it) from a whole one.
constexpr char kMagic[] = {'M', 'S', 'L', '\xA5'};
constexpr size_t kMagicSize = sizeof kMagic;
constexpr size_t kHeaderSize = kMagicSize + 8;
constexpr size_t kLongestName = 200;

uint32_t RecordChecksum(const char* length_field, std::string_view message) {
  uLong crc = crc32(0L, reinterpret_cast<const Bytef*>(length_field), 4);
  crc = crc32(crc, reinterpret_cast<const Bytef*>(message.data()), static_cast<uInt>(message.size()));
  return static_cast<uint32_t>(crc);
}

std::array<char, kHeaderSize> RecordHeader(std::string_view message) {
  std::array<char, kHeaderSize> header;
  std::copy(kMagic, kMagic + kMagicSize, header.begin());
  StoreLittleEndian(header.data() + kMagicSize, message.size(), 4);
  StoreLittleEndian(header.data() + kMagicSize + 4, RecordChecksum(header.data() + kMagicSize, message), 4);
  return header;
}

enum class RecordState { kWhole, kIncomplete, kBroken };

// Judges the record that would start at the front of `bytes`; `*size` gets a whole one's size.
RecordState CheckRecord(std::string_view bytes, size_t* size) {
  std::string_view magic(kMagic, kMagicSize);
  if (bytes.substr(0, kMagicSize) != magic.substr(0, std::min(bytes.size(), kMagicSize))) return RecordState::kBroken;
  if (bytes.size() < kHeaderSize) return RecordState::kIncomplete;
  uint32_t length = LoadLittleEndian32(bytes.data() + kMagicSize);
  if (length > kMailslotMaxMessage) return RecordState::kBroken;
  if (bytes.size() < kHeaderSize + length) return RecordState::kIncomplete;
  uint32_t stored = LoadLittleEndian32(bytes.data() + kMagicSize + 4);
  if (stored != RecordChecksum(bytes.data() + kMagicSize, bytes.substr(kHeaderSize, length)))
    return RecordState::kBroken;
  *size = kHeaderSize + length;
  return RecordState::kWhole;
}

// The offset of the first whole record at or after `from`, or npos.
size_t FindWholeRecord(std::string_view bytes, size_t from) {
  std::string_view magic(kMagic, kMagicSize);
  for (size_t at = bytes.find(magic, from); at != std::string_view::npos; at = bytes.find(magic, at + 1)) {
    size_t size = 0;
    if (CheckRecord(bytes.substr(at), &size) == RecordState::kWhole) return at;
  }
  return std::string_view::npos;
}

// Moves every whole record at the front of `bytes` into `messages` and returns how many bytes
// were used up. A torn or damaged record is skipped once a whole record follows it; until then
// it may still be a message being written, so it stays.
size_t TakeRecords(std::string_view bytes, std::deque<std::string>* messages) {
  size_t at = 0;
  while (at < bytes.size()) {
    size_t size = 0;
    if (CheckRecord(bytes.substr(at), &size) == RecordState::kWhole) {
      messages->emplace_back(bytes.substr(at + kHeaderSize, size - kHeaderSize));
      at += size;
      continue;
    }
    size_t next = FindWholeRecord(bytes, at + 1);
    if (next == std::string_view::npos) break;
    at = next;
  }
  return at;
}

// The spool's file name for the slot `name`, or "" when `name` is no local slot name.
std::string SlotFileName(std::string_view name) {
  constexpr std::string_view kPrefix = "\\\\.\\mailslot\\";
  if (name.size() <= kPrefix.size() || !AsciiEqualFold(name.substr(0, kPrefix.size()), kPrefix)) return {};
  name.remove_prefix(kPrefix.size());
  if (name.size() > kLongestName || name.front() == '.' ||
      name.find_first_of(std::string_view("/\\\0", 3)) != std::string_view::npos)
    return {};
  std::string file(name);
  for (char& c : file) c = AsciiLower(c);
  return file;
}

// The folder that holds the user's folder, and the user's own folders below it.
struct FolderChain {
  std::filesystem::path base;
  std::vector<std::string> own;
};

FolderChain SlotFolderChain() {
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  if (runtime != nullptr && runtime[0] == '/') return {runtime, {"testkve", "mailslot"}};
  return {"/tmp", {"testkve-" + std::to_string(geteuid()), "mailslot"}};
}

// True when `fd` is a folder or file of this user that no one else may use.
bool OwnerOnly(int fd, mode_t type) {
  struct stat status;
  return fstat(fd, &status) == 0 && (status.st_mode & S_IFMT) == type && status.st_uid == geteuid() &&
         (status.st_mode & 077) == 0;
}

// Opens one of the user's own folders under `parent`; a server makes it when missing.
UniqueFd OpenOwnFolder(int parent, const std::string& name, bool create, int* error) {
  bool made = create && mkdirat(parent, name.c_str(), 0700) == 0;
  UniqueFd folder(
      RetryOnEintr([&] { return openat(parent, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC); }));
  if (!folder) {
    *error = errno == ELOOP || errno == ENOTDIR ? EACCES : errno;
    return {};
  }
  // A fresh folder may have lost bits to the umask; it is ours, so it gets exactly 0700.
  if (made) fchmod(folder.get(), 0700);
  if (!OwnerOnly(folder.get(), S_IFDIR)) {
    *error = EACCES;
    return {};
  }
  return folder;
}

UniqueFd OpenSlotFolder(bool create, int* error) {
  FolderChain chain = SlotFolderChain();
  UniqueFd folder = OpenCloexec(chain.base.c_str(), O_RDONLY | O_DIRECTORY);
  if (!folder) {
    *error = errno;
    return {};
  }
  for (const std::string& name : chain.own) {
    folder = OpenOwnFolder(folder.get(), name, create, error);
    if (!folder) return {};
  }
  return folder;
}

bool SameFile(int folder, const std::string& name, int fd) {
  struct stat at_name;
  struct stat open;
  return fstatat(folder, name.c_str(), &at_name, AT_SYMLINK_NOFOLLOW) == 0 && fstat(fd, &open) == 0 &&
         at_name.st_dev == open.st_dev && at_name.st_ino == open.st_ino;
}

bool LockedByOther(int fd, int operation) {
  return RetryOnEintr([&] { return flock(fd, operation | LOCK_NB); }) != 0 && errno == EWOULDBLOCK;
}

// A file under the slot's name whose lock nobody holds was left by a server that died:
// remove it, so the slot can be made afresh. EEXIST when its server is alive.
bool RemoveDeadSlot(int folder, const std::string& file, int* error) {
  UniqueFd old(RetryOnEintr([&] { return openat(folder, file.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC); }));
  if (!old) return errno == ENOENT || (*error = errno, false);
  if (LockedByOther(old.get(), LOCK_EX)) {
    *error = EEXIST;
    return false;
  }
  if (SameFile(folder, file, old.get())) unlinkat(folder, file.c_str(), 0);
  return true;
}

// Makes a fresh spool locked before it appears under the slot's name, so that the file under
// that name is always locked while its server lives.
UniqueFd MakeLockedSpool(int folder, const std::string& file, int* error) {
  static std::atomic<unsigned> serial{0};
  std::string temporary = "." + file + "." + std::to_string(getpid()) + "." + std::to_string(serial.fetch_add(1));
  for (int attempt = 0; attempt < 8; ++attempt) {
    UniqueFd spool(RetryOnEintr(
        [&] { return openat(folder, temporary.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600); }));
    if (!spool) {
      *error = errno;
      return {};
    }
    flock(spool.get(), LOCK_EX | LOCK_NB);
    fchmod(spool.get(), 0600);
    int linked = linkat(folder, temporary.c_str(), folder, file.c_str(), 0);
    int link_error = errno;
    unlinkat(folder, temporary.c_str(), 0);
    if (linked == 0) return spool;
    if (link_error != EEXIST) {
      *error = link_error;
      return {};
    }
    if (!RemoveDeadSlot(folder, file, error)) return {};
  }
  *error = EEXIST;
  return {};
}

template <typename End>
End Refused(int error_number, int* error) {
  *error = error_number;
  return End();
}

}  // namespace

std::filesystem::path MailslotFolder() {
  FolderChain chain = SlotFolderChain();
  std::filesystem::path folder = chain.base;
  for (const std::string& name : chain.own) folder /= name;
  return folder;
}

std::string MailslotRecord(std::string_view message) {
  std::array<char, kHeaderSize> header = RecordHeader(message);
  std::string record(header.data(), header.size());
  record.append(message);
  return record;
}

struct MailslotServer::Spool {
  UniqueFd folder;
  UniqueFd file;
  std::string name;
  off_t taken = 0;                  // bytes of the file moved into `unparsed`
  std::string unparsed;             // bytes after the last whole record taken
  std::deque<std::string> waiting;  // whole messages not yet read

  bool TakeNewBytes(int* error);
};

bool MailslotServer::Spool::TakeNewBytes(int* error) {
  struct stat status;
  if (fstat(file.get(), &status) != 0) return *error = errno, false;
  if (status.st_size > taken) {
    size_t before = unparsed.size();
    size_t wanted = static_cast<size_t>(status.st_size - taken);
    unparsed.resize(before + wanted);
    ssize_t got = RetryOnEintr([&] { return pread(file.get(), unparsed.data() + before, wanted, taken); });
    if (got < 0) {
      *error = errno;
      unparsed.resize(before);
      return false;
    }
    unparsed.resize(before + static_cast<size_t>(got));
    taken += got;
  }
  unparsed.erase(0, TakeRecords(unparsed, &waiting));
  return true;
}

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

MailslotServer MailslotServer::Create(std::string_view name, int* error) {
  std::string file = SlotFileName(name);
  if (file.empty()) return Refused<MailslotServer>(EINVAL, error);
  UniqueFd folder = OpenSlotFolder(/*create=*/true, error);
  if (!folder) return {};
  UniqueFd spool = MakeLockedSpool(folder.get(), file, error);
  if (!spool) return {};
  MailslotServer server;
  server.spool_ = std::make_unique<Spool>();
  server.spool_->folder = std::move(folder);
  server.spool_->file = std::move(spool);
  server.spool_->name = std::move(file);
  return server;
}

bool MailslotServer::is_open() const { return spool_ != nullptr; }

bool MailslotServer::Query(MailslotInfo* info, int* error) {
  if (!spool_) return *error = EBADF, false;
  if (!spool_->TakeNewBytes(error)) return false;
  info->count = static_cast<uint32_t>(spool_->waiting.size());
  info->next_size =
      spool_->waiting.empty() ? kMailslotNoMessage : static_cast<uint32_t>(spool_->waiting.front().size());
  return true;
}

bool MailslotServer::Read(std::string* message) {
  int error = 0;
  if (!spool_ || (spool_->waiting.empty() && !spool_->TakeNewBytes(&error)) || spool_->waiting.empty()) return false;
  *message = std::move(spool_->waiting.front());
  spool_->waiting.pop_front();
  return true;
}

void MailslotServer::Close() {
  if (!spool_) return;
  // Unlinked before the lock goes with the descriptor, so no writer finds a dead slot.
  if (SameFile(spool_->folder.get(), spool_->name, spool_->file.get()))
    unlinkat(spool_->folder.get(), spool_->name.c_str(), 0);
  spool_.reset();
}

MailslotWriter::MailslotWriter() = default;
MailslotWriter::~MailslotWriter() { Close(); }
MailslotWriter::MailslotWriter(MailslotWriter&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}

MailslotWriter& MailslotWriter::operator=(MailslotWriter&& other) noexcept {
  if (this != &other) {
    Close();
    fd_ = std::exchange(other.fd_, -1);
  }
  return *this;
}

MailslotWriter MailslotWriter::Open(std::string_view name, int* error) {
  std::string file = SlotFileName(name);
  if (file.empty()) return Refused<MailslotWriter>(EINVAL, error);
  UniqueFd folder = OpenSlotFolder(/*create=*/false, error);
  if (!folder) return {};
  UniqueFd spool(
      RetryOnEintr([&] { return openat(folder.get(), file.c_str(), O_WRONLY | O_APPEND | O_NOFOLLOW | O_CLOEXEC); }));
  if (!spool) return Refused<MailslotWriter>(errno == ELOOP ? EACCES : errno, error);
  if (!OwnerOnly(spool.get(), S_IFREG)) return Refused<MailslotWriter>(EACCES, error);
  // A server holds its spool locked for as long as it lives.
  if (!LockedByOther(spool.get(), LOCK_SH)) return Refused<MailslotWriter>(ENOENT, error);
  MailslotWriter writer;
  writer.fd_ = spool.Release();
  return writer;
}

bool MailslotWriter::is_open() const { return fd_ >= 0; }

bool MailslotWriter::Write(std::string_view message, int* error) {
  if (fd_ < 0) return *error = EBADF, false;
  if (message.size() > kMailslotMaxMessage) return *error = EMSGSIZE, false;
  std::array<char, kHeaderSize> header = RecordHeader(message);
  iovec parts[] = {{header.data(), header.size()}, {const_cast<char*>(message.data()), message.size()}};
  // One call: appends of other writers never land inside it. A short write is not resumed,
  // since another message may already follow; the server skips the torn one.
  ssize_t written = RetryOnEintr([&] { return writev(fd_, parts, 2); });
  if (written < 0) return *error = errno, false;
  if (static_cast<size_t>(written) != header.size() + message.size()) return *error = EIO, false;
  return true;
}

void MailslotWriter::Close() {
  if (fd_ >= 0) close(fd_);
  fd_ = -1;
}

}  // namespace platform
