// The options the harness knows, and the warnings for those of a command line that it does not.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

/// Whether `name` (any case) is an option that the harness or its run control reads.
bool IsKnownOption(std::string_view name);

/// The known option nearest to `name` (upper case, without "/"), when one is close enough to be
/// a slip of the keyboard: at most one edit for names up to four characters, two beyond.
/// Empty when none is.
std::string NearestKnownOption(std::string_view name);

/// One line for each option of `line` that the harness does not know, in order of the line:
/// "/RUNS=3: unknown option; did you mean /RUN?" (the option as typed), or without the
/// question when no known option is near. Options that begin within the first
/// `program_length` bytes (the program's own path) are not looked at.
std::vector<std::string> UnknownOptionWarnings(std::string_view line, size_t program_length);
