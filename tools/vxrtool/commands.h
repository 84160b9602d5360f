// The sub-commands of vxrtool; each takes the arguments after its name and returns the exit
// code.
#pragma once

#include <span>

int RunSign(std::span<char* const> args);
int RunVerify(std::span<char* const> args);
int RunCodeSign(std::span<char* const> args);
int RunCodeVerify(std::span<char* const> args);
int RunVersion(std::span<char* const> args);
int RunVersionSet(std::span<char* const> args);
int RunPattern(std::span<char* const> args);
