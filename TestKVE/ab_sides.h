// /AB: the passes of a run in pairs of two engines, side A (the engine chosen as usual) and
// side B (the same-named engine in the folder /AB names).
#pragma once

#include <cstdint>

/// Which side an engine run of an /AB run is for, and its pair.
struct AbTurn {
  char side = 'A';    ///< 'A' or 'B'
  uint32_t pair = 1;  ///< 1, 2, ...
};

/// The turn of engine run `run` (0, 1, ...): the pairs alternate which side goes first (AB,
/// BA, AB, ...), so that neither side always meets what the other left warm.
AbTurn AbTurnOf(uint64_t run);
