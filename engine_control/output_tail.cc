#include "engine_control/output_tail.h"

#include <algorithm>
#include <cstring>

OutputTail::OutputTail(VXRStreamTail* tail) : tail_(tail) {
  if (tail_->buffer == nullptr) tail_->size = 0;
  tail_->length = 0;
  tail_->total = 0;
}

void OutputTail::Add(std::string_view bytes) {
  total_ += bytes.size();
  const uint32_t size = tail_->size;
  if (size == 0) return;
  // Only the last `size` bytes of a longer piece can stay.
  if (bytes.size() > size) bytes.remove_prefix(bytes.size() - size);
  while (!bytes.empty()) {
    const size_t room = std::min<size_t>(bytes.size(), size - next_);
    std::memcpy(tail_->buffer + next_, bytes.data(), room);
    bytes.remove_prefix(room);
    next_ = static_cast<uint32_t>((next_ + room) % size);
  }
}

void OutputTail::Finish() {
  const uint32_t size = tail_->size;
  tail_->total = total_;
  if (total_ < size) {
    tail_->length = static_cast<uint32_t>(total_);
    return;
  }
  // The ring is full: its oldest byte is at `next_`.
  if (size > 0) std::rotate(tail_->buffer, tail_->buffer + next_, tail_->buffer + size);
  tail_->length = size;
}
