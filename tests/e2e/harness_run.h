// The built harness run the way the end-to-end tests run it, shared by their files.
#pragma once

#include <filesystem>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "support/program_runner.h"
#include "support/temp_folder.h"

/// The monitor's pauses and sampling period at a tenth of the real ones (a test-only setting),
/// for tests of what the monitor writes rather than of when it writes it.
inline const std::pair<const std::string, std::string> kQuickMonitor = {"TESTKVE_MONITOR_SPEEDUP", "10"};

/// `testkve /NH <options>` in `folder`, with `environment` added to this process's.
inline ProgramRun Harness(const EngineFolderCopy& folder, const std::vector<std::string>& options,
                          std::map<std::string, std::string> environment = {}) {
  std::vector<std::string> args = {"/NH"};
  args.insert(args.end(), options.begin(), options.end());
  return RunProgram(BuiltProgram("testkve"), args, {folder.path(), "", std::move(environment)});
}

/// Runs a Python script on `file`; its standard output, or the failure with its errors.
inline std::string Python(const std::string& script, const std::filesystem::path& file) {
  ProgramRun run = RunProgram("/usr/bin/python3", {"-c", script, file.string()});
  if (run.exit_code != 0) return "python failed: " + run.errors;
  return run.output;
}
