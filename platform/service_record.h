// The text of a service record, as the Linux service manager keeps one per registered service:
// a format of ours, with no system call in it, so that every build tests it.
#pragma once

#include <string>

#include "platform/service_manager.h"

namespace platform {

/// The record text of `parameters`; `ParseServiceRecord` reads it back.
std::string FormatServiceRecord(const ServiceParameters& parameters);

/// Reads a record: every line and field is checked, as is the checksum over the whole text.
/// False for anything else, and then `parameters` is left as it was.
bool ParseServiceRecord(const std::string& text, ServiceParameters* parameters);

}  // namespace platform
