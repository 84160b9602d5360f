// How tests and demonstrations steer the reference engine: through its environment.
#pragma once

#include <optional>
#include <string>

/// The reference engine's steering, read from VXR_REF_EXIT (exit code, default 0),
/// VXR_REF_SIGNAL (die by this signal number instead of exiting), VXR_REF_SLEEP_MS and
/// VXR_REF_BUSY_MS (sleep, then keep one processor busy, that many milliseconds before
/// anything else) and VXR_REF_FD_REPORT (1: write the open descriptors to fds.txt).
struct Steering {
  int exit_code = 0;
  std::optional<int> signal;
  int sleep_ms = 0;
  int busy_ms = 0;
  bool fd_report = false;
};

/// Reads the steering variables; an unset or empty variable keeps its default. Null with
/// `*error` naming the variable when one does not hold a number of its range.
std::optional<Steering> ReadSteering(std::string* error);

/// Reads the variable `name` into `*number` when it is set and not empty. False, with `*error`
/// naming it, when it is not a whole decimal number from `low` to `high`.
bool ReadSteeringNumber(const char* name, int low, int high, int* number, std::string* error);
