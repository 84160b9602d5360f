// The start-up banner and the usage text.
#pragma once

#include "TestKVE/driver_state.h"
#include "testkve_version.h"  // kHarnessMajorVersion, kHarnessMinorVersion, kHarnessBuild

class CommandLine;

/// Prints the seven banner lines unless /NH is given.
void PrintBanner(const CommandLine& line);

/// With /? prints the usage text and ends the run, unless interactive mode is active: then the
/// caller goes on with the line. Without /? prints nothing and the run goes on.
RunFlow PrintUsage(const CommandLine& line, const HarnessState& state);

/// The usage text of the option table.
const char* UsageText();
/// The short block of run-control options that PrintUsage prints after the table.
const char* RunControlUsageText();
