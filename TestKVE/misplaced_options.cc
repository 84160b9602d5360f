#include "TestKVE/misplaced_options.h"

#include <cstdio>
#include <string>

#include "command_text/command_line.h"

namespace {

// "/NAME" or "/NAME=value", as the user typed it.
std::string Typed(const CommandLine& line, const char* name) {
  const std::string value = OptionValue(line, name);
  return "/" + std::string(name) + (value.empty() ? "" : "=" + value);
}

bool HasRecordForOutput(const CommandLine& line) {
  return line.HasOption("JSON") || line.HasOption("JUNIT") || line.HasOption("REPORT");
}

bool RunsAb(const CommandLine& line) {
  return line.HasOption("AB") && !line.HasOption("INTERACT") && !line.HasOption("SERVICE");
}

}  // namespace

bool CapturesEngineOutput(const CommandLine& line) { return line.HasOption("CAPTURE") && HasRecordForOutput(line); }

int WarnAboutMisplacedOptions(const CommandLine& line) {
  int warnings = 0;
  if (line.HasOption("FAILIF") && !RunsAb(line)) {
    std::fprintf(stderr, "testkve: warning: %s gates only an /AB run of the stress passes; ignored\n",
                 Typed(line, "FAILIF").c_str());
    ++warnings;
  }
  if (line.HasOption("CAPTURE") && !HasRecordForOutput(line)) {
    std::fprintf(stderr,
                 "testkve: warning: /CAPTURE keeps the engine's output for /JSON, /JUNIT or /REPORT, and "
                 "none is given; ignored\n");
    ++warnings;
  }
  return warnings;
}
