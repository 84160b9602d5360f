// The side of a service that the service manager starts: the program's work, run as the
// system runs a service program.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace platform {

/// The work of a service program: it gets its own program path and then the arguments that the
/// service was started with, and returns the exit status.
using ServiceWork = std::function<int(const std::vector<std::string>& arguments)>;

/// What a stop of the service does: called once, on a thread of its own, when the manager asks
/// the running service to stop (Windows' SERVICE_CONTROL_STOP); it makes `work` end soon,
/// and `work`'s exit status is then the service's. Empty: the service takes no stop. On Linux
/// a stop is a signal to the program, and this is never called.
using ServiceStop = std::function<void()>;

/// Runs `work` as the service `name`. On Linux the manager started the program with the start
/// arguments as its own and its output in the service's log: `work` runs with `argv` as it is.
/// On Windows the program reports to the service control manager: its standard output and
/// error are appended to "<name>.log" beside the program (the manager gives a service none),
/// the service reports running while `work` runs with the start arguments (and, with a `stop`,
/// that it takes a stop), and stopped with the exit status when it returns. A program started
/// outside the manager (from a console) runs `work` with its arguments as on Linux. Returns the
/// exit status for main.
int RunServiceProgram(const char* name, int argc, char** argv, const ServiceWork& work, const ServiceStop& stop);

}  // namespace platform
