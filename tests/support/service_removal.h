// Tests that create services in the service control manager remove them again, so that a
// later run (or another suite) starts from none.
#pragma once

#include <string>

/// Deletes the service `name` from the service control manager; true when it is gone.
bool RemoveService(const std::string& name);

/// The exit status of the service `name` once the service control manager reports it stopped
/// (a service-specific status, or 0); -1 when it cannot be asked. Waits for the stop.
int WaitForServiceStop(const std::string& name);
