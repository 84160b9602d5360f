#include "TestKVE/extra_output.h"

int OpenExtraOutputSlot(EngineClient&, const CommandLine&) { return 0; }
int OpenPatternNameSlot(EngineClient&, const CommandLine&) { return 0; }
int RunPatternList(EngineClient&, const CommandLine&) { return 0; }
void DrainExtraOutput(const CommandLine&) {}
