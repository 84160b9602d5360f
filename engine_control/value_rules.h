// Which values VXRSetValueInfo accepts for an ID, and which modes VXRExecute accepts.
#pragma once

#include <cstdint>

/// Flag IDs and VXR_INT_PATTERN_VER are refused; the debug level takes 0 to 5, the execute
/// mode one of the seven modes, the pattern-magic IDs one of the four magics; any other ID
/// takes any value.
bool ValueRulesAccept(uint32_t id, int32_t value);

/// The same rules under the pseudo-ID 7, and then only 0 or 1.
bool ExecuteModeAccepted(uint32_t dw_mode);
