// One run of the harness: everything the run holds, in one object that RunTestKVE makes and
// hands down to every step that needs more than the option line.
#pragma once

#include <memory>

#include "TestKVE/driver_state.h"
#include "TestKVE/exit_status.h"
#include "TestKVE/extra_output.h"
#include "TestKVE/run_recorder.h"
#include "perf_monitor/perf_mon.h"

struct Harness {
  /// `output_lost`: standard output was closed when the harness started.
  explicit Harness(bool output_lost = false) : tally(output_lost) {}
  Harness(const Harness&) = delete;
  Harness& operator=(const Harness&) = delete;

  HarnessState state;
  RunTally tally;             ///< what the exit status is made of
  RunRecords records{tally};  ///< /JSON, /JUNIT, /SUMMARY, /REPORT, /MARKDOWN
  RunMailslots slots;         ///< the slots of /DLL and /PL
  /// The monitor of /PERFMON (null without it). Declared last, so it is the first to go: it
  /// waits for a report it was told to write, on every way the run ends.
  std::unique_ptr<PerfMonitor> monitor;
};
