#include "support/peak_memory.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <stdexcept>

PeakMemoryRun RunForPeakMemory(const std::string& program, const std::vector<std::string>& args,
                               const std::filesystem::path& folder) {
  std::vector<char*> argv = {const_cast<char*>(program.c_str())};
  for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addchdir_np(&actions, folder.c_str());
  pid_t pid = -1;
  int status = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (status != 0) throw std::runtime_error("cannot start " + program);
  int wait_status = 0;
  struct rusage usage = {};
  pid_t waited;
  do {
    waited = wait4(pid, &wait_status, 0, &usage);
  } while (waited < 0 && errno == EINTR);
  if (waited != pid) throw std::runtime_error("cannot wait for " + program);
  PeakMemoryRun run;
  run.exit_code = WIFEXITED(wait_status) ? WEXITSTATUS(wait_status) : -1;
  run.peak_kib = usage.ru_maxrss;
  return run;
}
