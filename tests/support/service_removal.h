// Tests that create services in the service control manager remove them again, so that a
// later run (or another suite) starts from none.
#pragma once

#include <cstdint>
#include <string>

/// Deletes the service `name` from the service control manager; true when it is gone.
bool RemoveService(const std::string& name);

/// The exit status of the service `name` once the service control manager reports it stopped
/// (a service-specific status, or 0); -1 when it cannot be asked. Waits for the stop.
int WaitForServiceStop(const std::string& name);

/// The event that the service probe's work waits for (tests/service_probe), so that the probe
/// is still running when the manager looks at it after the start: Wine's manager calls a start
/// failed (1053) when the service has already stopped by then. Released by Release(), and at
/// the latest when the object goes, so that no probe is left waiting.
class ServiceProbeRelease {
 public:
  ServiceProbeRelease();
  ~ServiceProbeRelease();
  ServiceProbeRelease(const ServiceProbeRelease&) = delete;
  ServiceProbeRelease& operator=(const ServiceProbeRelease&) = delete;

  /// Whether the event could be made (else the probe does not wait).
  bool made() const { return event_ != 0; }
  /// Lets the probe's work run.
  void Release() const;

 private:
  std::intptr_t event_ = 0;  ///< the event's handle
};
