#include <string>
#include <vector>

#include "platform/process.h"

namespace platform {

// setsid -f forks before it runs the program, so the program is an orphan at once, in a
// session of its own.
bool StartAndLeave(std::span<const std::string> argv) {
  if (argv.empty()) return false;
  std::vector<std::string> line = {"/usr/bin/setsid", "-f"};
  line.insert(line.end(), argv.begin(), argv.end());
  ChildProcess setsid = ChildProcess::Spawn(line, ConsoleMode::kDetached);
  const ProcessOutcome outcome = setsid.Wait();
  return outcome.kind == ProcessOutcome::Kind::kExited && outcome.code == 0;
}

}  // namespace platform
