// The options that /SERVICE hands to the service, and how the service program splits them
// back into the harness's arguments.
#pragma once

#include <string>
#include <string_view>
#include <vector>

/// The third start argument made from the process command line `command`, and whether the
/// program name ended at a double quote. The program name is cut off (up to a double quote at
/// index 2 or later within its first `program_length` bytes, which the program name takes in
/// the text; else from "TESTKVE" up to the blank of the next " /", everything when there is
/// none; else kept), then every option that the harness reads as SERVICE is removed
/// with its value. Searches ignore ASCII case; the text keeps the case it was given, so file
/// names survive on a case-sensitive file system.
struct ServiceArguments {
  std::string options;
  bool program_quoted = false;
};
/// A quote after the program name is one the harness put around an option value when it
/// rebuilt the text, never the end of a quoted program path.
ServiceArguments RewriteServiceArguments(std::string_view command, size_t program_length = std::string_view::npos);

/// `options` split into argv elements, one per option in the harness's own scan, each value
/// without its quotes: run with them, the harness sees exactly the options of `options`.
/// Words that are no option are dropped; they have no effect on the harness.
std::vector<std::string> ServiceOptionWords(std::string_view options);
