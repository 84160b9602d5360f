// How tests and demonstrations steer the reference engine: through its environment.
#pragma once

#include <optional>
#include <string>

/// The reference engine's steering, read from VXR_REF_EXIT (exit code, default 0),
/// VXR_REF_SIGNAL (die by this signal number instead of exiting), VXR_REF_SLEEP_MS and
/// VXR_REF_BUSY_MS (sleep, then keep one processor busy, that many milliseconds before
/// anything else), VXR_REF_FD_REPORT (1: write the open descriptors to fds.txt and the open
/// standard streams to streams.txt), VXR_REF_HOLD_MS (keep the report folder locked that long
/// after writing the reports), VXR_REF_START_LOG (a file to which every start appends a line:
/// the engine's process ID and the size of its own executable) and VXR_REF_PLAN (a file of
/// lines "exit N", "signal N" or "sleep MS"; each start takes and removes the first line,
/// which then replaces VXR_REF_EXIT, VXR_REF_SIGNAL or VXR_REF_SLEEP_MS for that start).
struct Steering {
  int exit_code = 0;
  std::optional<int> signal;
  int sleep_ms = 0;
  int busy_ms = 0;
  bool fd_report = false;
  int hold_ms = 0;
  std::string start_log;
  std::string plan;
};

/// Reads the steering variables; an unset or empty variable keeps its default. Null with
/// `*error` naming the variable when one does not hold a number of its range.
std::optional<Steering> ReadSteering(std::string* error);

/// Takes the first line of the plan file (when there is one) into `steering` and removes it
/// from the file. False with `*error` set when the line is not a step of the plan.
bool TakePlannedStep(Steering* steering, std::string* error);
