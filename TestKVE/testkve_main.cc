// TestKVE: a console test harness for the virus-damage cleanup engine.
#include <clocale>
#include <cstdio>
#include <string>

#include "TestKVE/driver.h"
#include "TestKVE/exit_status.h"
#include "TestKVE/process_command_line.h"

int main(int argc, char** argv) {
  // The option scan steps by whole characters of the user's locale.
  std::setlocale(LC_CTYPE, "");
  std::string line;
  CarryFailure failure;
  if (!CarryProcessCommandLine(argc, argv, &line, &failure)) {
    std::fprintf(stderr, "testkve: argument %d (%s) cannot be passed on as typed: %s\n",
                 failure.index, argv[failure.index], failure.reason.c_str());
    return kExitUnusableArgument;
  }
  return ExitStatus(RunTestKVE(line.c_str()));
}
