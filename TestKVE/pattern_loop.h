// The pattern loop: /ASSIGN, /EXCEPT and /RESTORE applied over /LOOP repetitions, with /WB
// digits and /RANDOM selection.
#pragma once

#include <cstdint>
#include <vector>

class CommandLine;
class EngineClient;

/// Runs n repetitions (/LOOP, default 1), applying the three pattern handlers in each, or only
/// in the /RANDOM-selected ones; raises PatternLoopCounter after every repetition.
void RunPatternLoop(EngineClient& client, const CommandLine& line);

/// Fills `container` with `count` distinct indexes below `limit`, seeded with the calendar
/// time, sorted ascending. Returns the count (32767 at most).
uint32_t SelectRandomIterations(std::vector<uint32_t>* container, uint32_t count,
                                uint32_t limit);
/// The same with a given seed, for repeatable selections.
uint32_t SelectRandomIterations(std::vector<uint32_t>* container, uint32_t count,
                                uint32_t limit, uint32_t seed);

int AssignPatterns(EngineClient& client, const CommandLine& line);
int ExceptPatterns(EngineClient& client, const CommandLine& line);
int RestorePatterns(EngineClient& client, const CommandLine& line);
