// Runs a program as a real process in a folder of its choice, feeding its standard input and
// capturing both output streams and how it ended.
#pragma once

#include <filesystem>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "support/build_paths.h"  // BuiltProgram, for the callers

struct ProgramRun {
  int exit_code = -1;  ///< the exit status, or -1 when the program did not exit normally
  int signal = 0;      ///< the signal that ended it, if one did
  std::string output;  ///< standard output
  std::string errors;  ///< standard error
};

// The defaults let callers name only the options they set: {.folder = ...}.
struct ProgramOptions {
  /// Its current folder; empty for the caller's.
  std::filesystem::path folder = {};
  /// Its whole standard input.
  std::string input = {};
  /// Added to the caller's environment.
  std::map<std::string, std::string> environment = {};
};

/// Runs the program at the path `program` with `args`, each passed as it is, waits for it and
/// returns what it wrote and how it ended. A program that cannot be started, or a folder that
/// cannot be entered, ends it with exit code 126 or 127 and the reason on standard error.
/// Throws std::runtime_error only when no process can be started at all.
ProgramRun RunProgram(const std::string& program, const std::vector<std::string>& args,
                      const ProgramOptions& options = {});
