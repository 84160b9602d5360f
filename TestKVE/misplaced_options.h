// Warnings for options that are given where they cannot act, so that none is ignored silently.
#pragma once

class CommandLine;

/// For each option of the process command line that the run would ignore, one line on standard
/// error saying so: /FAILIF outside an /AB run (no /AB, or /AB with /INTERACT or /SERVICE), and
/// /CAPTURE without a record (/JSON, /JUNIT or /REPORT) to keep the engine's output in.
/// Returns how many warnings were written; each counts as a failure for /STRICT.
int WarnAboutMisplacedOptions(const CommandLine& line);

/// Whether the engine's output is to be kept: /CAPTURE with a record that takes it.
bool CapturesEngineOutput(const CommandLine& line);
