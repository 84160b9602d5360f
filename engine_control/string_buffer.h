// The buffer rules that every string read of the library follows.
#pragma once

#include <cstdint>
#include <string_view>

#include "vxr_lib.h"

/// `*size` 0 asks for the needed size (length plus terminator), which is stored there. A
/// smaller non-zero size stores the needed size and gives VXR_LIB_BUFFER_TOO_SHORT. Otherwise
/// the text and its terminator are copied to `buffer` and `*size` is left as it was.
/// `buffer` must hold `*size` bytes when `*size` is not 0.
VXRResult CopyStringToBuffer(std::string_view text, char* buffer, uint32_t* size);
