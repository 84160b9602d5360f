// The start-up banner and the usage text.
#pragma once

#include <span>

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

/// The words that a user of any command-line program tries first.
enum class HelpWord { kNone, kHelp, kVersion };

/// The first of "--help", "-h", "--version" and "-V" among `arguments` (argv without the
/// program), each only as a whole argument; kNone when there is none.
HelpWord FindHelpWord(std::span<const char* const> arguments);

/// Prints what `word` asks for on standard output: the usage text as /? prints it for kHelp,
/// the banner's version line for kVersion.
void PrintHelpWord(HelpWord word);
