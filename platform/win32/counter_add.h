// Which name a counter is added by: the system's own (localized) name first, then the English
// one that a system in another language keeps beside it.
#pragma once

#include <windows.h>

// After windows.h, whose types they use.
#include <pdh.h>
#include <pdhmsg.h>

namespace platform::win32 {

/// Calls `add_localized` (PdhAddCounterW) and, only when it finds no such object or counter
/// (the names of a Windows in another language), `add_english` (PdhAddEnglishCounterW).
/// Returns the status of the last call made; any other failure is final.
template <typename AddLocalized, typename AddEnglish>
PDH_STATUS AddLocalizedOrEnglish(AddLocalized add_localized, AddEnglish add_english) {
  const PDH_STATUS status = add_localized();
  if (status != static_cast<PDH_STATUS>(PDH_CSTATUS_NO_OBJECT) &&
      status != static_cast<PDH_STATUS>(PDH_CSTATUS_NO_COUNTER)) {
    return status;
  }
  return add_english();
}

}  // namespace platform::win32
