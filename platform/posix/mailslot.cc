#include "platform/mailslot.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "platform/ascii.h"
#include "platform/mailslot_record.h"
#include "platform/posix/error_from_errno.h"
#include "platform/posix/mailslot_folder.h"
#include "platform/posix/unique_fd.h"

namespace platform {
namespace {

using posix::OpenCloexec;
using posix::RetryOnEintr;
using posix::UniqueFd;

constexpr size_t kLongestName = 200;

constexpr size_t kHeaderSize = kMailslotRecordHeaderSize;
constexpr size_t kLargestRecord = kHeaderSize + kMailslotMaxMessage;
// The spool is judged in windows of this size, so reading it needs no more memory than this.
constexpr size_t kScanWindow = 1024 * 1024 + kLargestRecord;
// Messages are read back in pieces of about this size.
constexpr size_t kReadAhead = 256 * 1024;

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

// A server's failure: one refused because the user's folder is not the user's alone names it.
Error ServerError(int number) {
  Error error = ErrorFromErrno(number);
  if (error.kind == ErrorKind::kDenied) error.text = "the folder " + MailslotFolder().string() + " is not yours alone";
  return error;
}

// What `make` made, given an errno slot; when that is not open, `*failure` tells why as
// `describe` has it.
template <typename Made, typename Make>
Made Reporting(Error* failure, Error (*describe)(int), Make make) {
  int number = 0;
  Made made = make(&number);
  if (!made.is_open()) *failure = describe(number);
  return made;
}

constexpr char kRunFolderPrefix[] = "run-";
// A run folder is made under this name and locked there, then renamed to its run- name: a
// folder under a run- name is locked by its live process from the moment it appears, so a
// sweep of another process can never take it between the two.
constexpr char kNewRunFolderPrefix[] = "new-run-";

// Whether the process that made a new-run-<pid>-... folder still lives (it then locks and
// renames the folder at once). A process ID that was used again keeps the folder a while longer.
bool MakerAlive(const std::string& name) {
  const char* digits = name.c_str() + sizeof kNewRunFolderPrefix - 1;
  pid_t pid = 0;
  const auto [end, failed] = std::from_chars(digits, name.c_str() + name.size(), pid);
  if (failed != std::errc() || *end != '-' || pid <= 0) return false;
  return kill(pid, 0) == 0 || errno == EPERM;
}

// Removes the run folders of processes that have died (their lock is free) with the spools
// they left, and the new-run- folders of makers that died before their rename. Folders of live
// processes are locked and stay.
void SweepDeadRunFolders(int user_folder) {
  UniqueFd listing(RetryOnEintr([&] { return openat(user_folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC); }));
  DIR* entries = listing ? fdopendir(listing.get()) : nullptr;
  if (entries == nullptr) return;
  listing.Release();
  while (const dirent* entry = readdir(entries)) {
    const std::string name = entry->d_name;
    const bool unfinished = name.starts_with(kNewRunFolderPrefix);
    if (!name.starts_with(kRunFolderPrefix) && !(unfinished && !MakerAlive(name))) continue;
    UniqueFd folder(RetryOnEintr(
        [&] { return openat(user_folder, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC); }));
    if (!folder || !OwnerOnly(folder.get(), S_IFDIR) || LockedByOther(folder.get(), LOCK_EX)) continue;
    UniqueFd inner(fcntl(folder.get(), F_DUPFD_CLOEXEC, 0));
    if (DIR* spools = inner ? fdopendir(inner.get()) : nullptr) {
      inner.Release();
      while (const dirent* spool = readdir(spools)) {
        if (spool->d_name[0] != '.') unlinkat(folder.get(), spool->d_name, 0);
      }
      closedir(spools);
    }
    unlinkat(user_folder, name.c_str(), AT_REMOVEDIR);
  }
  closedir(entries);
}

// The folder of this process's own slots: made on first use inside the user's folder, locked
// for as long as the process lives, and removed by the last of its slots to close.
class RunFolder {
 public:
  static RunFolder& Instance() {
    static RunFolder folder;
    return folder;
  }

