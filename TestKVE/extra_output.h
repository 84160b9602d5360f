// The extra-output and pattern-name mailslots (/DLL, /PL). The mailslots are not built yet:
// these steps already sit at their places in the option handlers and the run loop and do
// nothing until then.
#pragma once

#include "TestKVE/driver_state.h"

class CommandLine;
class EngineClient;

int OpenExtraOutputSlot(EngineClient& client, const CommandLine& line);
int OpenPatternNameSlot(EngineClient& client, const CommandLine& line);
/// /PL, pattern list mode: once it has listed the patterns it ends the run (kEndRun).
RunFlow RunPatternList(EngineClient& client, const CommandLine& line);
void DrainExtraOutput(const CommandLine& line);
