#include "TestKVE/extra_output.h"

int OpenExtraOutputSlot(EngineClient&, const CommandLine&) { return 0; }
int OpenPatternNameSlot(EngineClient&, const CommandLine&) { return 0; }
RunFlow RunPatternList(EngineClient&, const CommandLine&) { return RunFlow::kContinue; }
void DrainExtraOutput(const CommandLine&) {}
