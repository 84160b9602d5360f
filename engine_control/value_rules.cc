#include "engine_control/value_rules.h"

#include <algorithm>
#include <iterator>

#include "vxr_lib.h"

namespace {

constexpr uint32_t kExecuteModePseudoId = 7;
constexpr int32_t kExecuteModes[] = {SCAN_ALL_WITH_CLEAN, SCAN_ALL_WITHOUT_CLEAN, SCAN_ASSIGN,     SCAN_ASSIGN_NO_CLEAN,
                                     DUMP_PATTERNS_ONLY,  RESTORE_ONLY,           DUMP_BACKUP_FILE};

bool IsFlagId(uint32_t id) { return id >= VXR_FLG_BACKUP_FILE && id <= VXR_FLG_ENABLE_QZ_SPYWARE; }

template <typename Table>
bool Contains(const Table& table, int32_t value) {
  return std::find(std::begin(table), std::end(table), value) != std::end(table);
}

}  // namespace

bool ValueRulesAccept(uint32_t id, int32_t value) {
  if (IsFlagId(id) || id == VXR_INT_PATTERN_VER) return false;
  switch (id) {
    case VXR_INT_DEBUG_INFO_LEVEL:
      return value >= 0 && value <= 5;
    case VXR_INT_EXECUTE_MODE:
      return Contains(kExecuteModes, value);
    case VXR_INT_ENABLE_PATTERN_MAGIC:
    case VXR_INT_DISABLE_PATTERN_MAGIC:
      return Contains(kPatternMagics, value);
    default:
      return true;
  }
}

bool ExecuteModeAccepted(uint32_t dw_mode) {
  return ValueRulesAccept(kExecuteModePseudoId, static_cast<int32_t>(dw_mode)) && dw_mode <= 1;
}
