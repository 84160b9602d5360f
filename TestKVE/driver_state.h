// The driver's state, in one object that the driver creates at start-up and passes on, and the
// answer of a step that may end the run.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "vxr_contract.h"  // kPathFieldSize: the driver's paths and names are cut to fit it

/// The driver's fields, under their own names, at their start values. One object lives for the
/// whole run, in the run's Harness; every step that reads or changes a field is handed it.
/// Touched only by the main thread; the fields the monitor's thread shares are the monitor's
/// own (perf_monitor/monitor_state.h).
struct HarnessState {
  int32_t DebugTrace = 0;                  ///< 1 when /DEBUG was given on the process command line
  int32_t InteractiveMode = 0;             ///< 1 from the moment interactive mode starts
  int32_t PatternLoopCounter = 0;          ///< the pattern loop's running count; wraps as 32 bits do
  int32_t WildcardWidth = 0;               ///< the /WB digit width of the current pattern loop
  std::optional<uint32_t> RandomSeedBase;  ///< /SEED=n: random selection k seeds with n + k
  uint32_t RandomSelections = 0;           ///< the random selections made so far
  bool MissingEngineTold = false;          ///< a missing engine file has been named once
  char EngineDir[kPathFieldSize] = "";
  char EngineExeName[kPathFieldSize] = "";
  std::string AbEngineDir;  ///< /AB: the engine folder of side B; empty in a run of one engine
};

/// What a step that may end the run tells its caller; on anything but kContinue each caller
/// returns at once.
enum class [[nodiscard]] RunFlow{
    kContinue,
    kEndRun,   ///< the step has printed its last line; the owner of the client quits it
    kStopped,  ///< a stop signal ended an engine run: nothing more happens, not even the quit
};
