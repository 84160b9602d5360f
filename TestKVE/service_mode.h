// /SERVICE: the harness registers the "TestSrv" service once and starts it, instead of running
// the engine itself.
#pragma once

/// Opens the service database, creates the "TestSrv" service (program TestSrv.exe in the
/// current folder) when it is missing, and starts it with the current folder, "TestKVE.exe" and
/// the process's options without /SERVICE. Prints each step and each failure; never runs the
/// engine. A command line or folder too long for the 259-character copies is refused before
/// anything is created or started. False when the service was not started (a failure for
/// /STRICT).
bool RunServiceMode();
