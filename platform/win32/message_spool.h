// The messages a mailslot server has collected and not yet handed out, in order. Their bytes
// wait in a temporary file that the system deletes when it is closed, so that a run's messages
// never all sit in memory (on Linux the slot's own spool file plays this part); only their
// sizes are kept in memory. Where no such file can be made or written, messages wait in memory.
#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <string_view>

#include "platform/win32/handle.h"

namespace platform::win32 {

class MessageSpool {
 public:
  MessageSpool();

  void Push(std::string_view message);
  /// Moves the oldest message into `*message`; false when none waits.
  bool Pop(std::string* message);

  size_t count() const { return in_file_.size() + in_memory_.size(); }
  /// The size of the oldest message; count() must not be 0.
  uint32_t front_size() const;

 private:
  UniqueHandle file_;
  uint64_t read_at_ = 0;
  uint64_t write_at_ = 0;
  std::deque<uint32_t> in_file_;       // sizes of the messages in the file, oldest first
  std::deque<std::string> in_memory_;  // the messages after them, once the file failed
};

}  // namespace platform::win32
