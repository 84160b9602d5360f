// Shared pieces of the vxrtool and integrity tests: runs of the built vxrtool and of shell commands, and
// executables to work on.
#pragma once

#include <string>
#include <vector>

#include "support/dev_signature.h"
#include "support/program_runner.h"
#include "support/temp_folder.h"

/// Runs the built vxrtool.
ProgramRun RunVxrtool(const std::vector<std::string>& args);
/// Runs a command line through /bin/sh; true when it exits with 0.
bool RunShell(const std::string& command);

/// An ELF executable to work on: a copy of /bin/true named `name` in `folder`.
std::string CopyOfTrue(const TempFolder& folder, const std::string& name);
