// The start-up banner and the usage text.
#pragma once

class CommandLine;

/// The harness's own version: 5.0.0.1105.
inline constexpr int kHarnessMajorVersion = 5;
inline constexpr int kHarnessMinorVersion = 0;
inline constexpr const char* kHarnessBuild = "1105";

/// Prints the seven banner lines unless /NH is given.
void PrintBanner(const CommandLine& line);

/// With /? prints the usage text; then ends the process with exit code 0 unless interactive
/// mode is active, in which case it returns and the caller goes on with the line.
void PrintUsage(const CommandLine& line);

/// The usage text of the option table.
const char* UsageText();
/// The short block of run-control options that PrintUsage prints after the table.
const char* RunControlUsageText();
