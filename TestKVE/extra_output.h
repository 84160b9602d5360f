// The extra-output and pattern-name mailslots (/DLL, /PL). The mailslots are not built yet:
// these steps already sit at their places in the option handlers and the run loop and do
// nothing until then.
#pragma once

class CommandLine;
class EngineClient;

int OpenExtraOutputSlot(EngineClient& client, const CommandLine& line);
int OpenPatternNameSlot(EngineClient& client, const CommandLine& line);
int RunPatternList(EngineClient& client, const CommandLine& line);
void DrainExtraOutput(const CommandLine& line);
