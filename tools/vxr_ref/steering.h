// How tests and demonstrations steer the reference engine: through its environment.
#pragma once

#include <optional>
#include <string>
#include <vector>

/// The reference engine's steering, read from VXR_REF_EXIT (exit code, default 0),
/// VXR_REF_SIGNAL (die by this signal number instead of exiting), VXR_REF_SLEEP_MS and
/// VXR_REF_BUSY_MS (sleep, then keep one processor busy, that many milliseconds before
/// anything else), VXR_REF_FD_REPORT (1: write the open descriptors to fds.txt and the open
/// standard streams to streams.txt), VXR_REF_HOLD_MS (keep the report folder locked that long
/// after writing the reports), VXR_REF_START_LOG (a file to which every start appends a line:
/// the engine's process ID and the size of its own executable) and VXR_REF_PLAN (a file of
/// lines "exit N", "signal N" or "sleep MS"; each start takes and removes the first line,
/// which then replaces VXR_REF_EXIT, VXR_REF_SIGNAL or VXR_REF_SLEEP_MS for that start).
/// Run control: VXR_REF_IGNORE_TERM (1: SIGTERM is ignored from the start), VXR_REF_LEAK_KB
/// (run n of a report folder allocates and touches n times that many KiB) and VXR_REF_EXITS
/// (a comma list of exit codes: run n of a report folder exits with item n, counted round,
/// in place of VXR_REF_EXIT). VXR_REF_HOLD_FILE (keep the report folder locked after writing,
/// and after VXR_REF_HOLD_MS, for as long as this file exists: a hold that a test releases by
/// removing the file). VXR_REF_HELPER (a file): the engine first starts a helper and leaves it
/// (on Linux in a session of its own, outside its process group; on Windows in the engine's
/// job), that writes its process ID to the file and then sleeps five minutes; it stands for a
/// helper that a real engine leaves running.
/// VXR_REF_PEAK_FILE (a file): the engine's last step writes its own peak resident memory
/// there, in KiB, as the kernel shows it to the engine itself.
/// Hostile steps, for the harness's hold on the engine's tree (Linux): VXR_REF_JOIN_PARENT_GROUP
/// (1: first move into the process group of the engine's parent, the harness's starter),
/// VXR_REF_PARENT_SIGNAL (after the helper is started, send this signal to the parent, e.g. 9
/// to kill the starter or 19 to stop it) and VXR_REF_READ_INPUT (1: then read a line of
/// standard input, which stops an engine in the background of a terminal).
/// VXR_REF_CLEAN_FILE (a file): the engine cleans it as a cleanup engine cleans an infected
/// file: it appends the file's first line as it found it ("(missing)" when there was none) to
/// cleaned.txt in its report folder, then replaces the file's content with "cleaned".
/// VXR_REF_SAY (a text): the engine prints it on standard output, and "<text> on stderr" on
/// standard error, before it ends. VXR_REF_SAY_LINES (n above 1) prints n such lines on each,
/// each led by its number and a blank ("7 <text>"), so a reader can tell which part it kept.
/// A fixed amount of work, whatever the load: VXR_REF_CPU_MS (compute until the engine has
/// used that much processor time, not wall time) and VXR_REF_MEMORY_KB (allocate and touch
/// that many KiB and keep them to the end).
/// Every variable may also be set for the engines of one folder only: a line NAME=VALUE in the
/// file vxr_ref_steering.txt beside the engine takes the place of the environment's value, so
/// that the two sides of an /AB run can differ.
inline constexpr char kFolderSteeringFile[] = "vxr_ref_steering.txt";

struct Steering {
  int exit_code = 0;
  std::optional<int> signal;
  int sleep_ms = 0;
  int busy_ms = 0;
  bool fd_report = false;
  bool ignore_term = false;
  bool join_parent_group = false;
  int parent_signal = 0;
  bool read_input = false;
  int leak_kb = 0;
  std::vector<int> exit_codes;  ///< empty: VXR_REF_EXIT for every run
  int hold_ms = 0;
  int cpu_ms = 0;
  int memory_kb = 0;
  std::string hold_file;
  std::string start_log;
  std::string plan;
  std::string helper_pid_file;
  std::string peak_file;
  std::string clean_file;
  std::string say;
  int say_lines = 1;

  /// Whether the run needs its number from the report folder.
  bool counts_runs() const { return leak_kb > 0 || !exit_codes.empty(); }
};

/// Reads the steering variables; an unset or empty variable keeps its default. Null with
/// `*error` naming the variable when one does not hold a number of its range.
std::optional<Steering> ReadSteering(std::string* error);

/// Reads the variable `name` into `*number` when it is set and not empty. False, with `*error`
/// naming it, when it is not a whole decimal number from `low` to `high`.
bool ReadSteeringNumber(const char* name, int low, int high, int* number, std::string* error);

/// Takes the first line of the plan file (when there is one) into `steering` and removes it
/// from the file. False with `*error` set when the line is not a step of the plan.
bool TakePlannedStep(Steering* steering, std::string* error);
