// TestKVE: a console test harness for the virus-damage cleanup engine.
#include <clocale>
#include <string>

#include "TestKVE/driver.h"
#include "TestKVE/process_command_line.h"
#include "platform/standard_streams.h"

int main(int argc, char** argv) {
  // A closed standard stream would be taken by the first file opened, and what is printed
  // would land in it; /dev/null holds the place, for the engine as well.
  platform::ReserveStandardStreams();
  // The option scan steps by whole characters of the user's locale.
  std::setlocale(LC_CTYPE, "");
  std::string line = ProcessCommandLineText(argc, argv);
  return RunTestKVE(line.c_str());
}
