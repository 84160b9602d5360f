// The sub-commands of vxrtool; each takes the arguments after its name and returns the exit
// code.
#pragma once

#include <span>
#include <string>
#include <string_view>

int RunSign(std::span<char* const> args);
/// The signature trailer of `content` with the key in the PEM file `key_path`, as "sign" makes
/// it; `name` names the file in a message. kExitSuccess, or the exit code after the message.
int SignContent(const std::string& key_path, std::string_view content, const std::string& name, std::string* trailer);
int RunVerify(std::span<char* const> args);
int RunCodeSign(std::span<char* const> args);
int RunCodeVerify(std::span<char* const> args);
int RunVersion(std::span<char* const> args);
int RunVersionSet(std::span<char* const> args);
int RunPattern(std::span<char* const> args);
