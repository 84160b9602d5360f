#include "platform/posix/adopted_children.h"

#include <dirent.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>

#include <algorithm>
#include <fstream>
#include <mutex>
#include <string>
#include <vector>

#include "platform/posix/unique_fd.h"

namespace platform::posix {
namespace {

struct Children {
  std::mutex lock;
  std::vector<pid_t> own;
  int holds = 0;
};

Children& State() {
  static Children children;
  return children;
}

// The process IDs listed in /proc/self/task/<thread>/children over every thread: an orphan
// goes to whichever thread of the subreaper the kernel picks.
std::vector<pid_t> ListChildren() {
  std::vector<pid_t> children;
  DIR* tasks = opendir("/proc/self/task");
  if (tasks == nullptr) return children;
  while (const dirent* entry = readdir(tasks)) {
    if (entry->d_name[0] == '.') continue;
    std::ifstream list(std::string("/proc/self/task/") + entry->d_name + "/children");
    for (pid_t pid; list >> pid;) children.push_back(pid);
  }
  closedir(tasks);
  return children;
}

}  // namespace

void NoteOwnChild(pid_t pid) {
  Children& state = State();
  std::lock_guard<std::mutex> held(state.lock);
  state.own.push_back(pid);
}

void ForgetOwnChild(pid_t pid) {
  Children& state = State();
  std::lock_guard<std::mutex> held(state.lock);
  std::erase(state.own, pid);
}

void HoldOrphans() {
  Children& state = State();
  std::lock_guard<std::mutex> held(state.lock);
  if (state.holds++ == 0) prctl(PR_SET_CHILD_SUBREAPER, 1);
}

void ReleaseOrphans() {
  Children& state = State();
  std::lock_guard<std::mutex> held(state.lock);
  if (--state.holds == 0) prctl(PR_SET_CHILD_SUBREAPER, 0);
}

void EndAdoptedChildren() {
  for (;;) {
    std::vector<pid_t> adopted = ListChildren();
    {
      Children& state = State();
      std::lock_guard<std::mutex> held(state.lock);
      std::erase_if(adopted, [&](pid_t pid) { return std::ranges::find(state.own, pid) != state.own.end(); });
    }
    if (adopted.empty()) return;
    // An adopted child is unreaped until the wait below, so its ID names no other process.
    for (pid_t pid : adopted) kill(pid, SIGKILL);
    for (pid_t pid : adopted) RetryOnEintr([&] { return waitpid(pid, nullptr, 0); });
  }
}

}  // namespace platform::posix
