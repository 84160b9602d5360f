// The one place that turns how the harness ended into its exit status: 0 on every normal end, as
// the system has it; with /STRICT whether everything the run did succeeded, so that a CI step
// fails by itself; 1 when the harness's own output was lost; 128 + the signal when a stop
// signal ended it. Only main ends the process, with ExitStatus.
#pragma once

#include <cstdint>

/// An argument could not be carried into the command line text; nothing ran.
inline constexpr int kExitUnusableArgument = 2;
/// An option the harness does not know, under /STRICT; nothing ran.
inline constexpr int kExitUnknownOption = 2;
/// The harness's own output could not be written.
inline constexpr int kExitOutputLost = 1;

/// How a run of the harness ended, for its exit status.
struct RunEnd {
  int status = 0;             ///< the run's own verdict (RunTally::HarnessExitStatus), or 0
  int stop_signal = 0;        ///< the stop signal that ended an engine run, or 0
  bool output_lost = false;   ///< standard output was closed when the harness started
  bool records_lost = false;  ///< a record was lost to a closed pipe or the file-size limit
};

/// What one run notes for its exit status, owned by the run.
class RunTally {
 public:
  /// Standard output was closed when the harness started: whatever it prints is lost, and
  /// ExitStatus says so.
  explicit RunTally(bool output_lost = false) : output_lost_(output_lost) {}

  /// Called for every failure that /STRICT counts: a failure the client printed ("Error Code:
  /// ..."), and every other one that a message on standard error has told (a run record that
  /// could not be opened or written, a number option that does not read as typed, a mailslot
  /// that could not be made, a service that could not be started).
  void NoteFailure(uint64_t count = 1) { failures_ += count; }

  /// Called when a stop signal (`signal`) ended an engine run: the run goes no further, and the
  /// harness ends with 128 + `signal`. The first one noted counts.
  void NoteStop(int signal) {
    if (stop_signal_ == 0) stop_signal_ = signal;
  }

  /// Called when a record could not be written because its reader is gone or the file-size
  /// limit was reached (the record's message has said so): the harness ends with
  /// kExitOutputLost.
  void NoteOutputLost() { records_lost_ = true; }

  /// The stop signal noted, or 0.
  int stop_signal() const { return stop_signal_; }
  /// How many failures have been noted so far.
  uint64_t failures() const { return failures_; }

  /// The run's own verdict: with `strict` (/STRICT), 1 when any failure was noted; otherwise 0.
  int HarnessExitStatus(bool strict) const { return strict && failures_ != 0 ? 1 : 0; }

  /// How the run ends with `status` as its verdict.
  RunEnd End(int status) const { return {status, stop_signal_, output_lost_, records_lost_}; }

 private:
  uint64_t failures_ = 0;
  int stop_signal_ = 0;
  bool output_lost_ = false;
  bool records_lost_ = false;
};

/// The exit status for a harness whose run ended as `end` says: flushes the output; 128 + the
/// stop signal when one ended the run; else, when standard output was closed or any of the
/// harness's writes to it failed, one message on standard error and kExitOutputLost; else
/// kExitOutputLost when a record was lost (its own message has told it); else the run's status.
int ExitStatus(const RunEnd& end);

/// The exit status that ExitStatus(`end`) will return, for records written before the end;
/// flushes standard output to know, and prints nothing.
int FinalExitStatus(const RunEnd& end);
