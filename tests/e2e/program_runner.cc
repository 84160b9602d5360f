#include "program_runner.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace {

void Drain(int fd, std::string* into) {
  char buffer[65536];
  ssize_t got = read(fd, buffer, sizeof buffer);
  if (got > 0)
    into->append(buffer, static_cast<size_t>(got));
}

}  // namespace

ProgramRun RunProgram(const std::string& program, const std::vector<std::string>& args,
                      const ProgramOptions& options) {
  int in[2], out[2], err[2];
  if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0)
    throw std::runtime_error("pipe failed");
  pid_t pid = fork();
  if (pid == 0) {
    dup2(in[0], 0);
    dup2(out[1], 1);
    dup2(err[1], 2);
    if (!options.folder.empty() && chdir(options.folder.c_str()) != 0)
      _exit(126);
    for (const auto& [name, value] : options.environment)
      setenv(name.c_str(), value.c_str(), 1);
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& arg : args)
      argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    execv(program.c_str(), argv.data());
    _exit(127);
  }
  close(in[0]);
  close(out[1]);
  close(err[1]);
  // Input is small; write it all, then close so the program sees the end of input.
  signal(SIGPIPE, SIG_IGN);
  size_t written = 0;
  while (written < options.input.size()) {
    ssize_t n = write(in[1], options.input.data() + written, options.input.size() - written);
    if (n <= 0)
      break;
    written += static_cast<size_t>(n);
  }
  close(in[1]);
  ProgramRun run;
  pollfd fds[2] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}};
  int open_count = 2;
  while (open_count > 0) {
    if (poll(fds, 2, -1) < 0 && errno != EINTR)
      break;
    for (pollfd& fd : fds) {
      if (fd.fd < 0 || fd.revents == 0)
        continue;
      std::string* into = fd.fd == out[0] ? &run.output : &run.errors;
      size_t before = into->size();
      Drain(fd.fd, into);
      if (into->size() == before) {
        close(fd.fd);
        fd.fd = -1;
        --open_count;
      }
    }
  }
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  if (WIFEXITED(status))
    run.exit_code = WEXITSTATUS(status);
  if (WIFSIGNALED(status))
    run.signal = WTERMSIG(status);
  return run;
}

std::string TestkvePath() { return std::string(TESTKVE_BIN_DIR) + "/testkve"; }

TempFolder::TempFolder() {
  std::string pattern = (std::filesystem::temp_directory_path() / "testkve-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr)
    throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
}

TempFolder::~TempFolder() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

EngineFolderCopy::EngineFolderCopy() {
  std::filesystem::copy(TESTKVE_ENGINE_DIR, path(), std::filesystem::copy_options::recursive);
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream stream(text);
  for (std::string line; std::getline(stream, line);)
    lines.push_back(line);
  return lines;
}

size_t CountOf(const std::string& text, const std::string& needle) {
  size_t count = 0;
  for (size_t pos = text.find(needle); pos != std::string::npos;
       pos = text.find(needle, pos + needle.size()))
    ++count;
  return count;
}

std::string ReadFileText(const std::filesystem::path& path) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream content;
  content << file.rdbuf();
  return content.str();
}
