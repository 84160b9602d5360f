// The driver's process-wide state. Touched only by the main thread.
#pragma once

#include <cstddef>
#include <cstdint>

/// Paths and names are held in 260-byte fields; longer values are cut.
inline constexpr size_t kPathFieldSize = 260;

extern int32_t DebugTrace;          ///< 1 when /DEBUG was given on the process command line
extern int32_t InteractiveMode;     ///< 1 from the moment interactive mode starts
extern int32_t PatternLoopCounter;  ///< the pattern loop's running count; only grows
extern int32_t WildcardWidth;       ///< the /WB digit width of the current pattern loop
extern char EngineDir[kPathFieldSize];
extern char EngineExeName[kPathFieldSize];

/// Sets the flags, counters and monitor stamps to their start values.
void ResetDriverState();
