// TestKVE: a console test harness for the virus-damage cleanup engine.
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <span>
#include <string>

#include "TestKVE/driver.h"
#include "TestKVE/exit_status.h"
#include "TestKVE/process_command_line.h"
#include "TestKVE/usage.h"
#include "platform/environment.h"
#include "platform/standard_streams.h"
#include "settings_block/engine_environment.h"

int main(int argc, char** argv) {
  // A closed standard stream would be taken by the first file opened, and what is printed
  // would land in it; /dev/null holds the place, for the engine as well. What the harness
  // prints to a closed standard output is lost all the same, and its exit status says so.
  unsigned closed_streams = 0;
  platform::ReserveStandardStreams(&closed_streams);
  const bool output_lost = (closed_streams & 2u) != 0;
  // The slots an engine writes to are named by the run that serves them, never inherited from
  // a run that started this one.
  platform::RemoveEnvironmentValue(kMailslotFolderVariable);
  // The option scan steps by whole characters of the user's locale.
  std::setlocale(LC_CTYPE, "");
  // A program that drives a cleanup engine answers --help and --version without starting it.
  if (const HelpWord word = FindHelpWord(std::span<const char* const>(argv + 1, static_cast<size_t>(argc - 1)));
      word != HelpWord::kNone) {
    PrintHelpWord(word);
    return ExitStatus({0, 0, output_lost, false});
  }
  std::string line;
  CarryFailure failure;
  if (!CarryProcessCommandLine(argc, argv, &line, &failure)) {
    std::fprintf(stderr, "testkve: argument %d (%s) cannot be passed on as typed: %s\n", failure.index,
                 argv[failure.index], failure.reason.c_str());
    return kExitUnusableArgument;
  }
  // The options scanned from the program's own path are the system's; they draw no warning.
  const size_t program_length = argc > 0 ? ProcessCommandLineText(1, argv).size() : 0;
  return ExitStatus(RunTestKVE(line.c_str(), program_length, output_lost));
}
