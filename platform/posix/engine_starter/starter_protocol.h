// What a process and its engine starter say to each other. The starter is a small static
// program that a process runs once, the first time it starts a program from an open file, and
// keeps for every later start: it starts each program as its own child, a child subreaper
// under which the program's whole tree stays, and ends that tree when the program ends, when
// the process asks, and when the process dies. Its own size never enters the program's figures.
//
// They talk over a SOCK_SEQPACKET pair, one whole message per send; the starter serves one
// program at a time.
#pragma once

#include <cstdint>

namespace platform::posix::starter {

// Its name in `ps -e` too: the kernel keeps 15 characters of a process's own name.
inline constexpr char kStarterName[] = "testkve-starter";

// The starter's end of the pair, given to it as this descriptor number.
inline constexpr int kChannelFd = 3;

// The largest message: a start with its argument and environment strings.
inline constexpr uint32_t kMaxMessage = 256 * 1024;

enum class Kind : uint32_t {
  kStart = 1,    // process -> starter: a Start, its strings, and descriptors (see below)
  kForward = 2,  // process -> starter: hand this signal (and SIGCONT) to the program and its group
  kEndTree = 3,  // process -> starter: kill the program and its group now, then the rest of its tree
  kStarted = 4,  // starter -> process: a Started
  kEnded = 5,    // starter -> process: an Ended, once the program's whole tree is gone
};

// Followed by `argc` then `envc` NUL-terminated strings. Sent with the descriptors of the
// program (open, to be run by descriptor), of the current folder, and of those standard
// streams (0 to 2) whose bit in `inherited_streams` is set; the others are /dev/null.
struct Start {
  Kind kind = Kind::kStart;
  uint32_t detached = 0;  // 1: a new session; else a process group of its own
  uint32_t inherited_streams = 0;
  uint32_t argc = 0;
  uint32_t envc = 0;
  int32_t cpu = -1;  // the processor the caller runs on, where the start is quickest; -1: any
};

struct Forward {
  Kind kind = Kind::kForward;
  int32_t signal = 0;
};

struct EndTree {
  Kind kind = Kind::kEndTree;
};

// error 0 and the program's process ID (which leads its own group or session), sent with a
// process descriptor of the program where the system has them; or the errno of the step that
// failed.
struct Started {
  Kind kind = Kind::kStarted;
  int32_t error = 0;
  int32_t pid = 0;
};

// The program's wait status and its own resource usage, with what it waited for.
struct Ended {
  Kind kind = Kind::kEnded;
  int32_t status = 0;
  // SIGTTIN or SIGTTOU when the terminal stopped the program (it read or set the terminal
  // from the background) and the starter then ended it; else 0.
  int32_t terminal_stop = 0;
  uint64_t user_us = 0;
  uint64_t system_us = 0;
  uint64_t peak_rss_kib = 0;
};

}  // namespace platform::posix::starter
