// The name of the machine the harness runs on, for reports read elsewhere.
#pragma once

#include <string>

namespace platform {

/// The host name as the system reports it; "localhost" when it cannot be read.
std::string HostName();

}  // namespace platform
