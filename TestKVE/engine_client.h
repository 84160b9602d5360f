// The driver's traced client of the control library: forwards each call with its own context
// handle, traces it when the debug switch is 1, and always prints the name of a failure.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "TestKVE/exit_status.h"
#include "TestKVE/run_record.h"
#include "vxr_lib.h"

/// The name of a result code, or its "0x%x" form.
std::string ResultCodeName(VXRResult code);
/// The name of a setting ID or execute mode, or its "0x%x" form.
std::string SettingIdName(uint32_t id);

/// One engine run through the client: what it was given and what it cost.
struct EngineRun {
  int64_t start_unix_ms = 0;               ///< calendar time of the engine's start
  std::vector<std::string> pattern_names;  ///< assigned, excepted and restored since the last run
  std::vector<uint32_t> random_seeds;      ///< of the random selections since the last run
  VXRResult result = VXR_LIB_SUCCESS;
  VXRRunUsage usage = {};
  bool warm_up = false;                ///< a warm-up pass: recorded, left out of the statistics and of /STRICT
  std::optional<EngineOutput> output;  ///< with capture on, the end of the engine's output
};

class EngineClient {
 public:
  using RunObserver = std::function<void(const EngineRun& run)>;
  /// Told of every failure the client prints, after its "Error Code:" line.
  using FailureObserver = std::function<void(VXRResult result, bool warm_up)>;

  EngineClient() = default;
  virtual ~EngineClient() = default;
  EngineClient(const EngineClient&) = delete;
  EngineClient& operator=(const EngineClient&) = delete;

  /// Tracing is on only when the switch equals 1.
  void set_debug(int32_t debug) { debug_ = debug; }
  VXR_HANDLE context() const { return context_; }
  /// The time limit of VXRExecute, in seconds; 0 (the default) is none.
  void set_time_limit(uint32_t seconds) { time_limit_s_ = seconds; }
  /// The stop signal that ended the last engine run, as the library reported it; 0 if none.
  int last_run_stop_signal() const { return last_run_stop_signal_; }
  /// Called after every engine run with what it was given and what it cost.
  void set_run_observer(RunObserver observer) { observer_ = std::move(observer); }
  /// Where every failure the client prints, and the stop signal that ended an engine run, are
  /// noted for the exit status; none (null) by default.
  void set_tally(RunTally* tally) { tally_ = tally; }
  /// Called after every "Error Code:" line the client prints.
  void set_failure_observer(FailureObserver observer) { failure_observer_ = std::move(observer); }
  /// The calls and engine runs that follow belong to warm-up passes (`warm_up` true): their
  /// runs are marked so for the observer, and their failures are printed but not noted in the
  /// tally (a stop signal still is).
  void set_warm_up(bool warm_up) { warm_up_ = warm_up; }
  /// Engine runs keep the last kKeptOutputBytes of the engine's output and error for the
  /// observer (`capture` true); the console still gets them as they come.
  void set_capture(bool capture) { capture_ = capture; }

  VXRResult VXRInitLib(const char* folder, const char* exe_name);
  VXRResult VXRInitScanContext();
  VXRResult VXRSetFlagInfo(uint32_t id, uint32_t value);
  VXRResult VXRGetFlagInfo(uint32_t id, uint32_t* flag);
  VXRResult VXRSetValueInfo(uint32_t id, int32_t value);
  VXRResult VXRGetValueInfo(uint32_t id, int32_t* value);
  VXRResult VXRSetStringInfo(uint32_t id, const char* string);
  VXRResult VXRGetStringInfo(uint32_t id, char* buffer, uint32_t* length);
  /// Runs the engine under the client's time limit; traced as VXRExecute.
  VXRResult VXRExecute(uint32_t mode);
  /// Runs the engine under `limit_ms`; `usage` (may be null) receives its cost.
  VXRResult VXRExecuteWithLimit(uint32_t mode, uint32_t limit_ms, VXRRunUsage* usage);
  /// Records the seed of a random selection, for the next engine run's record.
  void NoteRandomSeed(uint32_t seed) { random_seeds_.push_back(seed); }
  /// Closes the context when one is open, then the library; returns VXRQuitLib's result.
  VXRResult Quit();

 private:
  // mingw's printf archetype is Microsoft's, which knows no %j or %z; the streams print the
  // C99 formats (__USE_MINGW_ANSI_STDIO), so they are checked as GNU's.
#ifdef __MINGW32__
  void Trace(const char* format, ...) const __attribute__((format(gnu_printf, 2, 3)));
#else
  void Trace(const char* format, ...) const __attribute__((format(printf, 2, 3)));
#endif
  VXRResult Report(VXRResult result) const;
  EngineRun RunEngine(uint32_t mode, uint32_t limit_ms);
  VXRResult ExecuteCapturing(uint32_t mode, uint32_t limit_ms, EngineRun* run) const;

  int32_t debug_ = 0;
  int last_run_stop_signal_ = 0;
  VXR_HANDLE context_ = nullptr;
  uint32_t time_limit_s_ = 0;
  RunObserver observer_;
  FailureObserver failure_observer_;
  RunTally* tally_ = nullptr;
  bool warm_up_ = false;
  bool capture_ = false;
  std::vector<std::string> pattern_names_;
  std::vector<uint32_t> random_seeds_;
};
