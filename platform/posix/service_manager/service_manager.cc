#include "platform/service_manager.h"

#include <pwd.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "platform/posix/argv_pointers.h"
#include "platform/posix/child_start.h"
#include "platform/posix/error_from_errno.h"
#include "platform/posix/path_walk.h"
#include "platform/posix/unique_fd.h"
#include "platform/service_record.h"

extern char** environ;

namespace platform {
namespace {

using posix::LeaveCallersGroup;
using posix::MoveAboveStandardStreams;
using posix::OpenCloexec;
using posix::ReadFull;
using posix::ResetChildSignals;
using posix::RetryOnEintr;
using posix::UnblockAllSignals;
using posix::UniqueFd;
using posix::WriteAll;

// A record never needs more; anything longer is not one of ours.
constexpr size_t kMaxRecordSize = 64 * 1024;
constexpr size_t kMaxNameLength = 200;

std::string LogPathIn(const std::string& folder, const std::string& name) { return folder + "/" + name + ".log"; }

bool IsRecordText(std::string_view text) {
  return text.find_first_of(std::string_view("\n\0", 2)) == std::string_view::npos;
}

bool IsServiceName(std::string_view name) {
  return !name.empty() && name.size() <= kMaxNameLength && name != "." && name != ".." &&
         name.find('/') == std::string_view::npos && IsRecordText(name);
}

bool IsRecordable(const ServiceParameters& p) {
  if (!IsServiceName(p.name) || p.program_path.empty()) return false;
  for (const std::string* text : {&p.display_name, &p.program_path, &p.load_order_group, &p.account, &p.password}) {
    if (!IsRecordText(*text)) return false;
  }
  for (const std::string& dependency : p.dependencies) {
    if (!IsServiceName(dependency)) return false;
  }
  return true;
}

// A regular file that the caller may trust, or the errno with the reason in `why`.
int CheckOpenedFile(int fd, const std::string& path, std::string* why) {
  struct stat info;
  if (fstat(fd, &info) != 0) return errno;
  if (!S_ISREG(info.st_mode)) {
    *why = path + " is not a regular file";
    return EBADMSG;
  }
  // Whoever can write the database can make its user run a program of theirs: the folder and
  // every file in it must be the caller's or root's and writable by no one else.
  return posix::CallerOrRootAlone(info, path, why) ? 0 : EPERM;
}

// mkdir -p: the parents as the umask allows, the database folder itself owner-only.
int MakeFolders(const std::string& folder, std::string* why) {
  for (size_t slash = folder.find('/', 1); slash != std::string::npos; slash = folder.find('/', slash + 1)) {
    if (mkdir(folder.substr(0, slash).c_str(), 0755) != 0 && errno != EEXIST) return errno;
  }
  if (mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) return errno;
  struct stat info;
  if (stat(folder.c_str(), &info) != 0) return errno;
  if (!S_ISDIR(info.st_mode)) return ENOTDIR;
  if (!posix::CallerOrRootAlone(info, folder, why)) return EPERM;
  if (faccessat(AT_FDCWD, folder.c_str(), W_OK | X_OK, AT_EACCESS) != 0) return errno;
  return 0;
}

int ReadRecord(const std::string& path, std::string* text, std::string* why) {
  // Non-blocking, so that a FIFO in the record's place is refused instead of waited on.
  UniqueFd fd = OpenCloexec(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY);
  if (!fd) {
    if (errno != ELOOP) return errno;
    *why = path + " is a symbolic link";
    return EBADMSG;
  }
  if (int failure = CheckOpenedFile(fd.get(), path, why)) return failure;
  text->resize(kMaxRecordSize + 1);
  ssize_t got = ReadFull(fd.get(), text->data(), text->size());
  if (got < 0) return errno;
  if (static_cast<size_t>(got) > kMaxRecordSize) return EBADMSG;
  text->resize(static_cast<size_t>(got));
  return 0;
}

// A temporary file in the database folder that is removed unless it was published.
class TemporaryRecord {
 public:
  explicit TemporaryRecord(const std::string& folder, const std::string& name)
      : path_(folder + "/." + name + ".XXXXXX") {
    fd_ = UniqueFd(mkostemp(path_.data(), O_CLOEXEC));
    if (!fd_) {
      open_error_ = errno;
      path_.clear();
    }
  }
  ~TemporaryRecord() {
    if (!path_.empty()) unlink(path_.c_str());
  }
  TemporaryRecord(const TemporaryRecord&) = delete;
  TemporaryRecord& operator=(const TemporaryRecord&) = delete;

  // Writes `text` to disk and gives it the name `record`; 0 or the errno.
  int Publish(std::string_view text, const std::string& record) {
    if (!fd_) return open_error_;
    if (!WriteAll(fd_.get(), text) || RetryOnEintr([&] { return fsync(fd_.get()); }) != 0) {
      return errno;
    }
    if (fd_.Close() != 0) return errno;
    // link, not rename: it refuses to replace a record, so of two creators at the same moment
    // exactly one wins and neither overwrites the other's whole file.
    if (link(path_.c_str(), record.c_str()) != 0) return errno;
    return 0;
  }

