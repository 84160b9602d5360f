// Turns the options of one line into settings of the open scan context.
#pragma once

class CommandLine;
class EngineClient;

/// Runs the option handlers in their fixed order; each acts only when its option is present.
void ApplyOptions(EngineClient& client, const CommandLine& line);

/// /VER: prints the engine and pattern versions; outside interactive mode it then quits the
/// client and ends the process with exit code 0.
int ShowVersions(EngineClient& client, const CommandLine& line);
