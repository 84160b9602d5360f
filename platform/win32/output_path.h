// The file an output path stands for, for the Windows writers of whole files and appends.
#pragma once

#include <string>

#include "platform/whole_file.h"

/// The file that `path` stands for under `rule`: `path` itself when it is no symbolic link (or
/// does not exist), else the target its links lead to. False with the reason in `error` when a
/// link is refused or the links cannot be read.
bool ResolveOutputPath(const std::string& path, LinkRule rule, std::string* resolved, platform::Error* error);
