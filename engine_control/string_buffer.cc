#include "engine_control/string_buffer.h"

#include <cstring>
#include <limits>

VXRResult CopyStringToBuffer(std::string_view text, char* buffer, uint32_t* size) {
  // A list that grew past what a 32-bit size can name cannot be handed out at all.
  if (text.size() >= std::numeric_limits<uint32_t>::max()) return VXR_LIB_FAIL;
  const uint32_t needed = static_cast<uint32_t>(text.size()) + 1;
  if (*size == 0) {
    *size = needed;
    return VXR_LIB_SUCCESS;
  }
  if (*size < needed) {
    *size = needed;
    return VXR_LIB_BUFFER_TOO_SHORT;
  }
  std::memcpy(buffer, text.data(), text.size());
  buffer[text.size()] = '\0';
  return VXR_LIB_SUCCESS;
}
