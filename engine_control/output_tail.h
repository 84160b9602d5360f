// The last bytes of an engine's output stream, kept in the caller's buffer as the bytes come.
#pragma once

#include <cstdint>
#include <string_view>

#include "vxr_lib.h"

/// Keeps the last `tail->size` bytes added in `tail->buffer`, used as a ring, and counts all.
/// Not thread-safe: one thread adds, and Finish comes after the last Add.
class OutputTail {
 public:
  /// Empties `tail`: its length and total are 0 until Finish.
  explicit OutputTail(VXRStreamTail* tail);
  OutputTail(const OutputTail&) = delete;
  OutputTail& operator=(const OutputTail&) = delete;

  void Add(std::string_view bytes);

  /// Puts the bytes kept in order at the buffer's start and sets the length and the total.
  void Finish();

 private:
  VXRStreamTail* tail_;
  uint64_t total_ = 0;
  uint32_t next_ = 0;  // where the next byte goes in the ring
};
