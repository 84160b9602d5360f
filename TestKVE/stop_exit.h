// The harness's one exit for a stop signal (SIGINT, SIGTERM, SIGHUP) that arrived while an
// engine ran: the engine has been ended and reaped by then (platform/stop_signals.h).
#pragma once

/// When a stop signal arrived during the last engine run, flushes the harness's output and
/// exits with 128 + the signal number, as a shell reports a process that the signal ended.
/// Returns otherwise.
void ExitIfStopSignalled();
