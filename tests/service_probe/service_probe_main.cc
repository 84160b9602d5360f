// A service program for the tests of the service side: logs its arguments as one line and
// ends with exit status 3 when they are the test's (folder "C:\a folder", "TestKVE.exe",
// options "/NH /RUN=2"), 4 otherwise, so a test sees what it was started with and how it ended.
#include <cstdio>
#include <string>
#include <vector>

#include "platform/service_program.h"

namespace {

int Work(const std::vector<std::string>& arguments) {
  std::string line = "probe:";
  for (size_t i = 1; i < arguments.size(); ++i) line += " [" + arguments[i] + "]";
  std::printf("%s\n", line.c_str());
  return line == "probe: [C:\\a folder] [TestKVE.exe] [/NH /RUN=2]" ? 3 : 4;
}

}  // namespace

int main(int argc, char** argv) { return platform::RunServiceProgram("ServiceProbe", argc, argv, Work); }
