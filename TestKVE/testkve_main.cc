// TestKVE: a console test harness for the virus-damage cleanup engine.
#include <algorithm>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <span>
#include <string>
#include <string_view>

#include "TestKVE/driver.h"
#include "TestKVE/exit_status.h"
#include "TestKVE/process_command_line.h"
#include "TestKVE/usage.h"
#include "platform/environment.h"
#include "platform/standard_streams.h"
#include "platform/text_encoding.h"
#include "vxr_contract.h"

namespace {

// Where the system's narrow calls read text in another code page than UTF-8, an engine built
// on them reads the settings' non-ASCII characters as other ones; the harness itself is not
// affected, as it speaks to the system in UTF-16.
void WarnOfNarrowCodePage(std::string_view line) {
  const unsigned code_page = platform::NarrowCodePageOtherThanUtf8();
  if (code_page == 0 || std::all_of(line.begin(), line.end(), [](char c) { return (c & 0x80) == 0; })) return;
  std::fprintf(stderr,
               "testkve: warning: the system's ANSI code page is %u, not UTF-8: an engine that reads its "
               "settings in that code page, and the system reading a VXR.INI without a byte-order mark, see "
               "other characters than the non-ASCII ones of this run\n",
               code_page);
}

}  // namespace

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
  // On Linux the option scan steps by whole characters of the user's locale.
  std::setlocale(LC_CTYPE, "");
  // What the harness prints is UTF-8, as are the paths in it.
  const platform::Utf8ConsoleOutput utf8_console;
  // A program that drives a cleanup engine answers --help and --version without starting it.
  if (const HelpWord word = FindHelpWord(std::span<const char* const>(argv + 1, static_cast<size_t>(argc - 1)));
      word != HelpWord::kNone) {
    PrintHelpWord(word);
    return ExitStatus({0, 0, output_lost, false});
  }
  ProcessLine line;
  CarryFailure failure;
  if (!ReadProcessLine(argc, argv, &line, &failure)) {
    std::fprintf(stderr, "testkve: argument %d (%s) cannot be passed on as typed: %s\n", failure.index,
                 argv[failure.index], failure.reason.c_str());
    return kExitUnusableArgument;
  }
  WarnOfNarrowCodePage(line.text);
  // The options scanned from the program's own path are the system's; they draw no warning.
  return ExitStatus(RunTestKVE(line.text.c_str(), line.program_length, output_lost));
}