  // A descriptor of the folder (made when missing or removed), or -1 with the errno in `error`.
  int Open(int user_folder, int* error) {
    std::lock_guard<std::mutex> hold(mutex_);
    struct stat status;
    if (fd_ && fstat(fd_.get(), &status) == 0 && status.st_nlink > 0) return fd_.get();
    SweepDeadRunFolders(user_folder);
    const std::string stem = std::to_string(getpid()) + "-XXXXXX";
    std::string path = (MailslotFolder() / (kNewRunFolderPrefix + stem)).string();
    if (mkdtemp(path.data()) == nullptr) return *error = errno, -1;
    UniqueFd folder = OpenCloexec(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW);
    if (!folder || !OwnerOnly(folder.get(), S_IFDIR) || flock(folder.get(), LOCK_EX | LOCK_NB) != 0) {
      *error = folder ? EACCES : errno;
      return -1;
    }
    const std::string made = std::filesystem::path(path).filename().string();
    const std::string name = kRunFolderPrefix + made.substr(sizeof kNewRunFolderPrefix - 1);
    if (renameat2(user_folder, made.c_str(), user_folder, name.c_str(), RENAME_NOREPLACE) != 0) {
      *error = errno;
      unlinkat(user_folder, made.c_str(), AT_REMOVEDIR);
      return -1;
    }
    path = (MailslotFolder() / name).string();
    fd_ = std::move(folder);
    path_ = path;
    return fd_.get();
  }

  std::filesystem::path path() {
    std::lock_guard<std::mutex> hold(mutex_);
    return path_;
  }

 private:
  std::mutex mutex_;
  UniqueFd fd_;
  std::filesystem::path path_;
};

// Serves the slot under the user's folder too, when no live server holds the name there.
bool PublishUnderName(int user_folder, int run_folder, const std::string& file) {
  for (int attempt = 0; attempt < 2; ++attempt) {
    if (linkat(run_folder, file.c_str(), user_folder, file.c_str(), 0) == 0) return true;
    int error = 0;
    if (errno != EEXIST || !RemoveDeadSlot(user_folder, file, &error)) return false;
  }
  return false;
}

// Opens the slot `name` in the open folder `folder` for writing; none, with the reason in
// `*error`, when it is not this user's alone or has no live server.
OwnedHandle OpenSlotIn(int folder, std::string_view name, int* error) {
  const std::string file = SlotFileName(name);
  UniqueFd spool(
      RetryOnEintr([&] { return openat(folder, file.c_str(), O_WRONLY | O_APPEND | O_NOFOLLOW | O_CLOEXEC); }));
  if (!spool) return Refused<OwnedHandle>(errno == ELOOP ? EACCES : errno, error);
  if (!OwnerOnly(spool.get(), S_IFREG)) return Refused<OwnedHandle>(EACCES, error);
  // A server holds its spool locked for as long as it lives.
  if (!LockedByOther(spool.get(), LOCK_SH)) return Refused<OwnedHandle>(ENOENT, error);
  return OwnedHandle(spool.Release());
}

}  // namespace

std::filesystem::path RunMailslotFolder() { return RunFolder::Instance().path(); }

bool NamesMailslotFolder(std::string_view value) { return value.starts_with('/'); }

std::filesystem::path MailslotFolder() {
  FolderChain chain = SlotFolderChain();
  std::filesystem::path folder = chain.base;
  for (const std::string& name : chain.own) folder /= name;
  return folder;
}

struct MailslotServer::Spool {
  struct Message {
    off_t offset;
    uint32_t size;
  };

  UniqueFd folder;         // the folder of the spool file
  UniqueFd shared_folder;  // the user's folder, when the slot is served under its name there too
  UniqueFd user_folder;    // the user's folder, when `folder` is the run's own
  std::string run_folder;  // then the name of that folder in the user's folder
  UniqueFd file;
  std::string name;
  off_t size_seen = 0;          // the file's size at the last scan
  off_t scanned = 0;            // bytes before this offset are judged for good
  std::deque<Message> waiting;  // whole messages not yet read, where they lie in the file
  std::string window;           // the bytes being judged; its memory is used again
  std::string ahead;            // bytes read ahead of the next message
  off_t ahead_offset = 0;

