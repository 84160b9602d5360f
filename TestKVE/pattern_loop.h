// The pattern loop: /ASSIGN, /EXCEPT and /RESTORE applied over /LOOP repetitions, with /WB
// digits and /RANDOM selection.
#pragma once

#include <cstdint>
#include <vector>

#include "TestKVE/driver_state.h"

class CommandLine;
class EngineClient;

/// Runs n repetitions (/LOOP, default 1), applying the three pattern handlers in each, or only
/// in the /RANDOM-selected ones; sets the state's WildcardWidth from /WB and raises its
/// PatternLoopCounter after every repetition.
void RunPatternLoop(EngineClient& client, const CommandLine& line, HarnessState& state);

/// Fills `container` with `count` distinct indexes below `limit`, seeded with the calendar
/// time, sorted ascending. Returns the count (32767 at most).
uint32_t SelectRandomIterations(std::vector<uint32_t>* container, uint32_t count, uint32_t limit);
/// The same with a given seed, for repeatable selections.
uint32_t SelectRandomIterations(std::vector<uint32_t>* container, uint32_t count, uint32_t limit, uint32_t seed);

/// The three pattern handlers; names after the process's first repetition carry the state's
/// PatternLoopCounter in WildcardWidth digits. Each returns 1 when its list was applied.
int AssignPatterns(EngineClient& client, const CommandLine& line, const HarnessState& state);
int ExceptPatterns(EngineClient& client, const CommandLine& line, const HarnessState& state);
int RestorePatterns(EngineClient& client, const CommandLine& line, const HarnessState& state);
