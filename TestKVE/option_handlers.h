// Turns the options of one line into settings of the open scan context.
#pragma once

#include "TestKVE/driver_state.h"

class CommandLine;
class EngineClient;
struct Harness;

/// Runs the option handlers in their fixed order; each acts only when its option is present.
/// A handler that ends the run (/PL, and /VER outside interactive mode) is the last to act:
/// kEndRun, and the caller quits the client (kStopped: a stop signal ended /PL's engine run).
RunFlow ApplyOptions(EngineClient& client, const CommandLine& line, Harness& harness);

/// /VER: prints the engine and pattern versions; outside interactive mode it then ends the run
/// (kEndRun). Without /VER it does nothing.
RunFlow ShowVersions(EngineClient& client, const CommandLine& line, const HarnessState& state);
