#include "TestKVE/ab_sides.h"

AbTurn AbTurnOf(uint64_t run) {
  const uint64_t pair = run / 2;
  const bool second = run % 2 == 1;
  const bool b_first = pair % 2 == 1;
  return {second != b_first ? 'B' : 'A', static_cast<uint32_t>(pair + 1)};
}
