// What the harness and the engine starter agree on. The starter is a small static program that
// the harness runs between itself and the engine: a child subreaper that ends the engine's
// whole tree with the engine's run or with the harness, and that measures the engine alone.
#pragma once

#include <signal.h>

#include <cstdint>

namespace platform::posix::starter {

// The starter's command line: its own name, the console mode, then the engine's argv.
inline constexpr char kStarterName[] = "testkve-engine-starter";
inline constexpr char kSharedMode[] = "shared";
inline constexpr char kDetachedMode[] = "detached";
inline constexpr int kFirstEngineArgument = 2;

// Descriptors the starter is given: the engine's open program file and the report pipe, both
// close-on-exec in the starter, so the engine keeps neither.
inline constexpr int kProgramFd = 3;
inline constexpr int kReportFd = 4;

// Sent to the starter by the kernel when the harness dies (its parent-death signal), or by the
// harness when a stop or a time limit has given the engine its grace: the starter then kills
// every process of the engine's tree, reaps them and ends.
inline constexpr int kEndTreeSignal = SIGUSR1;

// Written once the engine's exec has happened, or failed: error 0 and the engine's process ID
// (which leads the engine's process group), or the errno of the step that failed.
struct StartReport {
  int32_t error = 0;
  int32_t engine_pid = 0;
};

// Written after the engine has ended and its tree is gone, just before the starter ends the way
// the engine ended: the engine's own resource usage, with what it waited for.
struct UsageReport {
  uint64_t user_us = 0;
  uint64_t system_us = 0;
  uint64_t peak_rss_kib = 0;
};

}  // namespace platform::posix::starter