  bool Scan(int* error);
  size_t JudgeWindow(off_t offset, size_t limit, bool at_end, bool* blocked);
  bool ReadMessage(const Message& message, std::string* text);
};

// Takes in what writers appended since the last scan, judging every byte once: a whole record
// is indexed, a damaged one skipped for good. Only a record that may still be being written is
// judged again, and that is less than one largest record at the end of the file.
bool MailslotServer::Spool::Scan(int* error) {
  struct stat status;
  if (fstat(file.get(), &status) != 0) return *error = errno, false;
  if (status.st_size == size_seen) return true;
  size_seen = status.st_size;
  while (scanned < size_seen) {
    window.resize(static_cast<size_t>(std::min<off_t>(size_seen - scanned, static_cast<off_t>(kScanWindow))));
    ssize_t got = RetryOnEintr([&] { return pread(file.get(), window.data(), window.size(), scanned); });
    if (got <= 0) return *error = got < 0 ? errno : EIO, false;
    window.resize(static_cast<size_t>(got));
    const bool at_end = scanned + got == size_seen;
    // Every position judged has a whole largest record after it in the window, or the end.
    const size_t limit = at_end ? window.size() : window.size() - kLargestRecord;
    bool blocked = false;
    scanned += static_cast<off_t>(JudgeWindow(scanned, limit, at_end, &blocked));
    if (blocked || at_end) break;
  }
  return true;
}

size_t MailslotServer::Spool::JudgeWindow(off_t offset, size_t limit, bool at_end, bool* blocked) {
  std::string_view bytes = window;
  size_t at = 0;
  while (at < limit) {
    size_t size = 0;
    switch (CheckMailslotRecord(bytes.substr(at), &size)) {
      case MailslotRecordState::kWhole:
        waiting.push_back({offset + static_cast<off_t>(at + kHeaderSize), static_cast<uint32_t>(size - kHeaderSize)});
        at += size;
        break;
      case MailslotRecordState::kBroken:
        at = NextMailslotRecordCandidate(bytes, at + 1, limit);
        break;
      case MailslotRecordState::kIncomplete: {
        // Torn by a writer that died, or still being written: skipped once a whole record
        // follows it, kept until then.
        size_t next = FindWholeMailslotRecord(bytes, at + 1, limit);
        if (next != std::string_view::npos) {
          at = next;
          break;
        }
        if (at_end) {
          *blocked = true;
          return at;
        }
        at = limit;
        break;
      }
    }
  }
  return std::min(at, bytes.size());
}

bool MailslotServer::Spool::ReadMessage(const Message& message, std::string* text) {
  const off_t end = message.offset + static_cast<off_t>(message.size);
  if (message.offset < ahead_offset || end > ahead_offset + static_cast<off_t>(ahead.size())) {
    ahead.resize(std::max<size_t>(kReadAhead, message.size));
    ssize_t got = RetryOnEintr([&] { return pread(file.get(), ahead.data(), ahead.size(), message.offset); });
    ahead.resize(got < 0 ? 0 : static_cast<size_t>(got));
    ahead_offset = message.offset;
    if (ahead.size() < message.size) return false;
  }
  text->assign(ahead, static_cast<size_t>(message.offset - ahead_offset), message.size);
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

MailslotServer MailslotServer::Create(std::string_view name, Error* failure) {
  return Reporting<MailslotServer>(failure, ServerError, [&](int* error) -> MailslotServer {
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
  });
}

MailslotServer MailslotServer::CreateForRun(std::string_view name, Error* failure) {
  return Reporting<MailslotServer>(failure, ServerError, [&](int* error) -> MailslotServer {
    std::string file = SlotFileName(name);
    if (file.empty()) return Refused<MailslotServer>(EINVAL, error);
    UniqueFd user_folder = OpenSlotFolder(/*create=*/true, error);
    if (!user_folder) return {};
    int run = RunFolder::Instance().Open(user_folder.get(), error);
    if (run < 0) return {};
    UniqueFd folder(fcntl(run, F_DUPFD_CLOEXEC, 0));
    if (!folder) return Refused<MailslotServer>(errno, error);
    UniqueFd spool = MakeLockedSpool(folder.get(), file, error);
    if (!spool) return {};
    MailslotServer server;
    server.spool_ = std::make_unique<Spool>();
    if (PublishUnderName(user_folder.get(), folder.get(), file)) {
      server.spool_->shared_folder = UniqueFd(fcntl(user_folder.get(), F_DUPFD_CLOEXEC, 0));
    }
    server.spool_->user_folder = std::move(user_folder);
    server.spool_->run_folder = RunMailslotFolder().filename().string();
    server.spool_->folder = std::move(folder);
    server.spool_->file = std::move(spool);
    server.spool_->name = std::move(file);
    return server;
  });
}

bool MailslotServer::is_open() const { return spool_ != nullptr; }

bool MailslotServer::Query(MailslotInfo* info, Error* error) {
  if (!spool_) return *error = ErrorFromErrno(EBADF), false;
  if (int number = 0; !spool_->Scan(&number)) return *error = ErrorFromErrno(number), false;
  info->count = static_cast<uint32_t>(spool_->waiting.size());
  info->next_size = spool_->waiting.empty() ? kMailslotNoMessage : spool_->waiting.front().size;
  return true;
}

bool MailslotServer::Read(std::string* message) {
  int error = 0;
  if (!spool_ || (spool_->waiting.empty() && !spool_->Scan(&error)) || spool_->waiting.empty()) return false;
  const Spool::Message next = spool_->waiting.front();
  spool_->waiting.pop_front();
  return spool_->ReadMessage(next, message);
}

void MailslotServer::Close() {
  if (!spool_) return;
  // Unlinked before the lock goes with the descriptor, so no writer finds a dead slot.
  const Spool& spool = *spool_;
  if (spool.shared_folder && SameFile(spool.shared_folder.get(), spool.name, spool.file.get()))
    unlinkat(spool.shared_folder.get(), spool.name.c_str(), 0);
  if (SameFile(spool.folder.get(), spool.name, spool.file.get())) unlinkat(spool.folder.get(), spool.name.c_str(), 0);
  // The run's folder goes with its last slot; a later slot makes it afresh.
  if (spool.user_folder) unlinkat(spool.user_folder.get(), spool.run_folder.c_str(), AT_REMOVEDIR);
  spool_.reset();
}

MailslotWriter MailslotWriter::Open(std::string_view name, Error* failure) {
  return Reporting<MailslotWriter>(failure, ErrorFromErrno, [&](int* error) -> MailslotWriter {
    if (SlotFileName(name).empty()) return Refused<MailslotWriter>(EINVAL, error);
    UniqueFd folder = OpenSlotFolder(/*create=*/false, error);
    if (!folder) return {};
    return MailslotWriter(OpenSlotIn(folder.get(), name, error));
  });
}

MailslotWriter MailslotWriter::OpenIn(const std::filesystem::path& path, std::string_view name, Error* failure) {
  return Reporting<MailslotWriter>(failure, ErrorFromErrno, [&](int* error) -> MailslotWriter {
    if (SlotFileName(name).empty()) return Refused<MailslotWriter>(EINVAL, error);
    UniqueFd folder = OpenCloexec(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW);
    if (!folder) return Refused<MailslotWriter>(errno == ELOOP || errno == ENOTDIR ? EACCES : errno, error);
    if (!OwnerOnly(folder.get(), S_IFDIR)) return Refused<MailslotWriter>(EACCES, error);
    return MailslotWriter(OpenSlotIn(folder.get(), name, error));
  });
}

bool MailslotWriter::Write(std::string_view message, Error* error) {
  if (!handle_.is_open()) return *error = ErrorFromErrno(EBADF), false;
  if (message.size() > kMailslotMaxMessage) return *error = ErrorFromErrno(EMSGSIZE), false;
  std::array<char, kHeaderSize> header = MailslotRecordHeader(message);
  iovec parts[] = {{header.data(), header.size()}, {const_cast<char*>(message.data()), message.size()}};
  // One call: appends of other writers never land inside it. A short write is not resumed,
  // since another message may already follow; the server skips the torn one.
  ssize_t written = RetryOnEintr([&] { return writev(posix::Fd(handle_), parts, 2); });
  if (written < 0) return *error = ErrorFromErrno(errno), false;
  if (static_cast<size_t>(written) != header.size() + message.size()) {
    *error = {ErrorKind::kCutShort, EIO, ErrnoText(EIO)};
    return false;
  }
  return true;
}

}  // namespace platform
