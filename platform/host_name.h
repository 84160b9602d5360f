// The name of the machine the harness runs on, for the records of a run.
#pragma once

#include <string>

namespace platform {

/// The machine's host name; "localhost" when the system cannot tell it.
std::string HostName();

}  // namespace platform
