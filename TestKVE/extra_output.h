// The extra-output and pattern-name mailslots (/DLL, /PL): the harness serves them while the
// engine runs and prints what the engine sent once it has ended.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "TestKVE/driver_state.h"
#include "platform/mailslot.h"

class CommandLine;
class EngineClient;
struct Harness;

/// The two slots of a run, each created by its option handler and read and closed by its
/// reader.
struct RunMailslots {
  platform::MailslotServer extra_output;
  platform::MailslotServer pattern_names;
};

/// /DLL: creates the extra-output slot (a failure prints nothing and keeps a slot already
/// open, so its writers go on; it counts as a failure) and names the extra-output module to the library. 1 when it
/// acted, 0 when the option is absent.
int OpenExtraOutputSlot(EngineClient& client, const CommandLine& line, Harness& harness);

/// /PL: creates the pattern-name slot, printing "Open Mailsoilt2 Fail!!" when that fails, and
/// names the extra-output module to the library. 1 when it acted, 0 when the option is absent.
int OpenPatternNameSlot(EngineClient& client, const CommandLine& line, Harness& harness);

/// /PL, pattern list mode: runs the engine in pattern-list mode, prints the names it sent and
/// ends the run (kEndRun; the caller quits the client). kContinue only when the option is absent,
/// kStopped when a stop signal ended the engine run.
RunFlow RunPatternList(EngineClient& client, const CommandLine& line, RunMailslots& slots);

/// /DLL: prints every message that waits in the extra-output slot unchanged, then closes it.
void DrainExtraOutput(const CommandLine& line, RunMailslots& slots);

/// Receives the count of messages waiting before this one was read, and the message.
using MailslotPrinter = std::function<void(uint32_t count, const std::string& message)>;

/// The reading loop of both readers: hands every message that has arrived in `slot` to `print`
/// in arrival order, whole whatever its length, and closes the slot, also when nothing came or
/// the slot could not be read.
void ReadMailslot(platform::MailslotServer& slot, const MailslotPrinter& print);
