#include "platform/posix/engine_starters.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <mutex>
#include <utility>
#include <vector>

#include "platform/posix/adopted_children.h"

namespace platform::posix {
namespace {

struct IdleStarters {
  std::mutex lock;
  pid_t owner = 0;  // a forked child must not share its parent's starters
  std::vector<EngineStarter> starters;
};

IdleStarters& Idle() {
  static IdleStarters idle;
  return idle;
}

}  // namespace

std::optional<EngineStarter> TakeIdleEngineStarter() {
  IdleStarters& idle = Idle();
  std::lock_guard<std::mutex> held(idle.lock);
  if (idle.owner != getpid()) {
    // This process is a fork of the one that started them: they are not ours to use.
    for (EngineStarter& inherited : idle.starters) inherited.channel.Reset();
    idle.starters.clear();
    idle.owner = getpid();
  }
  if (idle.starters.empty()) return std::nullopt;
  EngineStarter starter = std::move(idle.starters.back());
  idle.starters.pop_back();
  return starter;
}

void ReturnEngineStarter(EngineStarter starter) {
  IdleStarters& idle = Idle();
  std::lock_guard<std::mutex> held(idle.lock);
  if (idle.owner == getpid()) {
    idle.starters.push_back(std::move(starter));
  } else {
    starter.channel.Reset();
  }
}

void DiscardEngineStarter(EngineStarter starter) {
  starter.channel.Reset();
  if (starter.pid > 0) {
    RetryOnEintr([&] { return waitpid(starter.pid, nullptr, 0); });
    ForgetOwnChild(starter.pid);
  }
}

void KillEngineStarter(EngineStarter starter) {
  // Unreaped until the discard's wait, so its ID names no other process.
  if (starter.pid > 0) kill(starter.pid, SIGKILL);
  DiscardEngineStarter(std::move(starter));
}

}  // namespace platform::posix
