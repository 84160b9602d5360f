#include "support/program_runner.h"

#include <stdexcept>

#include "platform/process.h"
#include "support/build_paths.h"
#include "support/temp_folder.h"
#include "support/text.h"

namespace {

// The shell only sets up the streams, the folder and the environment, then becomes the
// program, so the outcome is the program's own. Its arguments: input, output and error files,
// folder, NAME=VALUE words, "--", the program and its arguments. Streams come first so that
// a folder or program that fails is reported on the captured standard error.
constexpr const char* kLauncher =
    "exec <\"$1\" >\"$2\" 2>\"$3\"\n"
    "cd \"$4\" || exit 126\n"
    "shift 4\n"
    "while [ \"$1\" != -- ]; do export \"$1\"; shift; done\n"
    "shift\n"
    "exec \"$@\"\n";

}  // namespace

ProgramRun RunProgram(const std::string& program, const std::vector<std::string>& args, const ProgramOptions& options) {
  // Files in a folder of their own: fresh for every run, and nothing can block on them.
  const TempFolder streams;
  const std::filesystem::path output = streams.path() / "output";
  const std::filesystem::path errors = streams.path() / "errors";
  std::vector<std::string> argv = {"/bin/sh",
                                   "-c",
                                   kLauncher,
                                   "sh",
                                   streams.Write("input", options.input).string(),
                                   output.string(),
                                   errors.string(),
                                   options.folder.empty() ? "." : options.folder.string()};
  for (const auto& [name, value] : options.environment) argv.push_back(name + "=" + value);
  argv.push_back("--");
  argv.push_back(program);
  argv.insert(argv.end(), args.begin(), args.end());

  using Kind = platform::ProcessOutcome::Kind;
  const platform::ProcessOutcome outcome = platform::ChildProcess::Spawn(argv, platform::ConsoleMode::kShared).Wait();
  if (outcome.kind == Kind::kNotStarted || outcome.kind == Kind::kWaitFailed) {
    throw std::runtime_error("cannot run " + program + ": errno " + std::to_string(outcome.code));
  }
  ProgramRun run;
  if (outcome.kind == Kind::kExited) run.exit_code = outcome.code;
  if (outcome.kind == Kind::kSignaled) run.signal = outcome.code;
  run.output = ReadFile(output);
  run.errors = ReadFile(errors);
  return run;
}
