#include "platform/service_program.h"

namespace platform {

// The manager started this program detached, with the start arguments and the log in place.
int RunServiceProgram(const char*, int argc, char** argv, const ServiceWork& work, const ServiceStop&) {
  return work(std::vector<std::string>(argv, argv + argc));
}

}  // namespace platform