 private:
  std::string path_;
  UniqueFd fd_;
  int open_error_ = 0;
};

std::string HomeFolder() {
  if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0') return home;
  if (const passwd* entry = getpwuid(getuid()); entry != nullptr && entry->pw_dir != nullptr) {
    return entry->pw_dir;
  }
  return "/";
}

// Standard streams of the service come from these, so they must not be 0 to 2 themselves.
UniqueFd AboveStandardStreams(UniqueFd fd) { return UniqueFd(MoveAboveStandardStreams(fd.Release())); }

// The service's log, opened for appending and locked. The lock belongs to the open file that
// becomes the service's standard output and error, so it lasts as long as the service program
// (or anything it started that keeps them) runs: a start while it is held is refused.
UniqueFd OpenLockedLog(const std::string& path, int* error, std::string* why) {
  UniqueFd log = AboveStandardStreams(
      OpenCloexec(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY, 0600));
  if (!log) {
    *error = errno;
    // A FIFO without a reader fails the non-blocking open (ENXIO) before the check below.
    struct stat info;
    if (lstat(path.c_str(), &info) == 0 && !S_ISREG(info.st_mode)) {
      *why = path + (S_ISLNK(info.st_mode) ? " is a symbolic link" : " is not a regular file");
      *error = EBADMSG;
    }
    return {};
  }
  if (int failure = CheckOpenedFile(log.get(), path, why)) {
    *error = failure;
    return {};
  }
  if (RetryOnEintr([&] { return flock(log.get(), LOCK_EX | LOCK_NB); }) != 0) {
    *error = errno == EWOULDBLOCK ? EBUSY : errno;
    if (*error == EBUSY) *why = "the service is already running (its log " + path + " is held by its processes)";
    return {};
  }
  fcntl(log.get(), F_SETFL, fcntl(log.get(), F_GETFL) & ~O_NONBLOCK);
  return log;
}

// The program a record names, opened for running: it and every folder on its way must be the
// caller's or root's and writable by no one else (a sticky folder such as /tmp aside), as the
// database is. A record outlives the folder it was made in; whoever makes that folder again must
// not have their program run by the database's user.
UniqueFd OpenTrustedProgram(const std::string& path, int* error, std::string* why) {
  posix::OpenedFolder opened;
  if (!posix::OpenFolderOf(path, posix::FolderTrust::kCallerOrRoot, /*follow_last=*/true, &opened, why)) {
    *error = errno;
    return {};
  }
  UniqueFd program(
      RetryOnEintr([&] { return openat(opened.folder.get(), opened.name.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC); }));
  struct stat info;
  if (!program || fstat(program.get(), &info) != 0) {
    *error = errno;
    *why = path + ": " + ErrnoText(errno);
    return {};
  }
  if (!S_ISREG(info.st_mode)) {
    *error = EACCES;
    *why = path + " is not a regular file";
    return {};
  }
  if (!posix::CallerOrRootAlone(info, path, why)) {
    *error = EPERM;
    return {};
  }
  return AboveStandardStreams(std::move(program));
}

struct DetachedStart {
  int program;
  char* const* argv;
  int input;
  int output;
  int status_pipe;
};

[[noreturn]] void ReportAndExit(int status_pipe, int error) {
  ssize_t ignored = write(status_pipe, &error, sizeof error);
  (void)ignored;
  _exit(127);
}

// Runs in the grandchild after fork: async-signal-safe calls only.
[[noreturn]] void ExecService(const DetachedStart& start) {
  if (dup2(start.input, 0) < 0 || dup2(start.output, 1) < 0 || dup2(start.output, 2) < 0 || chdir("/") != 0) {
    ReportAndExit(start.status_pipe, errno);
  }
  ResetChildSignals();
  UnblockAllSignals();
  // The file that was checked is the file that runs, never the path again.
  syscall(SYS_execveat, start.program, "", start.argv, environ, AT_EMPTY_PATH);
  // A script reads itself through /dev/fd/N, which must then stay open across the exec.
  if (errno == ENOENT && fcntl(start.program, F_SETFD, 0) == 0) {
    syscall(SYS_execveat, start.program, "", start.argv, environ, AT_EMPTY_PATH);
  }
  ReportAndExit(start.status_pipe, errno);
}

// Runs in the child after fork: a new session, then a grandchild that init adopts, so the
// service outlives the caller and never becomes the caller's zombie.
[[noreturn]] void DetachAndExec(const DetachedStart& start) {
  if (!LeaveCallersGroup(true)) ReportAndExit(start.status_pipe, errno);
  pid_t service = fork();
  if (service < 0) ReportAndExit(start.status_pipe, errno);
  if (service == 0) ExecService(start);
  _exit(0);
}

// Starts the service's program; false with the errno in `error`, and for some a reason in `why`.
bool StartDetached(const std::string& folder, const ServiceParameters& parameters,
                   const std::vector<std::string>& arguments, int* error, std::string* why) {
  if (!parameters.account.empty()) {
    *error = EPERM;
    return false;
  }
  UniqueFd program = OpenTrustedProgram(parameters.program_path, error, why);
  if (!program) return false;
  UniqueFd log = OpenLockedLog(LogPathIn(folder, parameters.name), error, why);
  if (!log) return false;
  UniqueFd input = AboveStandardStreams(OpenCloexec("/dev/null", O_RDONLY));
  int pipe_ends[2];
  if (!input || pipe2(pipe_ends, O_CLOEXEC) != 0) {
    *error = errno;
    return false;
  }
  UniqueFd status_read(pipe_ends[0]);
  UniqueFd status_write(pipe_ends[1]);

  std::vector<std::string> command = {parameters.program_path};
  command.insert(command.end(), arguments.begin(), arguments.end());
  const posix::ArgvPointers argv(command);
  const DetachedStart start{program.get(), argv.get(), input.get(), log.get(), status_write.get()};

  pid_t child = fork();
  if (child < 0) {
    *error = errno;
    return false;
  }
  if (child == 0) DetachAndExec(start);
  status_write.Reset();
  int status = 0;
  RetryOnEintr([&] { return waitpid(child, &status, 0); });
  // End of file without a word: the program was executed and the pipe closed with the exec.
  int exec_error = 0;
  ssize_t got = ReadFull(status_read.get(), &exec_error, sizeof exec_error);
  if (got == 0) return true;
  *error = got == static_cast<ssize_t>(sizeof exec_error) ? exec_error : got < 0 ? errno : EIO;
  // Nothing runs: the lock goes now, not when the failed child has finished ending.
  flock(log.get(), LOCK_UN);
  return false;
}

}  // namespace

// $TESTKVE_SERVICE_DB when set and not empty, else /var/lib/testkve/services for root, else
// $XDG_STATE_HOME/testkve/services (with ~/.local/state in place of an unset XDG_STATE_HOME).
std::string ServiceDatabaseFolder() {
  if (const char* folder = std::getenv("TESTKVE_SERVICE_DB"); folder != nullptr && *folder) {
    return folder;
  }
  if (geteuid() == 0) return "/var/lib/testkve/services";
  const char* state = std::getenv("XDG_STATE_HOME");
  std::string base = state != nullptr && *state == '/' ? state : HomeFolder() + "/.local/state";
  return base + "/testkve/services";
}

std::unique_ptr<ServiceManager> ServiceManager::Open(const std::string& folder, Error* error) {
  if (folder.empty()) {
    *error = ErrorFromErrno(ENOENT, {});
    return nullptr;
  }
  std::string reason;
  if (int failure = MakeFolders(folder, &reason)) {
    *error = ErrorFromErrno(failure, std::move(reason));
    return nullptr;
  }
  return std::make_unique<ServiceManager>(folder);
}

// A service runs as its starter here, with no rights of its own to lend.
bool ServiceManager::CheckProgramTrust(const std::string&, const std::vector<std::string>&, Error*) const {
  return true;
}

std::string ServiceManager::RecordPath(const std::string& name) const { return folder_ + "/" + name + ".service"; }

std::string ServiceManager::LogPath(const std::string& name) const { return LogPathIn(folder_, name); }

std::unique_ptr<Service> ServiceManager::OpenService(const std::string& name, Error* error) const {
  if (!IsServiceName(name)) {
    *error = ErrorFromErrno(EINVAL, {});
    return nullptr;
  }
  std::string text;
  std::string reason;
  if (int failure = ReadRecord(RecordPath(name), &text, &reason)) {
    *error = ErrorFromErrno(failure, std::move(reason));
    return nullptr;
  }
  ServiceParameters parameters;
  if (!ParseServiceRecord(text, &parameters) || parameters.name != name) {
    *error = ErrorFromErrno(EBADMSG, {});
    return nullptr;
  }
  return std::make_unique<Service>(folder_, std::move(parameters));
}

std::unique_ptr<Service> ServiceManager::CreateService(const ServiceParameters& parameters, Error* error) const {
  if (!IsRecordable(parameters)) {
    *error = ErrorFromErrno(EINVAL, {});
    return nullptr;
  }
  TemporaryRecord record(folder_, parameters.name);
  if (int failure = record.Publish(FormatServiceRecord(parameters), RecordPath(parameters.name))) {
    *error = ErrorFromErrno(failure, {});
    return nullptr;
  }
  return std::make_unique<Service>(folder_, parameters);
}

// In a new session, in the folder "/", standard input on /dev/null, standard output and error
// appended to the log, the caller's environment.
bool Service::Start(const std::vector<std::string>& arguments, Error* error) const {
  int number = 0;
  std::string reason;
  if (!StartDetached(folder_, parameters_, arguments, &number, &reason)) {
    *error = ErrorFromErrno(number, reason.empty() ? ErrnoText(number) : std::move(reason));
    return false;
  }
  return true;
}

}  // namespace platform
