// What the harness records of a run for /JSON, /JUNIT and /SUMMARY: the run itself and each
// engine run (a pass) in it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "vxr_lib.h"

/// An engine's file, as the run found it.
struct EngineDescription {
  std::string path;
  std::string version;  ///< "%d.%d" of its file version; empty when unreadable
  std::string build;    ///< its SpecialBuild text; empty when none
  std::string sha256;   ///< lower-case hex; empty when the file cannot be read
};

/// The run as a whole, known before its first pass.
struct RunDescription {
  std::string harness_version;  ///< "5.0-1105"
  int64_t start_unix_ms = 0;
  std::string host_name;                                     ///< the machine the harness ran on
  std::string command_line;                                  ///< the one text the options were read from
  std::vector<std::pair<std::string, std::string>> options;  ///< name (upper case) and value
  std::string engine_path;
  std::string engine_version;                 ///< "%d.%d" of its file version; empty when unreadable
  std::string engine_build;                   ///< its SpecialBuild text; empty when none
  std::string engine_sha256;                  ///< lower-case hex; empty when the file cannot be read
  std::optional<EngineDescription> engine_b;  ///< with /AB, side B's engine
};

/// The engine's own output of one run, as /CAPTURE keeps it: the end of each stream.
struct EngineOutput {
  std::string output;         ///< the last bytes of its standard output, at most kKeptOutputBytes
  std::string error;          ///< the same of its standard error
  uint64_t output_bytes = 0;  ///< every byte it wrote to standard output
  uint64_t error_bytes = 0;   ///< every byte it wrote to standard error
};

/// How much of each stream a run keeps: its last 64 KiB.
inline constexpr uint32_t kKeptOutputBytes = 64 * 1024;

/// The result name of a pass whose preparation failed, so that its engine did not run.
inline constexpr char kNotRunResultName[] = "PREPARE_FAILED";

/// One engine run, or one pass whose preparation failed.
struct PassRecord {
  uint32_t number = 0;   ///< 1, 2, ... in the order of the runs; warm-up passes count apart
  bool warm_up = false;  ///< recorded, but left out of every statistic and of /STRICT
  /// Why the engine did not run (the preparation failed: "exit status 1"); empty when it ran.
  /// A pass that did not run has the result name kNotRunResultName and no figures.
  std::string not_run;
  int64_t start_unix_ms = 0;
  std::vector<std::string> pattern_names;  ///< the names applied since the run before
  std::vector<uint32_t> random_seeds;      ///< the seeds of /RANDOM's selections since the run before
  VXRResult result = VXR_LIB_SUCCESS;
  std::string result_name;  ///< as the failure line names it; "VXR_LIB_SUCCESS" for 0
  bool timed_out = false;
  double wall_ms = 0;
  double user_ms = 0;
  double system_ms = 0;
  uint64_t peak_kib = 0;  ///< the engine's peak resident memory
  /// The engine's whole tree was held to end with it, not only its process group.
  bool contained = false;

  bool ran() const { return not_run.empty(); }
  /// The engine did not run, or it ran and did not succeed.
  bool failed() const { return !ran() || result != VXR_LIB_SUCCESS; }
  std::string side;   ///< with /AB, the side that ran: "A" or "B"; else empty
  uint32_t pair = 0;  ///< with /AB, the pair the run belongs to: 1, 2, ...
  /// With /CAPTURE, the engine's output of a failed pass; none for a pass that succeeded, did
  /// not run, or is past the failed passes whose output the run keeps for its pages.
  std::optional<EngineOutput> output;
};

/// "YYYY-MM-DDTHH:MM:SS.mmmZ" in UTC.
std::string IsoTimeUtc(int64_t unix_ms);
