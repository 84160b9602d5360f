// Where the programs and the engine folder of this build are, found from the running test
// program's own place (tests and programs share build*/bin/), so that the same test binary
// finds them on Linux, under Wine and on a Windows machine it was copied to with its tree.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

/// The folder that holds this build's programs: the running program's own folder.
std::filesystem::path BuildBinDir();

/// The build's engine folder: `engine/` beside `bin/`.
std::filesystem::path BuildEngineDir();

/// The file name of the program `name` on this system (".exe" added on Windows).
std::string ExecutableName(std::string_view name);

/// The path of a program of this build: `build*/bin/<name>`.
std::string BuiltProgram(std::string_view name);
