#include "support/background_program.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string_view>
#include <thread>

#include "support/temp_folder.h"
#include "support/text.h"

extern char** environ;

namespace {

std::vector<std::string> EnvironmentWith(const std::map<std::string, std::string>& added) {
  std::vector<std::string> entries;
  for (char** entry = environ; *entry != nullptr; ++entry) {
    const std::string_view text(*entry);
    if (!added.contains(std::string(text.substr(0, text.find('='))))) entries.emplace_back(text);
  }
  for (const auto& [name, value] : added) entries.push_back(name + "=" + value);
  return entries;
}

std::vector<char*> Pointers(std::vector<std::string>& strings) {
  std::vector<char*> pointers;
  for (std::string& text : strings) pointers.push_back(text.data());
  pointers.push_back(nullptr);
  return pointers;
}

// The fresh folder for the streams; removed by Wait or the destructor.
std::filesystem::path StreamFolder() {
  std::string pattern = (std::filesystem::temp_directory_path() / "testkve-bg-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp " + pattern);
  return pattern;
}

void Redirect(const std::filesystem::path& path, int flags, int fd) {
  int opened = open(path.c_str(), flags, 0644);
  if (opened < 0 || dup2(opened, fd) < 0) _exit(126);
  close(opened);
}

}  // namespace

BackgroundProgram::BackgroundProgram(const std::string& program, const std::vector<std::string>& args,
                                     const std::filesystem::path& folder,
                                     const std::map<std::string, std::string>& environment, const std::string& input,
                                     bool close_output)
    : streams_(StreamFolder()) {
  { std::ofstream(streams_ / "input", std::ios::binary) << input; }
  std::vector<std::string> argv = {program};
  argv.insert(argv.end(), args.begin(), args.end());
  std::vector<std::string> env = EnvironmentWith(environment);
  std::vector<char*> argv_pointers = Pointers(argv);
  std::vector<char*> env_pointers = Pointers(env);
  const std::filesystem::path input_path = streams_ / "input";
  const std::filesystem::path output_path = streams_ / "output";
  const std::filesystem::path errors_path = streams_ / "errors";
  pid_ = fork();
  if (pid_ < 0) throw std::runtime_error("fork failed");
  if (pid_ == 0) {
    // The usual actions, whatever the test runner ignores or blocks.
    for (int signal : {SIGINT, SIGTERM, SIGHUP, SIGPIPE}) ::signal(signal, SIG_DFL);
    sigset_t empty;
    sigemptyset(&empty);
    sigprocmask(SIG_SETMASK, &empty, nullptr);
    if (chdir(folder.c_str()) != 0) _exit(126);
    Redirect(input_path, O_RDONLY, 0);
    if (close_output) {
      close(1);
    } else {
      Redirect(output_path, O_WRONLY | O_CREAT | O_TRUNC, 1);
    }
    Redirect(errors_path, O_WRONLY | O_CREAT | O_TRUNC, 2);
    execve(program.c_str(), argv_pointers.data(), env_pointers.data());
    _exit(127);
  }
}

BackgroundProgram::~BackgroundProgram() {
  if (pid_ > 0) {
    kill(pid_, SIGKILL);
    Wait();
  }
  std::error_code ignored;
  std::filesystem::remove_all(streams_, ignored);
}

void BackgroundProgram::Signal(int signal) const {
  if (pid_ > 0) kill(pid_, signal);
}

ProgramRun BackgroundProgram::Wait() {
  ProgramRun run;
  int status = 0;
  while (pid_ > 0 && waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
  }
  pid_ = -1;
  if (WIFEXITED(status)) run.exit_code = WEXITSTATUS(status);
  if (WIFSIGNALED(status)) run.signal = WTERMSIG(status);
  run.output = ReadFile(streams_ / "output");
  run.errors = ReadFile(streams_ / "errors");
  return run;
}

std::vector<int> DescriptorsOf(int pid) {
  std::vector<int> descriptors;
  std::error_code error;
  const std::filesystem::path fd_folder = "/proc/" + std::to_string(pid) + "/fd";
  for (const auto& entry : std::filesystem::directory_iterator(fd_folder, error)) {
    descriptors.push_back(std::atoi(entry.path().filename().c_str()));
  }
  return descriptors;
}

long ResidentKiB(int pid) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.starts_with("VmRSS:")) return std::atol(line.c_str() + 6);
  }
  return -1;
}

namespace {

// The state and parent from /proc/<pid>/stat; the name in parentheses may hold spaces.
bool StateAndParent(int pid, char* state, int* parent) {
  const std::string stat = ReadFile("/proc/" + std::to_string(pid) + "/stat");
  const size_t close = stat.rfind(')');
  if (close == std::string::npos || close + 4 >= stat.size()) return false;
  *state = stat[close + 2];
  *parent = std::atoi(stat.c_str() + close + 4);
  return true;
}

}  // namespace

std::map<int, char> ChildrenOf(int pid) {
  // The kernel's own list of the main thread's children: far cheaper than a walk of /proc,
  // which matters when a test samples it while the process runs flat out.
  std::map<int, char> children;
  const std::string path = "/proc/" + std::to_string(pid) + "/task/" + std::to_string(pid) + "/children";
  std::istringstream list(ReadFile(path));
  for (int child = 0; list >> child;) {
    char state = 0;
    int parent = 0;
    if (StateAndParent(child, &state, &parent)) children[child] = state;
  }
  return children;
}

bool IsRunning(int pid) {
  char state = 0;
  int parent = 0;
  return StateAndParent(pid, &state, &parent) && state != 'Z' && state != 'X';
}

bool WaitFor(double seconds, const std::function<bool()>& done) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
  while (!done()) {
    if (std::chrono::steady_clock::now() >= end) return done();
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return true;
}
