// A service program for the tests of the service side: logs its arguments as one line and
// ends with exit status 3 when they are the test's (folder "C:\a folder", "TestKVE.exe",
// options "/NH /RUN=2"), 4 otherwise, so a test sees what it was started with and how it ended.
// Its work waits for the test's release first, when the test has made one.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "platform/service_program.h"

namespace {

// The test releases the work once the manager has answered the start (ServiceProbeRelease in
// tests/support/service_removal.h): a probe that ended before the manager looked would read
// as a failed start under Wine.
void WaitForTheRelease() {
  const HANDLE release = OpenEventA(SYNCHRONIZE, FALSE, "Global\\ServiceProbeRelease");
  if (release == nullptr) return;  // no test waits to release it: nothing to wait for
  WaitForSingleObject(release, INFINITE);
  CloseHandle(release);
}

int Work(const std::vector<std::string>& arguments) {
  WaitForTheRelease();
  std::string line = "probe:";
  for (size_t i = 1; i < arguments.size(); ++i) line += " [" + arguments[i] + "]";
  std::printf("%s\n", line.c_str());
  return line == "probe: [C:\\a folder] [TestKVE.exe] [/NH /RUN=2]" ? 3 : 4;
}

}  // namespace

int main(int argc, char** argv) { return platform::RunServiceProgram("ServiceProbe", argc, argv, Work, {}); }
