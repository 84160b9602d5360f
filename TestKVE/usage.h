// The start-up banner and the usage text.
#pragma once

#include "TestKVE/driver_state.h"

class CommandLine;

/// The harness's own version: 5.0.0.1105.
inline constexpr int kHarnessMajorVersion = 5;
inline constexpr int kHarnessMinorVersion = 0;
inline constexpr const char* kHarnessBuild = "1105";

/// Prints the seven banner lines unless /NH is given.
void PrintBanner(const CommandLine& line);

/// With /? prints the usage text and ends the run, unless interactive mode is active: then the
/// caller goes on with the line. Without /? prints nothing and the run goes on.
RunFlow PrintUsage(const CommandLine& line, const HarnessState& state);

/// The usage text of the option table.
const char* UsageText();
/// The short block of run-control options that PrintUsage prints after the table.
const char* RunControlUsageText();
