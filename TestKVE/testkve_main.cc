// TestKVE: a console test harness for the virus-damage cleanup engine.
#include <clocale>
#include <string>

#include "TestKVE/driver.h"
#include "TestKVE/process_command_line.h"

int main(int argc, char** argv) {
  // The option scan steps by whole characters of the user's locale.
  std::setlocale(LC_CTYPE, "");
  std::string line = ProcessCommandLineText(argc, argv);
  RunTestKVE(line.c_str());
  // Every way the run can end is a normal end.
  return 0;
}
