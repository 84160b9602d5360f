// Run control for the whole run, from the options of the process command line:
// /TIMEOUT bounds every engine run, /JSON and /JUNIT record the runs, /SUMMARY prints their
// summary, /REPORT and /MARKDOWN write pages about them, /STRICT makes the exit status tell
// whether everything succeeded, /AB compares its two sides at the end and /FAILIF gates on it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "TestKVE/ab_comparison.h"
#include "TestKVE/driver_state.h"
#include "TestKVE/exit_status.h"
#include "TestKVE/run_record.h"
#include "platform/file_stream.h"

class CommandLine;
class EngineClient;
class PerfMonitor;
struct EngineRun;

/// The run's records, owned by the run; failures to write them are noted in the run's tally.
class RunRecords {
 public:
  explicit RunRecords(RunTally& tally) : tally_(tally) {}
  RunRecords(const RunRecords&) = delete;
  RunRecords& operator=(const RunRecords&) = delete;

  /// Reads the run-control options of the process command line `line` (read from `text`).
  /// With /JSON, opens its file and writes the run's first line; a file that cannot be opened
  /// is named on standard error and the run goes on without it.
  void Start(const CommandLine& line, const char* text, const HarnessState& state);

  /// Gives `client` the time limit of /TIMEOUT and has every engine run it makes recorded;
  /// under /SUMMARY each "Error Code:" line it prints gets a neighbour on standard error that
  /// names the pass ("Pass 7: VXR_LIB_WAIT_FAIL").
  /// With /AB: the side ('A' or 'B') and the pair (1, 2, ...) of the engine runs from now on.
  void SetSide(char side, uint32_t pair);

  /// Gives `client` the time limit of /TIMEOUT and has every engine run it makes recorded.
  void Attach(EngineClient& client);

  /// Records a pass (a warm-up pass with `warm_up`) whose engine did not run because its
  /// preparation failed, `why` ("exit status 1").
  void RecordNotRun(bool warm_up, const std::string& why);

  /// Ends the records (the summary line of /JSON, the report of /JUNIT, the summary of
  /// /SUMMARY, the pages of /REPORT and /MARKDOWN, with the picture of `monitor` when it has
  /// samples), marked as interrupted when a stop signal ended the run, and returns how the run
  /// ends for the exit status. Called once, where the run ends. A record that cannot be
  /// opened or written is named on standard error and counts as a failure.
  RunEnd Finish(bool interrupted, const PerfMonitor* monitor);

 private:
  void Record(const EngineRun& run);
  void Keep(PassRecord pass);
  void TellPassOfFailure(VXRResult result, bool warm_up) const;
  void WriteJsonLine(const std::string& line);
  void NoteWriteFailure(int write_errno);
  void OpenJson();
  void WritePage(const std::string& path, const std::string& page);
  void WriteJUnit(bool interrupted);
  void WriteReportPages(const PerfMonitor* monitor, int exit_status);

  RunTally& tally_;
  uint32_t time_limit_s_ = 0;
  bool strict_ = false;
  bool summary_ = false;
  bool keep_passes_ = false;  // something needs every pass at the end
  bool capture_ = false;      // /CAPTURE: failed passes keep the engine's output
  size_t outputs_kept_ = 0;   // the failed passes that keep it in memory, for the pages
  std::string json_path_;
  std::string junit_path_;
  std::string report_path_;    // /REPORT: the HTML page
  std::string markdown_path_;  // /MARKDOWN
  std::string engine_name_;
  UniqueStream json_;
  int64_t json_length_ = 0;   // the bytes of whole lines written
  bool json_failed_ = false;  // told once on standard error
  RunDescription run_;
  std::vector<PassRecord> passes_;
  std::vector<PassRecord> warm_ups_;
  uint32_t runs_ = 0;
  uint32_t warm_up_runs_ = 0;
  AbOptions ab_;  // with /AB, the comparison of its sides ends the records
  std::string side_;
  uint32_t pair_ = 0;
};
