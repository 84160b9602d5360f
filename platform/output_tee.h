// A child's standard output and error through pipes that this process reads as they fill: each
// piece goes on to this process's own standard output or error (a tee, so a console shows what
// it showed before) and to a sink of the caller's.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string_view>

namespace platform {

/// The two streams of a child that a tee reads.
enum class OutputStream { kOutput, kError };

/// The ends of a tee's pipes that a child writes to, as the system's handle values (a file
/// descriptor on Linux, a HANDLE on Windows), owned by the tee.
struct ChildOutputs {
  std::intptr_t output = -1;
  std::intptr_t error = -1;
};

/// Pipes for one child's output and error, and the thread that reads them. Memory stays
/// bounded whatever the child writes: each piece is handed on and not kept.
class OutputTee {
 public:
  /// Called on the tee's own thread with each piece read, in the order of its stream.
  using Sink = std::function<void(OutputStream stream, std::string_view bytes)>;

  /// Makes the pipes and starts reading them. With `echo`, every piece is first written to this
  /// process's own stream of the same kind (a stream that fails a write gets nothing more, and
  /// the pieces still go to `sink`). Null when a pipe or the thread cannot be made.
  static std::unique_ptr<OutputTee> Start(bool echo, Sink sink);

  /// Finishes, when Finish was not called.
  virtual ~OutputTee() = default;

  /// The ends to hand to the child (ChildProcess::SpawnOpenFile).
  virtual ChildOutputs child_outputs() const = 0;

  /// Closes this process's copies of the ends the child writes to, once the child has them (or
  /// failed to start), so that the pipes end with the last writer of the child's tree.
  virtual void CloseChildEnds() = 0;

  /// Called once the child has ended: reads what is in the pipes now, stops, and closes them.
  /// Never waits for a pipe to end: a process the child left behind that still holds a write
  /// end cannot hold this up, and what it writes from now on is lost. Every piece has reached
  /// the sink when this returns.
  virtual void Finish() = 0;
};

}  // namespace platform
