#include "platform/posix/path_walk.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <deque>

#include "platform/posix/error_from_errno.h"

namespace platform::posix {
namespace {

constexpr int kMostLinks = 40;  // as many as the kernel follows in one path

// The components of `text` in order, in front of what is left of the walk.
void PushComponents(const std::string& text, std::deque<std::string>* left) {
  std::deque<std::string> parts;
  size_t start = 0;
  while (start <= text.size()) {
    size_t slash = text.find('/', start);
    if (slash == std::string::npos) slash = text.size();
    if (slash > start) parts.push_back(text.substr(start, slash - start));
    start = slash + 1;
  }
  left->insert(left->begin(), parts.begin(), parts.end());
}

UniqueFd OpenStart(const std::string& path) {
  return OpenCloexec(path.starts_with('/') ? "/" : ".", O_PATH | O_DIRECTORY);
}

bool Refuse(const std::string& path, const std::string& reason, int number, std::string* why) {
  *why = path + ": " + reason;
  errno = number;
  return false;
}

bool TrustedFolder(const struct stat& info, const std::string& shown, std::string* why) {
  if ((info.st_mode & S_ISVTX) == 0) return CallerOrRootAlone(info, shown, why);
  struct stat owner_only = info;
  owner_only.st_mode &= ~static_cast<mode_t>(S_IWGRP | S_IWOTH);
  return CallerOrRootAlone(owner_only, shown, why);
}

// The text of the link `fd` (opened with O_PATH | O_NOFOLLOW).
bool ReadLink(int fd, std::string* text) {
  char buffer[PATH_MAX];
  const ssize_t length = readlinkat(fd, "", buffer, sizeof buffer);
  if (length <= 0 || static_cast<size_t>(length) >= sizeof buffer) {
    if (length >= 0) errno = ENAMETOOLONG;
    return false;
  }
  text->assign(buffer, static_cast<size_t>(length));
  return true;
}

class Walk {
 public:
  Walk(const std::string& path, FolderTrust trust, bool follow_last, std::string* why)
      : path_(path), trust_(trust), follow_last_(follow_last), why_(why) {}

  bool Run(OpenedFolder* opened) {
    folder_ = OpenStart(path_);
    if (!folder_) return Refuse(path_, ErrnoText(errno), errno, why_);
    PushComponents(path_, &left_);
    if (left_.empty() || left_.back() == "." || left_.back() == "..") {
      return Refuse(path_, "names a folder, not a file", EISDIR, why_);
    }
    while (left_.size() > 1 || (follow_last_ && !left_.empty())) {
      if (!Step()) return false;
      if (done_) break;
    }
    opened->folder = std::move(folder_);
    opened->name = left_.front();
    return true;
  }

 private:
  // One component: into a folder, or a link's text put in its place.
  bool Step() {
    const std::string name = left_.front();
    shown_ += (shown_.empty() && !path_.starts_with('/') ? "" : "/") + name;
    UniqueFd next(RetryOnEintr([&] { return openat(folder_.get(), name.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC); }));
    struct stat info;
    if (!next || fstat(next.get(), &info) != 0) {
      // A last component that does not exist yet is the file to be made.
      if (errno == ENOENT && left_.size() == 1) return Finish();
      return Refuse(shown_, ErrnoText(errno), errno, why_);
    }
    if (S_ISLNK(info.st_mode)) return Follow(next.get(), info);
    if (left_.size() == 1) return Finish();
    if (!S_ISDIR(info.st_mode)) return Refuse(shown_, "is not a folder", ENOTDIR, why_);
    if (trust_ == FolderTrust::kCallerOrRoot && !TrustedFolder(info, shown_, why_)) {
      errno = EPERM;
      return false;
    }
    folder_ = std::move(next);
    left_.pop_front();
    return true;
  }

  bool Finish() {
    done_ = true;
    return true;
  }

  bool Follow(int link, const struct stat& info) {
    if (info.st_uid != geteuid() && info.st_uid != 0) {
      return Refuse(shown_,
                    "is a symbolic link of user " + std::to_string(info.st_uid) +
                        ", neither yours nor root's, so another user may have planted it",
                    EPERM, why_);
    }
    std::string target;
    if (++links_ > kMostLinks || !ReadLink(link, &target)) {
      if (links_ > kMostLinks) errno = ELOOP;
      return Refuse(shown_, ErrnoText(errno), errno, why_);
    }
    left_.pop_front();
    PushComponents(target, &left_);
    if (left_.empty()) left_.push_back(".");
    if (target.starts_with('/')) {
      folder_ = OpenStart(target);
      if (!folder_) return Refuse(shown_, ErrnoText(errno), errno, why_);
    }
    const std::string& last = left_.back();
    if (last == "." || last == "..") return Refuse(shown_, "leads to a folder, not a file", EISDIR, why_);
    return true;
  }

  const std::string& path_;
  FolderTrust trust_;
  bool follow_last_;
  std::string* why_;
  UniqueFd folder_;
  std::deque<std::string> left_;
  std::string shown_;  // the components walked so far, for messages
  int links_ = 0;
  bool done_ = false;
};

}  // namespace

bool CallerOrRootAlone(const struct stat& info, const std::string& path, std::string* why) {
  if (info.st_uid != geteuid() && info.st_uid != 0) {
    *why = path + " belongs to user " + std::to_string(info.st_uid) + ", neither to you nor to root";
    return false;
  }
  if ((info.st_mode & (S_IWGRP | S_IWOTH)) != 0) {
    char mode[8];
    std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(info.st_mode & 07777));
    *why = path + " can be written by group or others (mode " + mode + ")";
    return false;
  }
  return true;
}

bool OpenFolderOf(const std::string& path, FolderTrust trust, bool follow_last, OpenedFolder* opened,
                  std::string* why) {
  return Walk(path, trust, follow_last, why).Run(opened);
}

}  // namespace platform::posix
